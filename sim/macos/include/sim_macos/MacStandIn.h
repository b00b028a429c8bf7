#pragma once

// The simulated macOS platform's own controls, for tests and for the bridge
// to a foreign event loop; none of this exists on a Mac.
//
// Where the simulated platform still differs from a Mac, and why:
// - CFString holds 8-bit text and CFStringGetLength counts bytes: the backend
//   only uses ASCII keys and paths.
// - Run loop sources get no schedule or cancel callbacks, and there are no
//   timers or observers: nothing here uses them.
// - The main run loop is JUCE's message loop on Linux, woken through an
//   eventfd; it runs at most 64 units of work per wake-up so that JUCE's own
//   messages are not starved.  It is never "running" for CFRunLoopStop, which
//   on a Mac only ends one pass of the application's loop anyway.
// - While a message box (a JUCE alert window) exists, the main run loop runs
//   in the modal panel's mode, as under a Mac's alert.  Any alert window
//   counts, an asynchronous one too; the file chooser does not hold the
//   notifications back, although a Mac's open panel would (JUCE's chooser on
//   Linux is no alert).
// - IOKit knows only the HID devices of the virtual bus: services, registry
//   paths and properties are made from their descriptions, and matching
//   dictionaries hold only the provider class and property values.
// - Input reports travel as tasks on the device interface's event source, not
//   as mach messages: a report still queued when the device closes is dropped,
//   and a released interface leaves its source in the run loop, delivering
//   nothing, until it is removed or its thread ends.
// - The device interface writes with setElementValue only (synchronously,
//   with its time-out); queues, transactions and get/setReport are missing.
// - The system's menu bar is a JUCE window across the top of the main
//   display (MainMenuBar.h) showing the program's own menus only, without the
//   application menu a Mac adds; the command key is Ctrl off a Mac.
// - Failures happen only where a test injects them (Call below).

#include <CoreFoundation/CoreFoundation.h>
#include <VirtualHidBus.h>

#include <cstddef>
#include <functional>
#include <string>

namespace simmac
{
//==============================================================================
// The main run loop, serviced by someone else's event loop

/** Makes the calling thread's run loop the main run loop (CFRunLoopGetMain)
    and returns a file descriptor that becomes readable whenever the loop has
    work.  Whoever polls the descriptor then calls serviceMainRunLoop on this
    thread.  Calling it again on the same thread returns the same descriptor. */
int attachMainRunLoop();

/** Runs, on the main run loop's thread, the work of the sources of mode (and
    of the common modes) that is ready now, without anyone calling
    CFRunLoopRun.  Ready work of other modes waits for a service in its mode
    and does not make the descriptor readable meanwhile. */
void serviceMainRunLoop (CFStringRef mode = kCFRunLoopDefaultMode);

/** Whether the main run loop has work ready in mode: work that a modal
    panel holds back shows here. */
bool mainRunLoopHasWork (CFStringRef mode = kCFRunLoopDefaultMode);

/** Closes the descriptor; the loop stays the main run loop. */
void detachMainRunLoop();

/** Called by CFRunLoopGetCurrent before it returns, on the calling thread: the
    bridge's hook attaches the message thread's loop the first time that
    thread asks for it.  nullptr removes it. */
void setCurrentLoopHook (void (*hook)());

//==============================================================================
// Timing on demand

/** Called at the start of every CFRunLoopRun on a thread other than the
    process's main thread, on that thread, before the run begins: a test
    delays a reader thread with it, e.g. between recording its run loop and
    running it.  nullptr removes it. */
using RunHook = std::function<void()>;
void setBeforeRunHook (RunHook hook);

//==============================================================================
// Faults on demand

/** The calls that can be made to fail. */
enum class Call
{
    masterPort,              ///< IOMasterPort: KERN_FAILURE
    getMatchingServices,     ///< IOServiceGetMatchingServices: kIOReturnNoResources
    addMatchingNotification, ///< IOServiceAddMatchingNotification: kIOReturnNoResources
    addInterestNotification, ///< IOServiceAddInterestNotification: kIOReturnNoResources
    registryEntryGetPath,    ///< IORegistryEntryGetPath: kIOReturnBadArgument
    createPlugInInterface,   ///< IOCreatePlugInInterfaceForService: kIOReturnNoResources
    queryInterface,          ///< the plug-in's QueryInterface: E_NOINTERFACE
    open,                    ///< the device interface's open: kIOReturnExclusiveAccess
    copyMatchingElements     ///< the device interface's copyMatchingElements: kIOReturnNoMemory
};

struct Fault
{
    /** How many calls fail; -1: every call until clearFaults. */
    int times = -1;
    /** Only calls about this device's service fail; 0: any call.  Ignored
        by the calls that concern no service. */
    sim::DeviceId device = 0;
    /** The code to fail with; 0: the call's usual code, as listed above. */
    int code = 0;
};

/** Makes call fail as fault says, replacing an earlier fault of that call. */
void injectFault (Call call, Fault fault = {});

/** Ends every fault and drops the editors below. */
void clearFaults();

/** Called on every property dictionary that IORegistryEntryCreateCFProperties
    hands out (and that matching looks at), after it is filled; a test removes
    or replaces keys, e.g. CFDictionaryRemoveValue (properties, CFSTR ("VendorID")). */
using PropertyEditor = std::function<void (sim::DeviceId device, CFMutableDictionaryRef properties)>;
void setPropertyEditor (PropertyEditor editor);

/** Called on every element dictionary that copyMatchingElements lists, after it
    is filled from the bus description, with its index in the device's list. */
using ElementEditor =
    std::function<void (sim::DeviceId device, CFIndex index, CFMutableDictionaryRef element)>;
void setElementEditor (ElementEditor editor);

//==============================================================================
// Looking in

/** The path in the "IOService" plane that the device's service has; empty when
    the device is not plugged in. */
std::string registryPathOf (sim::DeviceId device);

/** HID device interfaces that are open now (opened and not yet closed). */
std::size_t openDeviceInterfaces();

/** IOKit objects (services, iterators, notifications) the process holds. */
std::size_t liveObjectHandles();

/** Calls so far that named an IOKit object that was not (or no longer) valid:
    a double IOObjectRelease shows here. */
std::size_t invalidHandleUses();
} // namespace simmac
