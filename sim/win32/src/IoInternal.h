#pragma once

// The kernel side of the simulated Windows platform, shared by the device
// enumeration (Devices.cpp) and the file and event services (FileIo.cpp): the
// devices the stand-in knows, the handle table and the transfers in flight.
// One lock guards all of it; no callback and no bus call that can reach back
// into the stand-in runs while it is held.

#include "Win32Internal.h"

#include <VirtualHidBus.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace simwin::detail
{
/** One HID interface: a bus device as the stand-in sees it.  After the
    device has gone it stays registered under its path until another device
    takes that path, and lives on in the handles still open on it. */
struct DeviceState
{
    sim::DeviceId id = 0;
    sim::DeviceDescription description;
    std::wstring path;
    std::wstring notifiedPath;
    bool present = true;
    DeviceTraits traits;

    /** Sharing, counted over the handles with read or write access. */
    int opens = 0;
    int readers = 0;
    int writers = 0;
    int sharingReaders = 0;
    int sharingWriters = 0;

    /** Report lengths as the HID class driver gives them, the ID byte included. */
    DWORD inputLength() const
    {
        return description.inputReportBytes > 0 ? DWORD (description.inputReportBytes) + 1 : 0;
    }
    DWORD outputLength() const
    {
        return description.outputReportBytes > 0 ? DWORD (description.outputReportBytes) + 1 : 0;
    }
};

struct KernelObject
{
    virtual ~KernelObject() = default;
};

struct EventObject final : KernelObject
{
    EventObject (bool manual, bool initiallySet)
        : manualReset (manual)
        , signalled (initiallySet)
    {
    }

    const bool manualReset;
    bool signalled;
};

struct FileObject final : KernelObject
{
    std::shared_ptr<DeviceState> device;
    DWORD access = 0;
    DWORD share = 0;
    bool overlapped = false;
    bool canRead = false;
    bool canWrite = false;
    /** Opened and not closed; counted in the device's sharing while true. */
    bool open = true;
    std::shared_ptr<sim::HostHandle> bus;
    /** Input reports, report ID first, that arrived since the open and that
        no read has taken yet; the oldest goes when a 33rd comes. */
    std::deque<std::vector<std::uint8_t>> inputQueue;
    /** What a wait on the handle sees: reset when a transfer on it starts,
        set when one ends. */
    bool signalled = false;
};

/** One ReadFile or WriteFile from its start until its completion is written. */
struct Transfer
{
    enum class State
    {
        handing,  ///< a write being handed to the device on its caller's thread
        taken,    ///< a write the device took; the driver completes it at dueAt
        pending,  ///< waiting for a report, or for a device that refused to take one
        cancelled ///< ended by a cancel; the driver writes its completion at dueAt
    };

    std::shared_ptr<FileObject> file;
    OVERLAPPED* overlapped = nullptr;
    std::uint8_t* buffer = nullptr;
    bool read = true;
    /** A transfer of a handle without FILE_FLAG_OVERLAPPED: its caller waits
        for it, so a cancel completes it at once. */
    bool synchronous = false;
    State state = State::pending;
    bool cancelRequested = false;
    HANDLE event = nullptr;
    DWORD issuer = 0;
    std::chrono::steady_clock::time_point dueAt;
    /** What a taken write reports as done. */
    DWORD bytes = 0;
};

struct IoWorld
{
    std::mutex lock;
    /** Notified whenever an event is set or a transfer completes. */
    std::condition_variable changed;

    /** The devices present, and for each path whose device has gone, the
        last device that had it: no more than Windows keeps registered. */
    std::map<sim::DeviceId, std::shared_ptr<DeviceState>> devices;
    /** The last devices whose records went, for interfacePathOf alone. */
    struct RetiredDevice
    {
        sim::DeviceId id = 0;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        int port = 0;
    };
    std::array<RetiredDevice, 64> retiredDevices{};
    std::size_t retiredCount = 0;
    std::map<std::uintptr_t, std::shared_ptr<KernelObject>> handles;
    std::uintptr_t nextHandle = 0x104;
    std::list<std::shared_ptr<Transfer>> transfers;

    /** The driver's thread, which completes cancelled transfers by itself. */
    std::condition_variable driverWake;
    bool driverRunning = false;
};

/** Never destroyed: threads may use it after the process's static objects. */
IoWorld& io();

// The functions below want io().lock held.

/** The device's state, made from the bus's description when first asked
    (which lets go of the record of a device that went from the same path);
    null for a device that is neither known nor present. */
std::shared_ptr<DeviceState> deviceState (sim::DeviceId id);

/** The path of a device whose record went, if it is among the last ones;
    empty otherwise. */
std::wstring pathOfRetiredDevice (sim::DeviceId id, bool asNotified);

template <typename Object>
std::shared_ptr<Object> objectOf (HANDLE handle)
{
    auto& world = io();
    const auto found = world.handles.find ((std::uintptr_t) handle);
    if (found == world.handles.end())
        return nullptr;
    return std::dynamic_pointer_cast<Object> (found->second);
}

/** Ends the pending transfers of a device that has gone and drops the
    reports its handles had queued (Devices.cpp calls it from the bus
    observer). */
void endTransfersOfRemovedDevice (const DeviceState& device);
} // namespace simwin::detail
