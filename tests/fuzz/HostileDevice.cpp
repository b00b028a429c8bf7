#include "HostileDevice.h"

#include <memory>

namespace fuzz
{
sim::DeviceDescription hostileDescription (Input& input)
{
    sim::DeviceDescription d;
    static const std::uint16_t vendors[] = { 0x7A3C, 0xFF00, 0x0000, 0xFFFF };
    const int v = input.pick (5);
    d.vendorId = v < 4 ? vendors[v] : input.u16();
    static const std::uint16_t products[] = { 0x6102, 0x6109 };
    const int p = input.pick (3);
    d.productId = p < 2 ? products[p] : input.u16();
    const auto nameBytes = input.bytes ((std::size_t) input.pick (40));
    d.productName.assign (nameBytes.begin(), nameBytes.end());
    // Mostly the controller's 32-byte reports, sometimes anything up to 64.
    d.inputReportBytes = input.flag() ? input.pick (65) : 32;
    d.outputReportBytes = input.flag() ? input.pick (65) : 32;
    return d;
}

void HostileDevice::script (Input& input, int maxReport)
{
    std::lock_guard<std::mutex> guard (lock);
    answers.clear();
    while (!input.empty())
    {
        Answer answer;
        const auto kind = input.byte();
        answer.refuse = (kind & 0x0F) == 0x0F;
        answer.late = (kind & 0x0F) == 0x0E;
        const int count = (kind >> 4) % 4; // 0 to 3 reports
        for (int i = 0; i < count && !input.empty(); ++i)
        {
            const int len = input.flag() ? 1 + input.pick (maxReport) : 32;
            auto report = input.bytes ((std::size_t) len);
            report.resize ((std::size_t) len, 0);
            answer.reports.push_back (std::move (report));
        }
        answers.push_back (std::move (answer));
    }
}

void HostileDevice::sendNow (const std::vector<std::uint8_t>& report)
{
    std::lock_guard<std::mutex> guard (lock);
    if (link != nullptr)
        link->sendInputReport (report.data(), report.size());
}

void HostileDevice::plugged (sim::DeviceLink& l)
{
    std::lock_guard<std::mutex> guard (lock);
    link = &l;
}

void HostileDevice::unplugged()
{
    std::lock_guard<std::mutex> guard (lock);
    link = nullptr;
}

bool HostileDevice::outputReport (sim::DeviceLink& l, const std::uint8_t*, std::size_t)
{
    Answer answer;
    {
        std::lock_guard<std::mutex> guard (lock);
        if (answers.empty())
            return true;
        answer = std::move (answers.front());
        answers.pop_front();
    }
    if (answer.refuse)
        return false;
    if (answer.late)
    {
        // A millisecond late, from the bus's timer thread; dropped if the device
        // goes first.  The link is looked up again: it may be gone by then.
        auto reports = std::make_shared<std::vector<std::vector<std::uint8_t>>> (std::move (answer.reports));
        std::weak_ptr<HostileDevice> weak = shared_from_this();
        sim::VirtualHidBus::instance().schedule (
            1,
            [reports, weak]
            {
                if (auto self = weak.lock())
                    for (const auto& report : *reports)
                        self->sendNow (report);
            },
            l.id());
        return true;
    }
    for (const auto& report : answer.reports)
        l.sendInputReport (report.data(), report.size());
    return true;
}
} // namespace fuzz
