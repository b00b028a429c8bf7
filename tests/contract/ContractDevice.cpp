#include "ContractDevice.h"

namespace contract
{
std::shared_ptr<ContractDevice> ContractDevice::plug (std::uint16_t vendorId, std::uint16_t productId,
                                                      sim::DeviceDescription description)
{
    auto device = std::make_shared<ContractDevice>();
    device->setEchoing (false);
    if (description.productName.empty())
        description.productName = "Contract Device";
    description.vendorId = vendorId;
    description.productId = productId;
    device->deviceId = sim::VirtualHidBus::instance().plug (device, description);
    return device;
}

void ContractDevice::unplug()
{
    sim::VirtualHidBus::instance().unplug (deviceId);
}
} // namespace contract
