#pragma once

// The device of the backend contract tests: an echo device (quiet unless told
// to echo) that knows its bus id.

#include <EchoDevice.h>

#include <memory>

namespace contract
{
using simtest::Bytes;

class ContractDevice : public simtest::EchoDevice
{
public:
    /** Plugs a new, quiet device in; its id is in id(). */
    static std::shared_ptr<ContractDevice> plug (std::uint16_t vendorId, std::uint16_t productId,
                                                 sim::DeviceDescription description = {});

    sim::DeviceId id() const { return deviceId; }
    void setEcho (bool on) { setEchoing (on); }
    std::vector<Bytes> written() const { return received(); }
    void unplug();

private:
    sim::DeviceId deviceId = 0;
};

/** A 32-byte report of one value. */
inline Bytes reportOf (std::uint8_t value)
{
    return Bytes (32, value);
}
} // namespace contract
