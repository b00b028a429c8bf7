#pragma once

// A trivial bus device for the tests of the platform stand-ins and backends:
// it records every output report and sends it straight back as an input
// report, unless told to refuse reports or to keep quiet.

#include <VirtualHidBus.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace simtest
{
using Bytes = std::vector<std::uint8_t>;

class EchoDevice : public sim::DeviceModel
{
public:
    void plugged (sim::DeviceLink& link) override;
    void unplugged() override;
    bool outputReport (sim::DeviceLink& link, const std::uint8_t* data, std::size_t len) override;

    /** Sends one input report of its own, on the calling thread. */
    void sendInput (const Bytes& report);

    /** A refused report is not taken: the host's write stays pending until
        its time-out. */
    void setRefusing (bool shouldRefuse);
    void setEchoing (bool shouldEcho);

    /** Every output report offered, refused ones included. */
    std::vector<Bytes> received() const;

private:
    mutable std::mutex lock;
    sim::DeviceLink* link = nullptr;
    bool refusing = false;
    bool echoing = true;
    std::vector<Bytes> reports;
};

/** A 32-byte controller-like device. */
sim::DeviceDescription controllerDescription (std::uint16_t vendorId = 0x7A3C,
                                              std::uint16_t productId = 0x6102, int port = -1);

/** The same under another product name. */
sim::DeviceDescription namedDescription (const char* name, std::uint16_t vendorId = 0x7A3C,
                                         std::uint16_t productId = 0x6102);

/** Plugs a new echo device in; the device is handed back through model. */
sim::DeviceId plugEcho (const sim::DeviceDescription& description = controllerDescription(),
                        std::shared_ptr<EchoDevice>* model = nullptr);
} // namespace simtest
