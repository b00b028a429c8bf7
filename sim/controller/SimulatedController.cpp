#include "SimulatedController.h"

#include <chrono>

namespace sim
{
namespace
{
VirtualHidBus& bus()
{
    return VirtualHidBus::instance();
}
} // namespace

std::shared_ptr<SimulatedController> SimulatedController::create (ControllerIdentity identity)
{
    return std::shared_ptr<SimulatedController> (new SimulatedController (std::move (identity)));
}

SimulatedController::SimulatedController (ControllerIdentity identity)
    : firmware (std::move (identity))
{
}

template <typename Change>
void SimulatedController::change (Change&& c)
{
    {
        std::lock_guard<std::mutex> guard (lock);
        c();
    }
    changed.notify_all();
}

//==============================================================================
DeviceDescription SimulatedController::description() const
{
    std::lock_guard<std::mutex> guard (lock);
    const auto& identity = firmware.identity();
    DeviceDescription d;
    d.productName = identity.productName;
    d.vendorId = identity.vendorId;
    d.productId = identity.productId;
    d.inputReportBytes = 32;
    d.outputReportBytes = 32;
    d.port = lastPort;
    return d;
}

DeviceId SimulatedController::plugIn (int port)
{
    std::uint64_t ticket;
    {
        std::lock_guard<std::mutex> guard (lock);
        if (in)
            return currentId;
        ticket = returnTicket;
    }
    return plugOnBus (port, ticket);
}

DeviceId SimulatedController::plugOnBus (int port, std::uint64_t ticket)
{
    auto d = description();
    d.port = port;
    const DeviceId id = bus().plug (shared_from_this(), d);

    // Counted only now, when the bus lists it and its observers have heard,
    // so that whoever waits for the plug finds it done.
    const auto plugged = bus().describe (id);
    bool calledOff = false;
    change (
        [&]
        {
            if (plugged.has_value())
                lastPort = plugged->port;
            firmware.notePlugged();
            calledOff = ticket != returnTicket;
        });

    // Pulled out by someone while it was coming back: it stays out.
    if (calledOff)
        bus().unplug (id);
    return id;
}

void SimulatedController::unplug()
{
    DeviceId id = 0;
    change (
        [&]
        {
            ++returnTicket;
            if (in)
                id = currentId;
        });
    if (id != 0)
        bus().unplug (id);
}

bool SimulatedController::isPlugged() const
{
    std::lock_guard<std::mutex> guard (lock);
    return in;
}

DeviceId SimulatedController::deviceId() const
{
    std::lock_guard<std::mutex> guard (lock);
    return in ? currentId : 0;
}

int SimulatedController::port() const
{
    std::lock_guard<std::mutex> guard (lock);
    return lastPort;
}

//==============================================================================
ControllerIdentity SimulatedController::identity() const
{
    std::lock_guard<std::mutex> guard (lock);
    return firmware.identity();
}

void SimulatedController::setIdentity (const ControllerIdentity& identity)
{
    change ([&] { firmware.setIdentity (identity); });
}

void SimulatedController::setExecuteTimeoutSeconds (std::uint16_t seconds)
{
    change ([&] { firmware.setExecuteTimeoutSeconds (seconds); });
}

void SimulatedController::setFlashTimeMs (int ms)
{
    change ([&] { firmware.setFlashTimeMs (ms); });
}

void SimulatedController::setRebootTimeMs (int ms)
{
    change ([&] { rebootTimeMs = ms < 0 ? 0 : ms; });
}

void SimulatedController::setFlashCapacity (std::size_t bytes)
{
    change ([&] { firmware.setFlashCapacity (bytes); });
}

//==============================================================================
void SimulatedController::nakSelect (int times)
{
    change ([&] { firmware.nakSelect (times); });
}

void SimulatedController::nakFirstBlock (int times)
{
    change ([&] { firmware.nakFirstBlock (times); });
}

void SimulatedController::nakLastBlock (int passes)
{
    change ([&] { firmware.nakLastBlock (passes); });
}

void SimulatedController::dropReply (RequestKind kind, int times)
{
    armReplyFault (kind, ReplyFault::drop, times);
}

void SimulatedController::replyLate (RequestKind kind, int delayMs, int times)
{
    armReplyFault (kind, ReplyFault::late, times, delayMs);
}

void SimulatedController::replyWrongKind (RequestKind kind, int times)
{
    armReplyFault (kind, ReplyFault::wrongKind, times);
}

void SimulatedController::replyGarbage (RequestKind kind, int times)
{
    armReplyFault (kind, ReplyFault::garbage, times);
}

void SimulatedController::armReplyFault (RequestKind kind, ReplyFault fault, int times, int delayMs)
{
    change ([&] { firmware.armReplyFault (kind, fault, times, delayMs); });
}

void SimulatedController::stopAnswering (bool refuseReports)
{
    change ([&] { firmware.stopAnswering (refuseReports); });
}

void SimulatedController::resumeAnswering()
{
    change ([&] { firmware.resumeAnswering(); });
}

void SimulatedController::unplugAfterBlock (int block)
{
    change ([&] { firmware.unplugAfterBlock (block); });
}

void SimulatedController::unplugDuringExecute()
{
    change ([&] { firmware.unplugDuringExecute(); });
}

void SimulatedController::neverConfirmExecute (bool on)
{
    change ([&] { firmware.neverConfirmExecute (on); });
}

void SimulatedController::clearFaults()
{
    change ([&] { firmware.clearFaults(); });
}

//==============================================================================
ControllerRecord SimulatedController::record() const
{
    std::lock_guard<std::mutex> guard (lock);
    return firmware.record();
}

void SimulatedController::clearRecord()
{
    change ([&] { firmware.clearRecord(); });
}

std::vector<std::uint8_t> SimulatedController::loadedFile() const
{
    std::lock_guard<std::mutex> guard (lock);
    return firmware.loadedFile();
}

bool SimulatedController::waitUntil (const std::function<bool (const ControllerRecord&)>& condition,
                                     int timeoutMs) const
{
    std::unique_lock<std::mutex> guard (lock);
    return changed.wait_for (guard, std::chrono::milliseconds (timeoutMs),
                             [&] { return condition (firmware.record()); });
}

//==============================================================================
void SimulatedController::plugged (DeviceLink& newLink)
{
    {
        std::lock_guard<std::recursive_mutex> guard (linkLock);
        link = &newLink;
        linkId = newLink.id();
    }
    change (
        [&]
        {
            in = true;
            currentId = newLink.id();
        });
}

void SimulatedController::unplugged()
{
    {
        // Waits for a late reply that is going out on the timer thread.
        std::lock_guard<std::recursive_mutex> guard (linkLock);
        link = nullptr;
        linkId = 0;
    }
    change (
        [&]
        {
            if (currentId != rebootingId)
                ++returnTicket;
            rebootingId = 0;
            in = false;
            currentId = 0;
            firmware.powerLost();
        });
}

bool SimulatedController::outputReport (DeviceLink& from, const std::uint8_t* data, std::size_t len)
{
    ControllerFirmware::Reaction reaction;
    const DeviceId id = from.id();
    change (
        [&]
        {
            reaction = firmware.handle (data, len);
            if (reaction.reply.has_value() && reaction.reply->delayMs == 0)
                firmware.noteSent (*reaction.reply);
        });

    if (reaction.reply.has_value())
    {
        if (reaction.reply->delayMs == 0)
            from.sendInputReport (reaction.reply->bytes.data(), reaction.reply->bytes.size());
        else
            sendLater (id, *reaction.reply);
    }

    // The bus's own thread pulls the plug, as a real removal comes
    // independently of the host's write.
    if (reaction.goAway)
        bus().schedule (
            0, [id] { bus().unplug (id); }, id);

    if (reaction.flashForMs >= 0)
    {
        std::weak_ptr<SimulatedController> weak = shared_from_this();
        bus().schedule (
            reaction.flashForMs,
            [weak, id]
            {
                if (auto self = weak.lock())
                    self->finishFlashing (id);
            },
            id);
    }

    return reaction.taken;
}

void SimulatedController::sendLater (DeviceId id, const ControllerFirmware::Reply& reply)
{
    std::weak_ptr<SimulatedController> weak = shared_from_this();
    bus().schedule (
        reply.delayMs,
        [weak, id, reply]
        {
            if (auto self = weak.lock())
                self->deliverFromTimer (id, reply);
        },
        id);
}

void SimulatedController::deliverFromTimer (DeviceId id, const ControllerFirmware::Reply& reply)
{
    // Held while sending, so that unplugged() cannot let the link die under us.
    std::lock_guard<std::recursive_mutex> guard (linkLock);
    if (link == nullptr || linkId != id)
        return;
    change ([&] { firmware.noteSent (reply); });
    link->sendInputReport (reply.bytes.data(), reply.bytes.size());
}

void SimulatedController::finishFlashing (DeviceId id)
{
    std::optional<ControllerFirmware::Reply> reply;
    bool flashed = false;
    std::uint64_t ticket = 0;
    change (
        [&]
        {
            if (!in || currentId != id)
                return;
            flashed = firmware.finishFlashing (reply);
            if (flashed)
            {
                rebootingId = id;
                ticket = returnTicket;
            }
        });
    if (!flashed)
        return;

    if (reply.has_value())
        deliverFromTimer (id, *reply);

    bus().unplug (id);

    int delay;
    {
        std::lock_guard<std::mutex> guard (lock);
        if (ticket != returnTicket)
            return;
        delay = rebootTimeMs;
    }

    std::weak_ptr<SimulatedController> weak = shared_from_this();
    bus().schedule (
        delay,
        [weak, ticket]
        {
            if (auto self = weak.lock())
                self->comeBack (ticket);
        },
        0);
}

void SimulatedController::comeBack (std::uint64_t ticket)
{
    int portToUse;
    {
        std::lock_guard<std::mutex> guard (lock);
        if (ticket != returnTicket || in)
            return;
        portToUse = lastPort;
    }
    plugOnBus (portToUse, ticket);
}
} // namespace sim
