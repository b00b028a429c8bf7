#pragma once

// The host's end of the conversation for the simulated controller's tests:
// raw requests written byte by byte, and a bus handle that collects what the
// controller sends back.

#include "TestUpdateFile.h"

#include <ControllerFirmware.h>
#include <VirtualHidBus.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

namespace simtest
{
using sim::HidReport;

HidReport capsPoll();
HidReport selectRequest();
HidReport executeRequest();
HidReport endOfTransmission();

enum class BlockPlace
{
    first,
    middle,
    last
};

HidReport blockRequest (BlockPlace place, const Block& payload);

/** How the host would classify a reply. */
enum class Verdict
{
    none,
    ack,
    nak,
    caps,
    other
};

Verdict verdictOf (const std::optional<HidReport>& reply);
const char* toString (Verdict v);

inline void PrintTo (Verdict v, std::ostream* os)
{
    *os << toString (v);
}

/** One opened handle of a device, with the input reports it received. */
class TestHost
{
public:
    explicit TestHost (sim::DeviceId id);
    ~TestHost();

    bool isOpen() const { return handle != nullptr; }
    sim::HostHandle& device() { return *handle; }

    sim::HostHandle::WriteResult write (const HidReport& report, int timeoutMs = 2000);

    /** Writes report and returns the reply that came while the write ran (a
        controller answers at once on the writing thread), or nothing. */
    std::optional<HidReport> exchange (const HidReport& report);

    struct Arrival
    {
        HidReport bytes;
        std::thread::id thread;
    };

    /** The next report received, waiting up to timeoutMs for it. */
    std::optional<Arrival> nextReply (int timeoutMs = 5000);
    std::size_t pendingReplies() const;
    /** Every report received so far, taken or not. */
    std::size_t receivedCount() const;

    /** Sends the file's blocks as the host's load does (first, middle..., last)
        and returns the reply that came to each. */
    std::vector<std::optional<HidReport>> sendFile (const std::vector<std::uint8_t>& file);

private:
    std::shared_ptr<sim::HostHandle> handle;
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::deque<Arrival> replies;
    std::size_t received = 0;
};
} // namespace simtest
