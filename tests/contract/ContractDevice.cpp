#include "ContractDevice.h"

namespace contract
{
std::shared_ptr<ContractDevice> ContractDevice::plug (std::uint16_t vendorId, std::uint16_t productId,
                                                      sim::DeviceDescription description)
{
    auto device = std::make_shared<ContractDevice>();
    if (description.productName.empty())
        description.productName = "Contract Device";
    description.vendorId = vendorId;
    description.productId = productId;
    const auto id = sim::VirtualHidBus::instance().plug (device, description);
    std::lock_guard<std::mutex> guard (device->lock);
    device->deviceId = id;
    return device;
}

void ContractDevice::setEcho (bool on)
{
    std::lock_guard<std::mutex> guard (lock);
    echo = on;
}

void ContractDevice::sendInput (const Bytes& report)
{
    std::lock_guard<std::mutex> guard (lock);
    if (link != nullptr)
        link->sendInputReport (report.data(), report.size());
}

std::vector<Bytes> ContractDevice::written() const
{
    std::lock_guard<std::mutex> guard (lock);
    return writes;
}

void ContractDevice::unplug()
{
    sim::VirtualHidBus::instance().unplug (id());
}

void ContractDevice::plugged (sim::DeviceLink& newLink)
{
    std::lock_guard<std::mutex> guard (lock);
    link = &newLink;
}

void ContractDevice::unplugged()
{
    std::lock_guard<std::mutex> guard (lock);
    link = nullptr;
}

bool ContractDevice::outputReport (sim::DeviceLink& from, const std::uint8_t* data, std::size_t len)
{
    std::lock_guard<std::mutex> guard (lock);
    writes.emplace_back (data, data + len);
    if (echo)
        from.sendInputReport (data, len);
    return true;
}
} // namespace contract
