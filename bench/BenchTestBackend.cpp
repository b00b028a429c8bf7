// The benchmark programs over the test build's backend.

#include "BenchSupport.h"

#include <TestBackend.h>

#include <qmhid_HIDDevice.h>

namespace bench
{
const char* backendName()
{
    return "test";
}

void startPlatform() {}

void serviceNotifications() {}

qmhid::HIDDevice* openDevice (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    std::string path = testbackend::identifierPathOf (id);
    identifier.init (path.data());
    qmhid::HIDDevice* device = nullptr;
    return qmhid::HIDDevice::createFrom (&identifier, &device) == 0 ? device : nullptr;
}

int openDevices()
{
    return testbackend::openDeviceCount();
}

std::vector<Count> platformCounts()
{
    return {};
}
} // namespace bench
