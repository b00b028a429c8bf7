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

std::vector<Count> platformCounts()
{
    // What the Windows layer opens and must close again: kernel handles (its
    // device files and the transfers' events), the blocks of its buffers and
    // paths, and the SetupAPI and HID records of its enumerations.
    return { { "handles", (long) simwin::openHandles() },
             { "global blocks", (long) simwin::liveGlobalAllocations() },
             { "device info sets", (long) simwin::liveDeviceInfoSets() },
             { "preparsed data", (long) simwin::livePreparsedData() },
             { "windows", (long) simwin::liveWindows() } };
}
} // namespace bench
