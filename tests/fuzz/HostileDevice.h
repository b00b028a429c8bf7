#pragma once

// A bus device that answers as the fuzzer says: after each output report it
// sends the next scripted input reports (any length, any bytes, none at all)
// sends them a millisecond late, or refuses the report so that the host's write times out.

#include "FuzzSupport.h"

#include <VirtualHidBus.h>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace fuzz
{
/** A device description whose ids, name and report sizes come from input. */
sim::DeviceDescription hostileDescription (Input& input);

class HostileDevice : public sim::DeviceModel, public std::enable_shared_from_this<HostileDevice>
{
public:
    struct Answer
    {
        bool refuse = false;
        bool late = false;
        std::vector<std::vector<std::uint8_t>> reports;
    };

    /** Replaces the answers with those read from input until it ends; a report is at most maxReport bytes. */
    void script (Input& input, int maxReport);

    /** Sends one report now, on the calling thread, while plugged in. */
    void sendNow (const std::vector<std::uint8_t>& report);

    void plugged (sim::DeviceLink& link) override;
    void unplugged() override;
    bool outputReport (sim::DeviceLink& link, const std::uint8_t* data, std::size_t len) override;

private:
    std::mutex lock;
    sim::DeviceLink* link = nullptr;
    std::deque<Answer> answers;
};
} // namespace fuzz
