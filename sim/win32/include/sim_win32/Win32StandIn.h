#pragma once

// The simulated Windows platform's own controls, for tests, for the bridge to
// a foreign event loop and for the entry glue; none of this exists on
// Windows.
//
// What the stand-in does where Windows leaves a choice, or differs:
//
// - Headers: as with the SDK, <windows.h> comes before setupapi.h, hidsdi.h,
//   hidpi.h, dbt.h and shellapi.h (they stop with an #error otherwise); keep
//   it in an include block of its own so that sorting leaves it first.
// - Devices: every device on the virtual HID bus is one HID interface.  Its
//   SetupAPI path is \\?\hid#vid_vvvv&pid_pppp#8&pppppppp&0&0000#{4d1e55b2-...}
//   in lower case, the instance naming the bus port, so a re-plug into the same
//   port gives the same path.  Arrival and removal broadcasts carry the same
//   path with everything before the class GUID in upper case, as Windows
//   does; CreateFileW compares paths ignoring case.
// - Every plug and unplug also broadcasts DBT_DEVNODES_CHANGED (lParam 0) to
//   every top-level window, after the interface event.
// - Device events are sent without the bus's thread waiting for the window:
//   they queue on the window's thread as sent messages, ahead of posted ones,
//   and run when that thread next retrieves messages (GetMessageW,
//   PeekMessageW, a waiting SendMessageW, a message box's loop,
//   serviceThreadQueue).  The record
//   lParam points at is freed when the window procedure returns.
// - WriteFile hands the report to the bus device on the calling thread (its
//   reply may come before WriteFile returns).  A report the device takes is
//   pending (ERROR_IO_PENDING) for one USB frame, about 1 ms, until the
//   driver's thread completes it; on a paced bus the hand-over has already
//   waited for the report's frame, so the driver completes it at once.  A
//   refused one stays pending until it is
//   cancelled, its handle is closed or the device goes (a later write does
//   not queue behind it).  ReadFile completes at once from
//   the handle's input queue (the last 32 reports since the open) or stays
//   pending until a report arrives.  Removal ends pending transfers with
//   ERROR_DEVICE_NOT_CONNECTED at once.
// - Cancelling (CancelIo, CancelIoEx, CloseHandle) ends a transfer at once:
//   from then on nothing is written to its buffer.  About 1 ms later the
//   driver's own thread completes it (Internal = STATUS_CANCELLED, its event
//   and its file set), whether or not anyone waits, into whatever the
//   OVERLAPPED has become by then, as on Windows; pendingTransfers() counts it
//   until then.
// - HidD_FlushQueue empties the handle's queue of input reports; a read
//   already pending stays and takes the next report.  A report that comes
//   after a read gave up stays queued for the next read, as on Windows.
// - The stand-in writes an OVERLAPPED's Internal fields under its own lock:
//   read them only through GetOverlappedResult(Ex) or HasOverlappedIoCompleted,
//   or after one of those or a wait on the event has seen the end.
// - Handle values and window handles are never reused, so a double close shows
//   in invalidHandleUses() instead of closing someone else's object.
// - GlobalAlloc without GMEM_ZEROINIT fills the block with 0xCD.
// - CreateFileW knows device interface paths only (other paths:
//   ERROR_FILE_NOT_FOUND) and OPEN_EXISTING only (others:
//   ERROR_INVALID_PARAMETER).  An open with no read or write access always
//   works and takes no part in sharing; ReadFile and WriteFile need the access.
// - Waits and Sleep end on time to the millisecond; Windows' clock ticks
//   every 15.6 ms by default, so there a short wait may run a tick longer.
// - The only kernel objects are events and files: WaitForSingleObject waits on
//   either (a file is reset when a transfer on it starts and set when one
//   ends).  A waiting GetOverlappedResult(Ex) waits on the event, or on the
//   file without one, as Windows does: whatever signals it ends the wait,
//   though the transfer may still be pending.  Event names are ignored.
// - Windows belong to the creating thread and are destroyed, without messages,
//   when it ends.  Window classes are found by name alone (ignoring case), not
//   by instance.  CreateWindowExW sends WM_NCCREATE and WM_CREATE only.
//   DefWindowProcW answers 0 to everything but WM_NCCREATE (TRUE) and
//   WM_CLOSE (which destroys the window), WM_DEVICECHANGE included.
// - MessageBoxA blocks its caller in a modal loop that dispatches the
//   thread's sent and posted messages (device events among them) until the
//   box is closed.  On JUCE's message thread (once the bridge is in use) that
//   loop is JUCE's own, which also runs JUCE's timers and asynchronous calls
//   and shows the box as a JUCE window (its caption, icon, text, one OK
//   button; Return, Escape and its close button give IDOK too).  Tests close
//   boxes through setMessageBoxHandler or pressOkOnOpenBoxes.  Where Windows
//   differs:
//   - the text and caption are read in the ANSI code page, always 1252 (as
//     in Western locales; others are not modelled), so UTF-8 beyond ASCII
//     shows as several characters;
//   - only the OK button is drawn, whatever the MB_ button set asks for (the
//     knob may still return any button); an owner window is not disabled and
//     the modality flags change nothing;
//   - a posted WM_QUIT stays queued and does not end the box;
//   - once JUCE has been told to quit, its loop dispatches nothing more: the
//     box then serves only the stand-in's messages and cannot be clicked;
//   - without an X display (or before JUCE exists) nobody sees the box: only
//     the knob can close it.

#include <windows.h>

#include <VirtualHidBus.h>
#include <dbt.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace simwin
{
//==============================================================================
// The calling thread's message queue, serviced by someone else's event loop

/** Returns a file descriptor that becomes readable whenever the calling
    thread's message queue has sent or posted messages; whoever polls it then
    calls serviceThreadQueue on this thread.  Calling it again on the same
    thread returns the same descriptor. */
int attachThreadQueue();

/** On the calling thread: runs every pending sent message, then dispatches
    the posted messages that were queued when it began (WM_QUIT stays). */
void serviceThreadQueue();

/** Closes the calling thread's descriptor. */
void detachThreadQueue();

/** Called on the calling thread at the start of every CreateWindowExW, before
    the window can get a message; null: none.  The bridge uses it to start
    itself when the message thread makes its first window. */
using WindowCreationHook = std::function<void()>;
void setWindowCreationHook (WindowCreationHook hook);

//==============================================================================
// Faults on demand

/** The calls that can be made to fail, with the code each fails with unless
    the fault names another. */
enum class Call
{
    setupDiGetClassDevs,             ///< INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY
    setupDiGetDeviceInterfaceDetail, ///< FALSE, ERROR_NOT_ENOUGH_MEMORY; RequiredSize untouched
    createFile,                      ///< INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED
    hidDGetAttributes,               ///< FALSE, ERROR_GEN_FAILURE
    hidDFlushQueue,                  ///< FALSE, ERROR_GEN_FAILURE; the queue stays
    hidDGetPreparsedData,            ///< FALSE, ERROR_GEN_FAILURE
    hidPGetCaps,                     ///< the code as an NTSTATUS: HIDP_STATUS_INVALID_PREPARSED_DATA
    readFile,                        ///< FALSE at once, ERROR_GEN_FAILURE
    writeFile,                       ///< FALSE at once, ERROR_GEN_FAILURE; nothing reaches the device
    globalAlloc,                     ///< NULL, ERROR_NOT_ENOUGH_MEMORY
    createEvent,                     ///< NULL, ERROR_NOT_ENOUGH_MEMORY
    registerClassEx,                 ///< 0, ERROR_NOT_ENOUGH_MEMORY
    createWindowEx,                  ///< NULL, ERROR_NOT_ENOUGH_MEMORY
    registerDeviceNotification       ///< NULL, ERROR_NOT_ENOUGH_MEMORY
};

struct Fault
{
    /** Calls that succeed first, before the fault strikes. */
    int skip = 0;
    /** How many calls then fail; -1: every one until clearFaults. */
    int times = -1;
    /** Only calls about this device fail (its path, handles or preparsed
        data); 0: any call.  Calls that concern no device ignore it. */
    sim::DeviceId device = 0;
    /** The code to fail with; 0: the call's usual code, as listed above. */
    DWORD code = 0;
};

/** Makes call fail as fault says, replacing an earlier fault of that call. */
void injectFault (Call call, Fault fault = {});

/** Ends every fault. */
void clearFaults();

//==============================================================================
// Devices

/** What the bus description does not say about a device. */
struct DeviceTraits
{
    /** 0: the device's reports carry no report ID (the byte is still there,
        as 0).  Otherwise every report crosses with this ID, and a written
        report with another first byte fails with ERROR_INVALID_PARAMETER. */
    std::uint8_t reportId = 0;
    USHORT versionNumber = 0x0100;
    USHORT usagePage = 0xFF00;
    USHORT usage = 0x0001;
};

/** Applies to opens, preparsed data and transfers from now on, while the
    device stays plugged in. */
void setDeviceTraits (sim::DeviceId device, const DeviceTraits& traits);

/** How long the driver takes to complete a cancelled transfer, and a write
    the device took on an unpaced bus: one USB frame, 1 ms, unless set.  The
    fuzzer shortens it, to try more inputs a second, and a test lengthens it;
    transfers still complete on the driver's thread, after the call that
    started or cancelled them. */
void setDriverLatency (std::chrono::microseconds latency);

/** The SetupAPI path of the device's HID interface; also known after the
    device has gone (once another device has taken its path, for the last 64
    such devices only), empty for a device the stand-in never saw. */
std::wstring interfacePathOf (sim::DeviceId device);

/** The path that the device's arrival and removal broadcasts carry. */
std::wstring notifiedPathOf (sim::DeviceId device);

//==============================================================================
// Broadcasts

/** Sends WM_DEVICECHANGE (event, a copy of record) to every top-level window
    (not message-only ones, not children) and waits until each has handled it,
    as the system does with its broadcasts; windows of the calling thread are
    called directly.  record may be null (lParam 0); otherwise dbch_size bytes
    are copied and the copy lives for the call only.  Returns the number of
    windows reached. */
int broadcastDeviceChange (WPARAM event, const DEV_BROADCAST_HDR* record);

//==============================================================================
// Message boxes

struct MessageBoxRecord
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    std::thread::id thread;
};

/** The knob that answers boxes in tests: asked on the box's thread once per
    round of the box's modal loop, after the round has dispatched what was
    waiting (the first time right after the box opened).  Returns the button
    that closes the box (IDOK), or 0 to leave it open for another round of
    about 5 ms.  Null: only the box's own OK button closes it. */
using MessageBoxHandler = std::function<int (const MessageBoxRecord&)>;
void setMessageBoxHandler (MessageBoxHandler handler);

/** What a box needs from the world beyond the stand-in: a real box a person
    can read and close, and the event loop that serves a thread when it is not
    the stand-in's own.  The JUCE bridge provides both (Win32MessageBridge.h). */
struct MessageBoxUi
{
    /** Shows the box; called on the box's thread as it opens.  pressOk,
        callable from any thread, closes the box as its OK button does.
        Returns what takes the box down; called on the same thread as the box
        closes.  Null: no box is seen. */
    std::function<std::function<void()> (const MessageBoxRecord&, std::function<void()> pressOk)> show;

    /** Runs the calling thread's event loop for about ms and returns true,
        when a foreign loop serves the thread (JUCE's, whose dispatch also
        services the thread's window messages); false: the box's own loop
        retrieves the thread's messages instead.  Null: always the own loop. */
    std::function<bool (int ms)> runLoop;
};
void setMessageBoxUi (MessageBoxUi ui);

/** Boxes open now, on every thread. */
std::size_t openMessageBoxes();

/** Closes every box open now as its OK button would; callable from any thread. */
void pressOkOnOpenBoxes();

/** Every box shown since the last clearMessageBoxes, oldest first. */
std::vector<MessageBoxRecord> messageBoxes();
void clearMessageBoxes();

//==============================================================================
// The process command line

/** What GetCommandLineW returns from now on (earlier results stay valid).
    Until it is first called, the command line is made from the process's
    own arguments. */
void setCommandLine (const std::wstring& commandLine);

/** The command line that Windows would hand a program started with these
    arguments (UTF-8; the first is the program): the program in quotes when it
    holds a space or tab; every other argument that is empty or holds a space,
    tab or quote in quotes, with quotes and the backslashes before them
    escaped so that CommandLineToArgvW gives the arguments back. */
std::wstring commandLineFor (const std::vector<std::string>& arguments);

/** The same, as the 8-bit text after the program and its separating space:
    what WinMain gets as lpCmdLine. */
std::string argumentsLineFor (const std::vector<std::string>& arguments);

//==============================================================================
// Looking in

/** Kernel handles (files and events) open now. */
std::size_t openHandles();

/** File handles open now (on devices present or gone). */
std::size_t openFileHandles();

/** Transfers that may still be written to: pending ones, and cancelled ones
    whose completion the driver has not written yet. */
std::size_t pendingTransfers();

/** HID interfaces the stand-in keeps a record of: one per device present and
    one per path whose device has gone (still registered, as on Windows),
    not one per plug. */
std::size_t deviceRecords();

std::size_t liveWindows();
std::size_t liveWindowClasses();
std::size_t liveDeviceNotifications();
std::size_t liveDeviceInfoSets();
std::size_t livePreparsedData();
std::size_t liveGlobalAllocations();
std::size_t liveLocalAllocations();

/** Calls that named a handle, block, set or preparsed data that was not (or
    no longer) valid: a double CloseHandle or GlobalFree shows here.  Null
    does not count: it is what a failed CreateEventW leaves to wait on and
    close. */
std::size_t invalidHandleUses();

/** Misuses that corrupt memory on Windows: starting a transfer with an
    OVERLAPPED that a transfer still owns, or closing the event of a
    transfer that may still set it. */
std::size_t overlappedMisuses();

/** How often DefWindowProcW has been called with this message and wParam. */
std::size_t defaultProcessed (UINT message, WPARAM wParam);
} // namespace simwin
