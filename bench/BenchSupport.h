#pragma once

// What the benchmark and soak programs share: the backend a program is built
// over, opening a bus device through it, and looking at the process.

#include <VirtualHidBus.h>

#include <chrono>
#include <cstdint>
#include <functional>
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

/** A count of one kind of object that the backend's platform hands the
    program (the Windows stand-in's handles, ...). */
struct Count
{
    std::string name;
    long value;
};

/** What the backend's platform can count of the objects it hands the program,
    beyond the process's own figures; a soak fails when one grows. */
std::vector<Count> platformCounts();

//==============================================================================
// The program's message boxes, in the soak of the window (built into the
// programs that link the application, one implementation per flavour).

/** False where the soak does not show the flavour's boxes (off a Mac the
    macOS flavour's are JUCE's X11 alert windows, which grow on their own);
    why goes to reason. */
bool canShowMessageBoxes (std::string& reason);

/** From now on (on) each box the program shows is closed as a person
    pressing OK would, once it has been open for messageBoxReadingTime and
    idle (asked on the box's thread) holds; off: no longer.  A box closed at
    once could come before the thread that asked for it has ended (the load
    thread sends its end of transmission after its last status), which a
    person's click hardly does. */
void answerMessageBoxes (bool on, std::function<bool()> idle = nullptr);
constexpr std::chrono::milliseconds messageBoxReadingTime{ 20 };

/** The messages of the boxes shown since the last call, oldest first. */
std::vector<std::string> takeMessageBoxes();

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
/** Bytes the C library's allocator has handed out and not had back (in use,
    its own headers included), from every arena: what a leak of the heap
    grows.  Under a sanitizer, whose allocator it does not see, 0. */
long heapInUseBytes();
/** Peak resident set since the last resetPeakResident, in KiB. */
long peakResidentKiB();
void resetPeakResident();

int threadCount();
int openDescriptors();
} // namespace bench
