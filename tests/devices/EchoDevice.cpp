#include "EchoDevice.h"

namespace simtest
{
void EchoDevice::plugged (sim::DeviceLink& newLink)
{
    std::lock_guard<std::mutex> guard (lock);
    link = &newLink;
}

void EchoDevice::unplugged()
{
    std::lock_guard<std::mutex> guard (lock);
    link = nullptr;
}

bool EchoDevice::outputReport (sim::DeviceLink& from, const std::uint8_t* data, std::size_t len)
{
    std::lock_guard<std::mutex> guard (lock);
    reports.emplace_back (data, data + len);
    if (refusing)
        return false;
    if (echoing)
        from.sendInputReport (data, len);
    return true;
}

void EchoDevice::sendInput (const Bytes& report)
{
    std::lock_guard<std::mutex> guard (lock);
    if (link != nullptr)
        link->sendInputReport (report.data(), report.size());
}

void EchoDevice::setRefusing (bool shouldRefuse)
{
    std::lock_guard<std::mutex> guard (lock);
    refusing = shouldRefuse;
}

void EchoDevice::setEchoing (bool shouldEcho)
{
    std::lock_guard<std::mutex> guard (lock);
    echoing = shouldEcho;
}

std::vector<Bytes> EchoDevice::received() const
{
    std::lock_guard<std::mutex> guard (lock);
    return reports;
}

sim::DeviceDescription controllerDescription (std::uint16_t vendorId, std::uint16_t productId, int port)
{
    sim::DeviceDescription d;
    d.productName = "QM-KM3300";
    d.vendorId = vendorId;
    d.productId = productId;
    d.port = port;
    return d;
}

sim::DeviceDescription namedDescription (const char* name, std::uint16_t vendorId, std::uint16_t productId)
{
    auto d = controllerDescription (vendorId, productId);
    d.productName = name;
    return d;
}

sim::DeviceId plugEcho (const sim::DeviceDescription& description, std::shared_ptr<EchoDevice>* model)
{
    auto device = std::make_shared<EchoDevice>();
    if (model != nullptr)
        *model = device;
    return sim::VirtualHidBus::instance().plug (device, description);
}
} // namespace simtest
