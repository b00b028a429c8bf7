#include "ControllerTestHost.h"

#include <algorithm>
#include <chrono>

namespace simtest
{
namespace
{
HidReport request (std::uint8_t byte1, std::uint8_t command)
{
    HidReport r{};
    r[0] = 0xFF;
    r[1] = byte1;
    r[2] = command;
    return r;
}
} // namespace

HidReport capsPoll()
{
    return request (0xF1, 0x21);
}

HidReport selectRequest()
{
    return request (0xF8, 0x40);
}

HidReport executeRequest()
{
    return request (0xF8, 0x22);
}

HidReport endOfTransmission()
{
    return request (0xFB, 0x04);
}

HidReport blockRequest (BlockPlace place, const Block& payload)
{
    const std::uint8_t byte1 = place == BlockPlace::first ? 0xFC : place == BlockPlace::last ? 0xFE : 0xFD;
    HidReport r = request (byte1, 0x40);
    std::copy (payload.begin(), payload.end(), r.begin() + 3);
    return r;
}

Verdict verdictOf (const std::optional<HidReport>& reply)
{
    if (!reply.has_value())
        return Verdict::none;
    const auto& r = *reply;
    const int communicationType = (r[1] >> 3) & 1;
    const int messageType = r[1] & 7;
    if (communicationType == 1 && messageType == 3 && r[2] == 0x06)
        return Verdict::ack;
    if (communicationType == 1 && messageType == 3 && r[2] == 0x15)
        return Verdict::nak;
    if (communicationType == 0 && messageType == 4 && r[2] == 0x21)
        return Verdict::caps;
    return Verdict::other;
}

const char* toString (Verdict v)
{
    switch (v)
    {
        case Verdict::none:
            return "none";
        case Verdict::ack:
            return "ACK";
        case Verdict::nak:
            return "NAK";
        case Verdict::caps:
            return "caps";
        case Verdict::other:
            return "other";
    }
    return "?";
}

//==============================================================================
TestHost::TestHost (sim::DeviceId id)
    : handle (sim::VirtualHidBus::instance().open (id))
{
    if (handle == nullptr)
        return;
    handle->setInputHandler (
        [this] (const std::uint8_t* data, std::size_t len)
        {
            Arrival a{ {}, std::this_thread::get_id() };
            std::copy_n (data, std::min (len, a.bytes.size()), a.bytes.begin());
            {
                std::lock_guard<std::mutex> guard (lock);
                replies.push_back (a);
                ++received;
            }
            arrived.notify_all();
        });
}

TestHost::~TestHost()
{
    if (handle != nullptr)
        handle->close();
}

sim::HostHandle::WriteResult TestHost::write (const HidReport& report, int timeoutMs)
{
    return handle->write (report.data(), report.size(), timeoutMs);
}

std::optional<HidReport> TestHost::exchange (const HidReport& report)
{
    write (report);
    std::lock_guard<std::mutex> guard (lock);
    if (replies.empty())
        return std::nullopt;
    auto reply = replies.front().bytes;
    replies.pop_front();
    return reply;
}

std::optional<TestHost::Arrival> TestHost::nextReply (int timeoutMs)
{
    std::unique_lock<std::mutex> guard (lock);
    if (!arrived.wait_for (guard, std::chrono::milliseconds (timeoutMs), [this] { return !replies.empty(); }))
        return std::nullopt;
    auto reply = replies.front();
    replies.pop_front();
    return reply;
}

std::size_t TestHost::pendingReplies() const
{
    std::lock_guard<std::mutex> guard (lock);
    return replies.size();
}

std::size_t TestHost::receivedCount() const
{
    std::lock_guard<std::mutex> guard (lock);
    return received;
}

std::vector<std::optional<HidReport>> TestHost::sendFile (const std::vector<std::uint8_t>& file)
{
    const auto blocks = hostBlocks (file);
    std::vector<std::optional<HidReport>> answers;
    for (std::size_t i = 0; i < blocks.size(); ++i)
    {
        const auto place = i + 1 == blocks.size() ? BlockPlace::last
                           : i == 0               ? BlockPlace::first
                                                  : BlockPlace::middle;
        answers.push_back (exchange (blockRequest (place, blocks[i])));
    }
    return answers;
}
} // namespace simtest
