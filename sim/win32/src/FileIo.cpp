// Kernel objects of the simulated Windows platform: the handle table, events
// and waits, and file handles on HID interfaces with the HID class driver's
// behaviour: report ID framing, a ring of input reports per handle, writes
// handed to the bus device, and overlapped completion, cancelling (completed
// shortly afterwards by the driver's own thread) and removal.

#include "IoInternal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace simwin::detail
{
namespace
{
using Clock = std::chrono::steady_clock;

/** Reports a handle keeps for reads to come, as the HID class driver's default. */
constexpr std::size_t inputRingSize = 32;

/** How long after a cancel the driver completes the transfer, and, on an
    unpaced bus, how long a report the device took takes to go out (one USB
    frame, in microseconds). */
std::atomic<long long> driverLatencyUs{ 1000 };

Clock::duration driverLatency()
{
    return std::chrono::microseconds (driverLatencyUs.load());
}

HANDLE addHandle (std::shared_ptr<KernelObject> object)
{
    auto& world = io();
    const auto value = world.nextHandle;
    world.nextHandle += 4;
    world.handles.emplace (value, std::move (object));
    return (HANDLE) value;
}

void signal (HANDLE event)
{
    if (event == nullptr)
        return;
    if (auto e = objectOf<EventObject> (event))
    {
        e->signalled = true;
        io().changed.notify_all();
    }
}

NTSTATUS statusIn (const OVERLAPPED& overlapped)
{
    return (NTSTATUS) (DWORD) overlapped.Internal;
}

void setStatus (OVERLAPPED& overlapped, NTSTATUS status, DWORD bytes)
{
    overlapped.Internal = (ULONG_PTR) (DWORD) status;
    overlapped.InternalHigh = bytes;
}

/** The newest transfer that owns the record. */
std::shared_ptr<Transfer> transferOf (const OVERLAPPED* overlapped)
{
    auto& transfers = io().transfers;
    for (auto it = transfers.rbegin(); it != transfers.rend(); ++it)
        if ((*it)->overlapped == overlapped)
            return *it;
    return nullptr;
}

void forget (const std::shared_ptr<Transfer>& transfer)
{
    io().transfers.remove (transfer);
}

/** Writes the completion into the record, sets the event and the file and
    lets the transfer go: nothing touches the record or the buffer afterwards. */
void complete (const std::shared_ptr<Transfer>& transfer, NTSTATUS status, DWORD bytes)
{
    setStatus (*transfer->overlapped, status, bytes);
    signal (transfer->event);
    transfer->file->signalled = true;
    forget (transfer);
    io().changed.notify_all();
}

/** The driver's thread: completes each taken write once its report is out,
    and each cancelled transfer shortly after its cancel, whether or not anyone
    waits for it, into whatever its record and event have become by then. */
void runDriver()
{
    auto& world = io();
    std::unique_lock<std::mutex> held (world.lock);
    for (;;)
    {
        auto next = Clock::time_point::max();
        const auto now = Clock::now();
        const auto transfers = world.transfers;
        for (auto& transfer : transfers)
        {
            const bool cancelled = transfer->state == Transfer::State::cancelled;
            if (!cancelled && transfer->state != Transfer::State::taken)
                continue;
            if (transfer->dueAt <= now)
                complete (transfer, cancelled ? statusCancelled : statusSuccess,
                          cancelled ? 0 : transfer->bytes);
            else
                next = std::min (next, transfer->dueAt);
        }
        if (next == Clock::time_point::max())
            world.driverWake.wait (held);
        else
            world.driverWake.wait_until (held, next);
    }
}

void wakeDriver()
{
    auto& world = io();
    if (!world.driverRunning)
    {
        // Never joined: the driver lasts as long as the process.
        world.driverRunning = true;
        std::thread (runDriver).detach();
    }
    world.driverWake.notify_all();
}

void cancel (const std::shared_ptr<Transfer>& transfer)
{
    switch (transfer->state)
    {
        case Transfer::State::handing:
            transfer->cancelRequested = true;
            break;
        case Transfer::State::taken:
        case Transfer::State::pending:
            // From here on the buffer is the program's again.  Its caller waits
            // for a synchronous transfer, which therefore completes at once.
            if (transfer->synchronous)
            {
                complete (transfer, statusCancelled, 0);
            }
            else
            {
                transfer->state = Transfer::State::cancelled;
                transfer->dueAt = Clock::now() + driverLatency();
                wakeDriver();
            }
            break;
        case Transfer::State::cancelled:
            break;
    }
}

/** Begins a transfer in the record: pending, its event reset. */
void start (OVERLAPPED& overlapped)
{
    // Windows still writes the earlier transfer's completion into this
    // record, whatever it holds by then; so does the stand-in.
    if (transferOf (&overlapped) != nullptr)
        noteOverlappedMisuse();
    setStatus (overlapped, statusPending, 0);
    if (overlapped.hEvent != nullptr)
        if (auto e = objectOf<EventObject> (overlapped.hEvent))
            e->signalled = false;
}

std::shared_ptr<Transfer> addTransfer (const std::shared_ptr<FileObject>& file, OVERLAPPED& overlapped,
                                       std::uint8_t* buffer, bool read, Transfer::State state)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->file = file;
    transfer->overlapped = &overlapped;
    transfer->buffer = buffer;
    transfer->read = read;
    transfer->synchronous = !file->overlapped;
    transfer->state = state;
    transfer->event = overlapped.hEvent;
    transfer->issuer = GetCurrentThreadId();
    file->signalled = false;
    io().transfers.push_back (transfer);
    return transfer;
}

/** The end of a transfer as GetOverlappedResult reports it. */
BOOL resultIn (const OVERLAPPED& overlapped, LPDWORD bytes)
{
    const NTSTATUS status = statusIn (overlapped);
    if (status == statusPending)
    {
        setLastError (ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    if (bytes != nullptr)
        *bytes = (DWORD) overlapped.InternalHigh;
    if (status < 0)
    {
        setLastError (win32CodeOf (status));
        return FALSE;
    }
    return TRUE;
}

/** A handle without FILE_FLAG_OVERLAPPED: the call returns when the transfer
    has ended. */
BOOL finishSynchronously (std::unique_lock<std::mutex>& held, OVERLAPPED& overlapped, LPDWORD bytes)
{
    io().changed.wait (held, [&] { return statusIn (overlapped) != statusPending; });
    return resultIn (overlapped, bytes);
}

/** Waits up to timeoutMs (INFINITE: for good) until the event or the file
    (whichever is given) is signalled; an auto-reset event's signal is taken.
    True when it was signalled. */
bool waitForObject (std::unique_lock<std::mutex>& held, EventObject* event, FileObject* file, DWORD timeoutMs)
{
    auto& world = io();
    bool& signalled = event != nullptr ? event->signalled : file->signalled;
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    while (!signalled)
    {
        if (timeoutMs == INFINITE)
            world.changed.wait (held);
        else if (timeoutMs == 0 || world.changed.wait_until (held, deadline) == std::cv_status::timeout)
            break;
    }
    if (!signalled)
        return false;
    if (event != nullptr && !event->manualReset)
        event->signalled = false;
    return true;
}

/** GetOverlappedResult(Ex): waits up to timeoutMs (INFINITE: for good). */
BOOL overlappedResult (HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytes, DWORD timeoutMs, bool timedWait)
{
    if (overlapped == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    auto& world = io();
    std::unique_lock<std::mutex> held (world.lock);

    if (statusIn (*overlapped) == statusPending && timeoutMs != 0)
    {
        // As Windows does: a wait on the event, or on the file when there is
        // none, and then a look at the record.  Whatever else signals that
        // object ends the wait too, and the transfer may still be pending.
        std::shared_ptr<EventObject> event;
        std::shared_ptr<FileObject> fileObject;
        if (overlapped->hEvent != nullptr)
            event = objectOf<EventObject> (overlapped->hEvent);
        else
            fileObject = objectOf<FileObject> (file);
        if (event == nullptr && fileObject == nullptr)
        {
            noteInvalidHandle (overlapped->hEvent != nullptr ? overlapped->hEvent : file);
            setLastError (ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!waitForObject (held, event.get(), fileObject.get(), timeoutMs))
        {
            setLastError (timedWait ? WAIT_TIMEOUT : ERROR_IO_INCOMPLETE);
            return FALSE;
        }
    }
    return resultIn (*overlapped, bytes);
}

/** One input report from the bus, on the sending thread: it ends the oldest
    pending read of the handle, or waits in the handle's ring. */
void deliverInput (const std::weak_ptr<FileObject>& target, const std::uint8_t* data, std::size_t length)
{
    const auto file = target.lock();
    if (file == nullptr)
        return;

    auto& world = io();
    std::lock_guard<std::mutex> guard (world.lock);
    const auto& device = *file->device;
    const DWORD reportLength = device.inputLength();
    if (!file->open || !device.present || reportLength == 0)
        return;

    std::vector<std::uint8_t> report (reportLength, 0);
    report[0] = device.traits.reportId;
    std::memcpy (report.data() + 1, data, std::min<std::size_t> (length, reportLength - 1));

    for (auto& candidate : world.transfers)
    {
        if (candidate->file == file && candidate->read && candidate->state == Transfer::State::pending)
        {
            const auto transfer = candidate; // complete() takes it out of the list
            std::memcpy (transfer->buffer, report.data(), reportLength);
            complete (transfer, statusSuccess, reportLength);
            return;
        }
    }

    file->inputQueue.push_back (std::move (report));
    if (file->inputQueue.size() > inputRingSize)
        file->inputQueue.pop_front();
}

bool sharingConflicts (const DeviceState& device, bool read, bool write, DWORD share)
{
    return (read && device.sharingReaders < device.opens) ||
           (write && device.sharingWriters < device.opens) ||
           (device.readers > 0 && (share & FILE_SHARE_READ) == 0) ||
           (device.writers > 0 && (share & FILE_SHARE_WRITE) == 0);
}

void countInSharing (DeviceState& device, const FileObject& file, int change)
{
    device.opens += change;
    device.readers += file.canRead ? change : 0;
    device.writers += file.canWrite ? change : 0;
    device.sharingReaders += (file.share & FILE_SHARE_READ) != 0 ? change : 0;
    device.sharingWriters += (file.share & FILE_SHARE_WRITE) != 0 ? change : 0;
}

/** The present device with this interface path, compared ignoring case;
    \\.\ stands for \\?\ as on Windows. */
std::shared_ptr<DeviceState> presentDeviceAt (std::wstring path)
{
    if (path.compare (0, 4, L"\\\\.\\") == 0)
        path[2] = L'?';
    for (auto& [id, device] : io().devices)
        if (device->present && equalIgnoringCase (device->path, path))
            return device;
    return nullptr;
}

/** Checks shared by ReadFile and WriteFile; false with the last error set. */
bool transferAllowed (const FileObject* file, const void* buffer, bool lengthFits, LPDWORD bytes,
                      LPOVERLAPPED overlapped)
{
    if (buffer == nullptr || !lengthFits)
    {
        setLastError (ERROR_INVALID_USER_BUFFER);
        return false;
    }
    if (overlapped == nullptr && (file->overlapped || bytes == nullptr))
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!file->device->present)
    {
        setLastError (ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    return true;
}
} // namespace

IoWorld& io()
{
    static auto* world = new IoWorld();
    return *world;
}

void endTransfersOfRemovedDevice (const DeviceState& device)
{
    auto& transfers = io().transfers;
    for (auto it = transfers.begin(); it != transfers.end();)
    {
        const auto transfer = *it++;
        if (transfer->file->device.get() == &device && transfer->state == Transfer::State::pending)
            complete (transfer, statusDeviceNotConnected, 0);
    }

    // As the HID class driver does: what was queued goes with the device, so
    // no read gets it any more.
    for (auto& entry : io().handles)
        if (auto* file = dynamic_cast<FileObject*> (entry.second.get());
            file != nullptr && file->device.get() == &device)
            file->inputQueue.clear();
}
} // namespace simwin::detail

using namespace simwin::detail;

//==============================================================================
// The test API's share

namespace simwin
{
std::size_t openHandles()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return io().handles.size();
}

std::size_t openFileHandles()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return (std::size_t) std::count_if (
        io().handles.begin(), io().handles.end(),
        [] (const auto& entry) { return dynamic_cast<FileObject*> (entry.second.get()) != nullptr; });
}

std::size_t pendingTransfers()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return io().transfers.size();
}

void setDriverLatency (std::chrono::microseconds latency)
{
    driverLatencyUs = std::max<long long> (0, latency.count());
}
} // namespace simwin

//==============================================================================
// Win32

BOOL WINAPI CloseHandle (HANDLE hObject)
{
    std::shared_ptr<sim::HostHandle> bus;
    {
        auto& world = io();
        std::lock_guard<std::mutex> guard (world.lock);
        const auto found = world.handles.find ((std::uintptr_t) hObject);
        if (found == world.handles.end())
        {
            noteInvalidHandle (hObject);
            setLastError (ERROR_INVALID_HANDLE);
            return FALSE;
        }
        const auto object = found->second;
        world.handles.erase (found);

        if (dynamic_cast<EventObject*> (object.get()) != nullptr)
        {
            for (auto& transfer : world.transfers)
                if (transfer->event == hObject)
                    noteOverlappedMisuse();
        }
        else if (auto file = std::dynamic_pointer_cast<FileObject> (object))
        {
            if (file->canRead || file->canWrite)
                countInSharing (*file->device, *file, -1);
            file->open = false;
            file->inputQueue.clear();
            const auto transfers = world.transfers;
            for (auto& transfer : transfers)
                if (transfer->file == file)
                    cancel (transfer);
            bus = std::move (file->bus);
        }
    }

    // Outside the lock: closing waits for a report being delivered, which
    // needs the lock.
    if (bus != nullptr)
    {
        bus->setInputHandler (nullptr);
        bus->close();
    }
    return TRUE;
}

HANDLE WINAPI CreateEventW (LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR)
{
    DWORD code = 0;
    if (faultStrikes (simwin::Call::createEvent, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard (io().lock);
    return addHandle (std::make_shared<EventObject> (bManualReset != FALSE, bInitialState != FALSE));
}

BOOL WINAPI SetEvent (HANDLE hEvent)
{
    std::lock_guard<std::mutex> guard (io().lock);
    if (objectOf<EventObject> (hEvent) == nullptr)
    {
        noteInvalidHandle (hEvent);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    signal (hEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent (HANDLE hEvent)
{
    std::lock_guard<std::mutex> guard (io().lock);
    auto event = objectOf<EventObject> (hEvent);
    if (event == nullptr)
    {
        noteInvalidHandle (hEvent);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->signalled = false;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject (HANDLE hHandle, DWORD dwMilliseconds)
{
    auto& world = io();
    std::unique_lock<std::mutex> held (world.lock);
    auto event = objectOf<EventObject> (hHandle);
    auto file = objectOf<FileObject> (hHandle);
    if (event == nullptr && file == nullptr)
    {
        noteInvalidHandle (hHandle);
        setLastError (ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return waitForObject (held, event.get(), file.get(), dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE WINAPI CreateFileW (LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                           HANDLE)
{
    ensureDevicesKnown();
    if (lpFileName == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    auto& world = io();
    auto file = std::make_shared<FileObject>();
    {
        std::lock_guard<std::mutex> guard (world.lock);
        const auto device = presentDeviceAt (lpFileName);
        DWORD code = 0;
        if (faultStrikes (simwin::Call::createFile, device != nullptr ? device->id : noSuchDevice,
                          ERROR_ACCESS_DENIED, code))
        {
            setLastError (code);
            return INVALID_HANDLE_VALUE;
        }
        if (device == nullptr)
        {
            setLastError (ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (dwCreationDisposition != OPEN_EXISTING)
        {
            setLastError (ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }

        file->device = device;
        file->access = dwDesiredAccess;
        file->share = dwShareMode;
        file->overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
        file->canRead = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
        file->canWrite = (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;

        // An open without read or write access only asks about the device:
        // it always works and takes no part in sharing.
        if (file->canRead || file->canWrite)
        {
            if (!device->description.canOpen)
            {
                setLastError (ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            if (sharingConflicts (*device, file->canRead, file->canWrite, dwShareMode))
            {
                setLastError (ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
            countInSharing (*device, *file, +1);
        }
    }

    std::shared_ptr<sim::HostHandle> bus;
    if (file->canRead || file->canWrite)
    {
        bus = sim::VirtualHidBus::instance().open (file->device->id);
        if (bus == nullptr)
        {
            std::lock_guard<std::mutex> guard (world.lock);
            countInSharing (*file->device, *file, -1);
            setLastError (file->device->present ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (file->canRead)
        {
            std::weak_ptr<FileObject> target = file;
            bus->setInputHandler ([target] (const std::uint8_t* data, std::size_t length)
                                  { deliverInput (target, data, length); });
        }
    }

    std::lock_guard<std::mutex> guard (world.lock);
    file->bus = std::move (bus);
    return addHandle (file);
}

BOOL WINAPI ReadFile (HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                      LPOVERLAPPED lpOverlapped)
{
    auto& world = io();
    std::unique_lock<std::mutex> held (world.lock);
    const auto file = objectOf<FileObject> (hFile);
    if (file == nullptr)
    {
        noteInvalidHandle (hFile);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD code = 0;
    if (faultStrikes (simwin::Call::readFile, file->device->id, ERROR_GEN_FAILURE, code))
    {
        setLastError (code);
        return FALSE;
    }
    if (!file->canRead)
    {
        setLastError (ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const DWORD length = file->device->inputLength();
    if (length == 0)
    {
        setLastError (ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!transferAllowed (file.get(), lpBuffer, nNumberOfBytesToRead >= length, lpNumberOfBytesRead,
                          lpOverlapped))
        return FALSE;

    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = 0;
    OVERLAPPED own{};
    OVERLAPPED& record = lpOverlapped != nullptr ? *lpOverlapped : own;
    start (record);

    auto* buffer = static_cast<std::uint8_t*> (lpBuffer);
    if (!file->inputQueue.empty())
    {
        std::memcpy (buffer, file->inputQueue.front().data(), length);
        file->inputQueue.pop_front();
        setStatus (record, statusSuccess, length);
        signal (record.hEvent);
        file->signalled = true;
        if (lpNumberOfBytesRead != nullptr)
            *lpNumberOfBytesRead = length;
        return TRUE;
    }

    addTransfer (file, record, buffer, true, Transfer::State::pending);
    if (!file->overlapped)
        return finishSynchronously (held, record, lpNumberOfBytesRead);
    setLastError (ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI WriteFile (HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                       LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    auto& world = io();
    std::unique_lock<std::mutex> held (world.lock);
    const auto file = objectOf<FileObject> (hFile);
    if (file == nullptr)
    {
        noteInvalidHandle (hFile);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD code = 0;
    if (faultStrikes (simwin::Call::writeFile, file->device->id, ERROR_GEN_FAILURE, code))
    {
        setLastError (code);
        return FALSE;
    }
    if (!file->canWrite)
    {
        setLastError (ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const DWORD length = file->device->outputLength();
    if (length == 0)
    {
        setLastError (ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!transferAllowed (file.get(), lpBuffer, nNumberOfBytesToWrite == length, lpNumberOfBytesWritten,
                          lpOverlapped))
        return FALSE;
    const auto* report = static_cast<const std::uint8_t*> (lpBuffer);
    if (report[0] != file->device->traits.reportId)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = 0;
    OVERLAPPED own{};
    OVERLAPPED& record = lpOverlapped != nullptr ? *lpOverlapped : own;
    start (record);
    const auto transfer =
        addTransfer (file, record, const_cast<std::uint8_t*> (report), false, Transfer::State::handing);
    const auto bus = file->bus;

    // The device model runs on this thread and may answer, or unplug itself,
    // at once: both need the lock.
    held.unlock();
    const auto result = bus->write (report + 1, length - 1, 0);
    held.lock();

    switch (result)
    {
        case sim::HostHandle::WriteResult::ok:
            // Out on the wire: the driver completes it once its frame is
            // done.  A paced bus has already waited for that frame before the
            // device took the report, so the driver completes it at once
            // rather than a second frame later.
            transfer->state = Transfer::State::taken;
            transfer->bytes = length;
            transfer->dueAt = Clock::now() +
                              (sim::VirtualHidBus::instance().pacing() ? Clock::duration{} : driverLatency());
            wakeDriver();
            if (transfer->cancelRequested)
                cancel (transfer);
            if (!file->overlapped)
                return finishSynchronously (held, record, lpNumberOfBytesWritten);
            setLastError (ERROR_IO_PENDING);
            return FALSE;

        case sim::HostHandle::WriteResult::gone:
            setStatus (record, statusDeviceNotConnected, 0);
            forget (transfer);
            setLastError (ERROR_DEVICE_NOT_CONNECTED);
            return FALSE;

        case sim::HostHandle::WriteResult::timedOut:
            break;
    }

    // The device refused the report: the write stays pending.
    transfer->state = Transfer::State::pending;
    if (transfer->cancelRequested)
        cancel (transfer);
    else if (!file->device->present)
        complete (transfer, statusDeviceNotConnected, 0);

    if (!file->overlapped)
        return finishSynchronously (held, record, lpNumberOfBytesWritten);
    setLastError (ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI GetOverlappedResult (HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                 BOOL bWait)
{
    return overlappedResult (hFile, lpOverlapped, lpNumberOfBytesTransferred, bWait != FALSE ? INFINITE : 0,
                             false);
}

BOOL WINAPI GetOverlappedResultEx (HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                   LPDWORD lpNumberOfBytesTransferred, DWORD dwMilliseconds, BOOL)
{
    return overlappedResult (hFile, lpOverlapped, lpNumberOfBytesTransferred, dwMilliseconds,
                             dwMilliseconds != 0);
}

BOOL WINAPI SimWin32HasOverlappedIoCompleted (LPOVERLAPPED lpOverlapped)
{
    std::lock_guard<std::mutex> guard (io().lock);
    return statusIn (*lpOverlapped) != statusPending ? TRUE : FALSE;
}

BOOL WINAPI CancelIo (HANDLE hFile)
{
    auto& world = io();
    std::lock_guard<std::mutex> guard (world.lock);
    const auto file = objectOf<FileObject> (hFile);
    if (file == nullptr)
    {
        noteInvalidHandle (hFile);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Only the calling thread's transfers, as on Windows.
    const auto me = GetCurrentThreadId();
    const auto transfers = world.transfers;
    for (auto& transfer : transfers)
        if (transfer->file == file && transfer->issuer == me)
            cancel (transfer);
    return TRUE;
}

BOOL WINAPI CancelIoEx (HANDLE hFile, LPOVERLAPPED lpOverlapped)
{
    auto& world = io();
    std::lock_guard<std::mutex> guard (world.lock);
    const auto file = objectOf<FileObject> (hFile);
    if (file == nullptr)
    {
        noteInvalidHandle (hFile);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool found = false;
    const auto transfers = world.transfers;
    for (auto& transfer : transfers)
    {
        if (transfer->file == file && (lpOverlapped == nullptr || transfer->overlapped == lpOverlapped) &&
            transfer->state != Transfer::State::cancelled)
        {
            cancel (transfer);
            found = true;
        }
    }
    if (!found)
    {
        setLastError (ERROR_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}
