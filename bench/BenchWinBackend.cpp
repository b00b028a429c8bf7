// The benchmark programs over the Windows backend on the simulated Windows platform.

#include "BenchSupport.h"

#include <sim_win32/Win32StandIn.h>

#include <qmhid_HIDDevice.h>

namespace bench
{
const char* backendName()
{
    return "Windows";
}

void startPlatform() {}

void serviceNotifications()
{
    simwin::serviceThreadQueue();
}

qmhid::HIDDevice* openDevice (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    std::wstring path = simwin::notifiedPathOf (id);
    identifier.init (path.data());
    qmhid::HIDDevice* device = nullptr;
    return qmhid::HIDDevice::createFrom (&identifier, &device) == 0 ? device : nullptr;
}

int openDevices()
{
    return (int) simwin::openFileHandles();
}
} // namespace bench
