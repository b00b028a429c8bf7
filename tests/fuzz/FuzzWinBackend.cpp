// The Windows backend on the simulated Windows platform against a hostile
// device: its read path with reports of any length and at any time, its
// writes, and the notification window's arrivals and removals, including
// broadcasts of other device types and of hostile interface paths.

#include "BackendRun.h"

#include <sim_win32/Win32StandIn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
/** A WM_DEVICECHANGE broadcast with a record of the input's type and path. */
void broadcast (fuzz::Input& input)
{
    const WPARAM event = input.flag() ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    const int characters = input.pick (80);
    std::vector<std::uint8_t> record (
        sizeof (DEV_BROADCAST_DEVICEINTERFACE_W) + sizeof (wchar_t) * (size_t) characters, 0);
    auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*> (record.data());
    header->dbcc_size = (DWORD) record.size();
    header->dbcc_devicetype = input.flag() ? DBT_DEVTYP_DEVICEINTERFACE : (DWORD) input.pick (8);
    for (int i = 0; i < characters; ++i)
        header->dbcc_name[i] = (wchar_t) (1 + input.u16() % 0xD7FF); // the record ends with its 0
    simwin::broadcastDeviceChange (event, reinterpret_cast<DEV_BROADCAST_HDR*> (header));
}
} // namespace

namespace
{
bool exiting = false;
}

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // A frame of 1 ms per write would hold the target to a few hundred inputs
    // a second; the driver's thread still completes every transfer.
    simwin::setDriverLatency (std::chrono::microseconds (20));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static auto& run = *new fuzz::BackendRun ({ [] (qmhid::HIDDeviceIdentifier& identifier, sim::DeviceId id)
                                                {
                                                    std::wstring path = simwin::notifiedPathOf (id);
                                                    identifier.init (path.data());
                                                },
                                                []
                                                {
                                                    // At exit the thread's queue, a thread-local
                                                    // of the stand-in, is gone already.
                                                    if (!exiting)
                                                        simwin::serviceThreadQueue();
                                                } });
    // The device goes at exit, and with it the backend's threads, whose
    // thread-local state would otherwise count as leaked.
    static const bool unpluggedAtExit = std::atexit (
                                            []
                                            {
                                                exiting = true;
                                                run.unplug();
                                            }) == 0;
    (void) unpluggedAtExit;
    fuzz::Input input (data, size);
    if (size > 0 && (data[0] & 0xC0) == 0xC0)
    {
        input.byte();
        broadcast (input);
        simwin::serviceThreadQueue();
    }
    run.runOne (input);
    return 0;
}
