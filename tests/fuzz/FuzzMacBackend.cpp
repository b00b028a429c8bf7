// The macOS backend on the simulated macOS platform against a hostile device:
// its report callback with reports of any length and at any time, its gets
// and sends, and its arrival and removal notifications for devices with
// hostile ids and names, unplugged at any point.

#include "BackendRun.h"

#include <sim_macos/MacStandIn.h>

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // This thread's run loop is the main run loop, serviced after each step.
    simmac::attachMainRunLoop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static auto& run = *new fuzz::BackendRun ({ [] (qmhid::HIDDeviceIdentifier& identifier, sim::DeviceId id)
                                                {
                                                    std::string path = simmac::registryPathOf (id);
                                                    identifier.init (path.data());
                                                },
                                                [] { simmac::serviceMainRunLoop(); } });
    // The device goes at exit, and with it the backend's threads, whose
    // thread-local state would otherwise count as leaked.
    static const bool unpluggedAtExit = std::atexit ([] { run.unplug(); }) == 0;
    (void) unpluggedAtExit;
    fuzz::Input input (data, size);
    run.runOne (input);
    return 0;
}
