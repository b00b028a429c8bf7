// The benchmark programs over the macOS backend on the simulated macOS platform.

#include "BenchSupport.h"

#include <sim_macos/MacStandIn.h>

#include <qmhid_HIDDevice.h>

namespace bench
{
const char* backendName()
{
    return "macOS";
}

void startPlatform()
{
    // This thread's run loop is the main run loop; serviceNotifications runs it.
    simmac::attachMainRunLoop();
}

void serviceNotifications()
{
    simmac::serviceMainRunLoop();
}

qmhid::HIDDevice* openDevice (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    std::string path = simmac::registryPathOf (id);
    identifier.init (path.data());
    qmhid::HIDDevice* device = nullptr;
    return qmhid::HIDDevice::createFrom (&identifier, &device) == 0 ? device : nullptr;
}

int openDevices()
{
    return (int) simmac::openDeviceInterfaces();
}

std::vector<Count> platformCounts()
{
    return {};
}
} // namespace bench
