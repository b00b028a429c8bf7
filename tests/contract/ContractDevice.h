#pragma once

// A plain HID device for the backend contract tests: it keeps what the host
// writes, answers each write with a copy of it when asked to, and sends input
// reports whenever the test says.

#include <VirtualHidBus.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace contract
{
using Bytes = std::vector<std::uint8_t>;

class ContractDevice : public sim::DeviceModel
{
public:
    /** Plugs a new device in; its id is in id(). */
    static std::shared_ptr<ContractDevice> plug (std::uint16_t vendorId, std::uint16_t productId,
                                                 sim::DeviceDescription description = {});

    sim::DeviceId id() const { return deviceId; }

    void setEcho (bool on);

    /** Sends one input report now. */
    void sendInput (const Bytes& report);

    std::vector<Bytes> written() const;

    void unplug();

    void plugged (sim::DeviceLink& link) override;
    void unplugged() override;
    bool outputReport (sim::DeviceLink& link, const std::uint8_t* data, std::size_t len) override;

private:
    mutable std::mutex lock;
    sim::DeviceLink* link = nullptr;
    sim::DeviceId deviceId = 0;
    bool echo = false;
    std::vector<Bytes> writes;
};

/** A 32-byte report of one value. */
inline Bytes reportOf (std::uint8_t value)
{
    return Bytes (32, value);
}
} // namespace contract
