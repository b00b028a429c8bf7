#include "ControllerFirmware.h"

#include <algorithm>

namespace sim
{
namespace
{
constexpr std::size_t reportBytes = 32;
constexpr std::size_t payloadOffset = 3;
constexpr std::size_t payloadBytes = UpdateFileLayout::blockBytes;
constexpr std::size_t modelNameOffset = 16;
constexpr std::size_t modelNameBytes = 16;

void putBigEndian16 (std::uint8_t* p, std::uint16_t v)
{
    p[0] = (std::uint8_t) (v >> 8);
    p[1] = (std::uint8_t) (v & 0xFF);
}

ControllerIdentity preset (const char* name, std::uint16_t productId, std::uint8_t modelNumber,
                           std::uint8_t operationMode)
{
    ControllerIdentity identity;
    identity.productName = name;
    identity.modelName = name;
    identity.productId = productId;
    identity.modelNumber = modelNumber;
    identity.operationMode = operationMode;
    return identity;
}
} // namespace

const char* toString (RequestKind kind)
{
    switch (kind)
    {
        case RequestKind::capsPoll:
            return "caps poll";
        case RequestKind::asioSetting:
            return "ASIO setting";
        case RequestKind::select:
            return "select";
        case RequestKind::firstBlock:
            return "first block";
        case RequestKind::middleBlock:
            return "middle block";
        case RequestKind::lastBlock:
            return "last block";
        case RequestKind::execute:
            return "execute";
        case RequestKind::endOfTransmission:
            return "end of transmission";
        case RequestKind::unknown:
            break;
    }
    return "unknown";
}

ControllerIdentity ControllerIdentity::km3300 (std::uint8_t operationMode)
{
    return preset ("QM-KM3300", 0x6102, 0x41, operationMode);
}

ControllerIdentity ControllerIdentity::km3800 (std::uint8_t operationMode)
{
    return preset ("QM-KM3800", 0x6109, 0x42, operationMode);
}

//==============================================================================
ControllerFirmware::ControllerFirmware (ControllerIdentity identity)
    : id (std::move (identity))
{
}

RequestKind ControllerFirmware::classify (const std::uint8_t* data, std::size_t len)
{
    if (len != reportBytes)
        return RequestKind::unknown;

    const int communicationType = (data[1] >> 3) & 1;
    const int messageType = data[1] & 7;
    const int command = data[2];

    if (communicationType == 0)
    {
        if (command != 0x21)
            return RequestKind::unknown;
        if (messageType == 1)
            return RequestKind::capsPoll;
        if (messageType == 0)
            return RequestKind::asioSetting;
        return RequestKind::unknown;
    }

    switch (messageType)
    {
        case 0:
            if (command == 0x40)
                return RequestKind::select;
            if (command == 0x22)
                return RequestKind::execute;
            return RequestKind::unknown;
        case 3:
            return command == 0x04 ? RequestKind::endOfTransmission : RequestKind::unknown;
        case 4:
            return command == 0x40 ? RequestKind::firstBlock : RequestKind::unknown;
        case 5:
            return command == 0x40 ? RequestKind::middleBlock : RequestKind::unknown;
        case 6:
            return command == 0x40 ? RequestKind::lastBlock : RequestKind::unknown;
        default:
            return RequestKind::unknown;
    }
}

ControllerFirmware::Reaction ControllerFirmware::handle (const std::uint8_t* data, std::size_t len)
{
    Reaction reaction;

    // Pulled out: whatever the host still sends goes nowhere.
    if (pulledOut)
        return reaction;

    if (refusing)
    {
        reaction.taken = false;
        return reaction;
    }

    const RequestKind kind = classify (data, len);
    history.received.push_back ({ kind, std::vector<std::uint8_t> (data, data + len) });

    // Writing the flash keeps the firmware from looking at the endpoint.
    if (silent || flashing)
        return reaction;

    auto reply = react (kind, data, reaction);

    if (reaction.goAway)
        return reaction;

    if (reply.has_value())
        if (auto fault = takeFault (kind))
            spoil (reply, *fault);

    reaction.reply = reply;
    return reaction;
}

std::optional<ControllerFirmware::Reply>
    ControllerFirmware::react (RequestKind kind, const std::uint8_t* data, Reaction& reaction)
{
    switch (kind)
    {
        case RequestKind::capsPoll:
            return caps (kind);

        case RequestKind::select:
            if (nakSelects > 0)
            {
                --nakSelects;
                return nak (kind);
            }
            if (id.operationMode != ControllerIdentity::updateMode)
                return nak (kind);
            sessionOpen = true;
            sessionBlocks = 0;
            receiving = false;
            ++history.sessions;
            return ack (kind);

        case RequestKind::firstBlock:
        case RequestKind::middleBlock:
        case RequestKind::lastBlock:
        {
            const bool inSession = sessionOpen;
            auto reply = takeBlock (kind, data);
            if (inSession && unplugAtBlock > 0 && sessionBlocks == unplugAtBlock)
            {
                unplugAtBlock = 0;
                pulledOut = true;
                reaction.goAway = true;
                return std::nullopt;
            }
            return reply;
        }

        case RequestKind::execute:
            return takeExecute (reaction);

        case RequestKind::endOfTransmission:
            sessionOpen = false;
            receiving = false;
            return std::nullopt;

        case RequestKind::asioSetting:
        case RequestKind::unknown:
            break;
    }
    return std::nullopt;
}

std::optional<ControllerFirmware::Reply> ControllerFirmware::takeBlock (RequestKind kind,
                                                                        const std::uint8_t* data)
{
    if (!sessionOpen)
    {
        if (kind == RequestKind::middleBlock)
            return std::nullopt;
        return nak (kind);
    }

    ++sessionBlocks;
    const std::uint8_t* payload = data + payloadOffset;

    auto append = [this, payload]
    {
        if (history.image.size() + payloadBytes > flashCapacity)
            overflowed = true;
        else
            history.image.insert (history.image.end(), payload, payload + payloadBytes);
    };

    switch (kind)
    {
        case RequestKind::firstBlock:
            if (nakFirstBlocks > 0)
            {
                --nakFirstBlocks;
                return nak (kind);
            }
            // The staging area is overwritten: whatever image was there is gone.
            history.image.clear();
            loaded.reset();
            overflowed = false;
            receiving = true;
            ++history.passes;
            append();
            return ack (kind);

        case RequestKind::middleBlock:
            if (receiving)
                append();
            return std::nullopt;

        case RequestKind::lastBlock:
        {
            if (!receiving)
                return nak (kind);
            append();
            receiving = false;
            if (nakLastBlocks > 0)
            {
                --nakLastBlocks;
                return nak (kind);
            }
            if (overflowed)
                return nak (kind);
            loaded = findUpdateImage (history.image);
            if (!loaded.has_value())
                return nak (kind);
            return ack (kind, executeTimeoutSeconds);
        }

        default:
            return std::nullopt;
    }
}

std::optional<ControllerFirmware::Reply> ControllerFirmware::takeExecute (Reaction& reaction)
{
    ++history.executeRequests;

    if (ignoreExecute)
        return std::nullopt;

    if (unplugOnExecute)
    {
        unplugOnExecute = false;
        pulledOut = true;
        reaction.goAway = true;
        return std::nullopt;
    }

    if (!loaded.has_value())
        return nak (RequestKind::execute);

    sessionOpen = false;
    receiving = false;
    flashing = true;

    // The reply comes when the flashing is over, so its fault travels with it.
    executeFault = takeFault (RequestKind::execute);
    reaction.flashForMs = flashTimeMs;
    if (executeFault.has_value() && executeFault->fault == ReplyFault::late)
        reaction.flashForMs += executeFault->delayMs;
    return std::nullopt;
}

bool ControllerFirmware::finishFlashing (std::optional<Reply>& reply)
{
    reply.reset();
    if (!flashing || !loaded.has_value())
        return false;

    flashing = false;
    // Resetting into the new firmware: nothing more is heard until it is back.
    pulledOut = true;
    id.firmwareVersion = loaded->firmwareVersion;
    id.operationMode = ControllerIdentity::normalMode;
    loaded.reset();
    sessionOpen = false;
    receiving = false;
    ++history.reboots;

    reply = ack (RequestKind::execute);
    if (executeFault.has_value())
    {
        if (executeFault->fault != ReplyFault::late)
            spoil (reply, *executeFault);
        executeFault.reset();
    }
    return true;
}

void ControllerFirmware::powerLost()
{
    sessionOpen = false;
    sessionBlocks = 0;
    receiving = false;
    overflowed = false;
    loaded.reset();
    flashing = false;
    executeFault.reset();
    pulledOut = false;
    ++history.unplugs;
}

void ControllerFirmware::clearRecord()
{
    ControllerRecord fresh;
    fresh.image = std::move (history.image);
    history = std::move (fresh);
}

std::vector<std::uint8_t> ControllerFirmware::loadedFile() const
{
    if (!loaded.has_value())
        return {};
    return std::vector<std::uint8_t> (history.image.begin(), history.image.begin() + (long) loaded->length);
}

//==============================================================================
void ControllerFirmware::armReplyFault (RequestKind kind, ReplyFault fault, int times, int delayMs)
{
    if (times > 0)
        replyFaults.push_back ({ kind, fault, times, delayMs < 0 ? 0 : delayMs });
}

void ControllerFirmware::stopAnswering (bool refuseReports)
{
    silent = !refuseReports;
    refusing = refuseReports;
}

void ControllerFirmware::resumeAnswering()
{
    silent = false;
    refusing = false;
}

void ControllerFirmware::clearFaults()
{
    nakSelects = 0;
    nakFirstBlocks = 0;
    nakLastBlocks = 0;
    replyFaults.clear();
    silent = false;
    refusing = false;
    unplugAtBlock = 0;
    unplugOnExecute = false;
    ignoreExecute = false;
}

std::optional<ControllerFirmware::ArmedFault> ControllerFirmware::takeFault (RequestKind kind)
{
    auto found = std::find_if (replyFaults.begin(), replyFaults.end(),
                               [kind] (const ArmedFault& f) { return f.kind == kind; });
    if (found == replyFaults.end())
        return std::nullopt;

    ArmedFault fault = *found;
    if (--found->times <= 0)
        replyFaults.erase (found);
    return fault;
}

void ControllerFirmware::spoil (std::optional<Reply>& reply, const ArmedFault& fault)
{
    const RequestKind to = reply->inReplyTo;
    switch (fault.fault)
    {
        case ReplyFault::drop:
            reply.reset();
            break;
        case ReplyFault::late:
            reply->delayMs = fault.delayMs;
            break;
        case ReplyFault::wrongKind:
            reply = reply->kind == ReplyKind::caps ? ack (to) : caps (to);
            break;
        case ReplyFault::garbage:
            reply = garbage (to);
            break;
    }
}

//==============================================================================
HidReport ControllerFirmware::header (std::uint8_t communicationType, std::uint8_t messageType,
                                      std::uint8_t command) const
{
    HidReport r{};
    r[0] = id.modelNumber;
    r[1] =
        (std::uint8_t) (((id.unitNumber & 0x0F) << 4) | ((communicationType & 1) << 3) | (messageType & 7));
    r[2] = command;
    return r;
}

ControllerFirmware::Reply ControllerFirmware::ack (RequestKind to, std::uint16_t timeoutSeconds) const
{
    Reply reply{ header (1, 3, 0x06), ReplyKind::ack, to };
    putBigEndian16 (&reply.bytes[3], timeoutSeconds);
    return reply;
}

ControllerFirmware::Reply ControllerFirmware::nak (RequestKind to) const
{
    return { header (1, 3, 0x15), ReplyKind::nak, to };
}

ControllerFirmware::Reply ControllerFirmware::caps (RequestKind to) const
{
    Reply reply{ header (0, 4, 0x21), ReplyKind::caps, to };
    auto& r = reply.bytes;
    putBigEndian16 (&r[3], id.firmwareVersion);
    r[5] = id.inputChannels;
    r[6] = id.outputChannels;
    r[7] = id.samplingFrequencyInfo;
    r[8] = id.samplingFrequency;
    r[9] = id.maximumAudioBitResolution;
    putBigEndian16 (&r[10], id.audioBufferSize);
    r[12] = id.operationMode;
    std::copy_n (id.modelName.begin(), std::min (id.modelName.size(), modelNameBytes),
                 r.begin() + modelNameOffset);
    return reply;
}

ControllerFirmware::Reply ControllerFirmware::garbage (RequestKind to)
{
    Reply reply{ {}, ReplyKind::garbage, to };
    for (auto& b : reply.bytes)
    {
        garbageSeed = garbageSeed * 1664525u + 1013904223u;
        b = (std::uint8_t) (garbageSeed >> 24);
    }
    // Communication type 1 with message type 7 is no reply the host knows.
    reply.bytes[1] = (std::uint8_t) ((reply.bytes[1] & 0xF0) | 0x0F);
    return reply;
}
} // namespace sim
