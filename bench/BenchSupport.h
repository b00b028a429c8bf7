#pragma once

// What the benchmark and soak programs share: the backend a program is built
// over, opening a bus device through it, and looking at the process.

#include <VirtualHidBus.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qmhid
{
class HIDDevice;
}

namespace bench
{
/** "test", "macOS" or "Windows": the backend this program links. */
const char* backendName();

/** Whatever the backend's platform needs on this thread before devices are
    opened and their notifications come. */
void startPlatform();

/** Delivers the device notifications that are due, on this thread. */
void serviceNotifications();

/** Opens the bus device through the backend as the detector does; null when it
    does not open. */
qmhid::HIDDevice* openDevice (sim::DeviceId id);

/** Devices the backend has open now. */
int openDevices();

//==============================================================================
/** Threads of this process, by id. */
std::vector<int> threadIds();

/** The CPU seconds thread tid has used so far (from its scheduler clock); 0
    when it is gone. */
double threadCpuSeconds (int tid);

/** The calling thread's CPU seconds. */
double currentThreadCpuSeconds();

/** Resident set, in KiB. */
long residentKiB();
/** Peak resident set since the last resetPeakResident, in KiB. */
long peakResidentKiB();
void resetPeakResident();

int threadCount();
int openDescriptors();
} // namespace bench
