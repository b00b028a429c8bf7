// The HID plug-in and the COM-style HID device interface of the simulated
// macOS platform, over a host handle of the virtual HID bus.

#include "CFInternal.h"
#include "IOKitInternal.h"

#include <IOKit/hid/IOHIDLib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <vector>

namespace
{
/** Device interfaces opened and not yet closed. */
std::atomic<std::size_t> openInterfaces{ 0 };

using simio::Service;

bool sameUuid (const CFUUIDBytes& a, CFUUIDRef b)
{
    const CFUUIDBytes bytes = CFUUIDGetUUIDBytes (b);
    return std::memcmp (&a, &bytes, sizeof (bytes)) == 0;
}

bool isHidInterfaceId (const CFUUIDBytes& iid)
{
    return sameUuid (iid, kIOHIDDeviceInterfaceID) || sameUuid (iid, kIOHIDDeviceInterfaceID121) ||
           sameUuid (iid, kIOHIDDeviceInterfaceID122);
}

//==============================================================================
/** What one device interface knows, shared with the tasks it posts. */
struct DeviceState
{
    std::mutex lock;

    std::shared_ptr<Service> service;
    void* sender = nullptr; ///< the interface pointer, handed to callbacks

    std::shared_ptr<sim::HostHandle> handle;
    bool isOpen = false;
    /** Counts opens, so that reports of an earlier open are never delivered. */
    unsigned generation = 0;

    void* buffer = nullptr;
    UInt32 bufferSize = 0;
    IOHIDReportCallbackFunction callback = nullptr;
    void* target = nullptr;
    void* refcon = nullptr;

    CFRunLoopSourceRef source = nullptr; ///< one reference held here
};

/** Runs on the thread of the run loop that holds the event source. */
void deliverReport (const std::weak_ptr<DeviceState>& weak, unsigned generation,
                    const std::vector<std::uint8_t>& report)
{
    auto state = weak.lock();
    if (state == nullptr)
        return;

    std::unique_lock<std::mutex> held (state->lock);
    if (!state->isOpen || state->generation != generation || state->callback == nullptr ||
        state->buffer == nullptr)
        return;

    const auto size = (UInt32) std::min<size_t> (report.size(), state->bufferSize);
    if (size > 0)
        std::memcpy (state->buffer, report.data(), size);
    const auto callback = state->callback;
    void* const target = state->target;
    void* const refcon = state->refcon;
    void* const sender = state->sender;
    held.unlock();

    // As on a Mac, close and release do not wait for a callback that runs.
    callback (target, kIOReturnSuccess, refcon, sender, size);
}

/** Runs on the bus thread that sends the report. */
void queueReport (const std::weak_ptr<DeviceState>& weak, unsigned generation, const std::uint8_t* data,
                  std::size_t len)
{
    auto state = weak.lock();
    if (state == nullptr)
        return;
    std::lock_guard<std::mutex> guard (state->lock);
    if (!state->isOpen || state->generation != generation || state->source == nullptr)
        return;
    simcf::postToPortSource (state->source,
                             [weak, generation, report = std::vector<std::uint8_t> (data, data + len)]
                             { deliverReport (weak, generation, report); });
}

IOReturn closeDevice (DeviceState& state)
{
    std::unique_lock<std::mutex> held (state.lock);
    if (!state.isOpen)
        return kIOReturnNotOpen;
    state.isOpen = false;
    --openInterfaces;
    auto handle = std::move (state.handle);
    held.unlock();

    // Outside the lock: the bus waits here for a report being queued.
    handle->setInputHandler (nullptr);
    handle->close();
    return kIOReturnSuccess;
}

//==============================================================================
struct HidInterface;

/** What the interface pointer points to: the table first, as COM wants. */
struct HidFace
{
    IOHIDDeviceInterface122* table;
    HidInterface* owner;
};

struct HidInterface
{
    HidFace face;
    std::atomic<ULONG> references{ 1 };
    std::shared_ptr<DeviceState> state = std::make_shared<DeviceState>();
};

DeviceState& stateOf (void* self)
{
    return *static_cast<HidFace*> (self)->owner->state;
}

HRESULT hidQueryInterface (void* self, REFIID iid, LPVOID* ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (isHidInterfaceId (iid) || sameUuid (iid, IUnknownUUID))
    {
        ++static_cast<HidFace*> (self)->owner->references;
        *ppv = self;
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG hidAddRef (void* self)
{
    return ++static_cast<HidFace*> (self)->owner->references;
}

ULONG hidRelease (void* self)
{
    auto* object = static_cast<HidFace*> (self)->owner;
    const ULONG left = --object->references;
    if (left != 0)
        return left;

    auto& state = *object->state;
    closeDevice (state);
    CFRunLoopSourceRef source;
    {
        std::lock_guard<std::mutex> guard (state.lock);
        source = state.source;
        state.source = nullptr;
        state.callback = nullptr;
    }
    // The source stays in its run loop, delivering nothing, until removed.
    if (source != nullptr)
        CFRelease (source);
    delete object;
    return 0;
}

IOReturn hidCreateAsyncEventSource (void* self, CFRunLoopSourceRef* source)
{
    if (source == nullptr)
        return kIOReturnBadArgument;
    auto& state = stateOf (self);
    std::lock_guard<std::mutex> guard (state.lock);
    if (state.source == nullptr)
        state.source = simcf::createPortSource();
    *source = state.source;
    return kIOReturnSuccess;
}

CFRunLoopSourceRef hidGetAsyncEventSource (void* self)
{
    auto& state = stateOf (self);
    std::lock_guard<std::mutex> guard (state.lock);
    return state.source;
}

IOReturn hidCreateAsyncPort (void*, mach_port_t*)
{
    return kIOReturnUnsupported;
}

mach_port_t hidGetAsyncPort (void*)
{
    return MACH_PORT_NULL;
}

IOReturn hidOpen (void* self, IOOptionBits)
{
    auto& state = stateOf (self);
    const auto device = state.service->device;
    int code;
    if (simio::takeFault (simmac::Call::open, device, code))
        return code;
    {
        std::lock_guard<std::mutex> guard (state.lock);
        if (state.isOpen)
            return kIOReturnSuccess;
    }

    auto& bus = sim::VirtualHidBus::instance();
    auto handle = bus.open (device);
    if (handle == nullptr)
        return bus.isPresent (device) ? kIOReturnExclusiveAccess : kIOReturnNotAttached;

    unsigned generation;
    {
        std::lock_guard<std::mutex> guard (state.lock);
        if (state.isOpen)
        {
            handle->close();
            return kIOReturnSuccess;
        }
        state.isOpen = true;
        ++openInterfaces;
        state.handle = handle;
        generation = ++state.generation;
    }
    std::weak_ptr<DeviceState> weak = static_cast<HidFace*> (self)->owner->state;
    handle->setInputHandler ([weak, generation] (const std::uint8_t* data, std::size_t len)
                             { queueReport (weak, generation, data, len); });
    return kIOReturnSuccess;
}

IOReturn hidClose (void* self)
{
    return closeDevice (stateOf (self));
}

IOReturn hidSetRemovalCallback (void*, IOHIDCallbackFunction, void*, void*)
{
    return kIOReturnUnsupported;
}

IOReturn hidGetElementValue (void*, IOHIDElementCookie, IOHIDEventStruct*)
{
    return kIOReturnUnsupported;
}

IOReturn hidSetElementValue (void* self, IOHIDElementCookie elementCookie, IOHIDEventStruct* valueEvent,
                             UInt32 timeoutMS, IOHIDElementCallbackFunction callback, void*, void*)
{
    if (callback != nullptr)
        return kIOReturnUnsupported;
    if (valueEvent == nullptr || valueEvent->longValue == nullptr || valueEvent->longValueSize == 0)
        return kIOReturnBadArgument;

    auto& state = stateOf (self);
    std::shared_ptr<sim::HostHandle> handle;
    {
        std::lock_guard<std::mutex> guard (state.lock);
        if (!state.isOpen)
            return kIOReturnNotOpen;
        handle = state.handle;
    }

    const auto elements = state.service->description.effectiveElements();
    const bool writable =
        std::any_of (elements.begin(), elements.end(),
                     [elementCookie] (const sim::HidElement& e)
                     {
                         return e.cookie == elementCookie &&
                                (e.type == kIOHIDElementTypeOutput || e.type == kIOHIDElementTypeFeature);
                     });
    if (!writable)
        return kIOReturnBadArgument;

    const int timeout = timeoutMS > (UInt32) INT_MAX ? INT_MAX : (int) timeoutMS;
    switch (handle->write (static_cast<const std::uint8_t*> (valueEvent->longValue),
                           valueEvent->longValueSize, timeout))
    {
        case sim::HostHandle::WriteResult::ok:
            return kIOReturnSuccess;
        case sim::HostHandle::WriteResult::gone:
            return kIOReturnNotAttached;
        case sim::HostHandle::WriteResult::timedOut:
            return kIOReturnTimeout;
    }
    return kIOReturnError;
}

IOReturn hidQueryElementValue (void*, IOHIDElementCookie, IOHIDEventStruct*, UInt32,
                               IOHIDElementCallbackFunction, void*, void*)
{
    return kIOReturnUnsupported;
}

IOReturn hidUnsupported (void*)
{
    return kIOReturnUnsupported;
}

IOHIDQueueInterface** hidAllocQueue (void*)
{
    return nullptr;
}

IOHIDOutputTransactionInterface** hidAllocOutputTransaction (void*)
{
    return nullptr;
}

IOReturn hidSetReport (void*, IOHIDReportType, UInt32, void*, UInt32, UInt32, IOHIDReportCallbackFunction,
                       void*, void*)
{
    return kIOReturnUnsupported;
}

IOReturn hidGetReport (void*, IOHIDReportType, UInt32, void*, UInt32*, UInt32, IOHIDReportCallbackFunction,
                       void*, void*)
{
    return kIOReturnUnsupported;
}

/** Whether element holds every key of matching with an equal value. */
bool elementMatches (CFDictionaryRef element, CFDictionaryRef matching)
{
    const CFIndex count = CFDictionaryGetCount (matching);
    std::vector<const void*> keys ((size_t) count), values ((size_t) count);
    CFDictionaryGetKeysAndValues (matching, keys.data(), values.data());
    for (size_t i = 0; i < keys.size(); ++i)
    {
        const void* mine = CFDictionaryGetValue (element, keys[i]);
        if (mine == nullptr || !CFEqual (mine, values[i]))
            return false;
    }
    return true;
}

IOReturn hidCopyMatchingElements (void* self, CFDictionaryRef matchingDict, CFArrayRef* elements)
{
    auto& state = stateOf (self);
    int code;
    if (simio::takeFault (simmac::Call::copyMatchingElements, state.service->device, code))
        return code;
    if (elements == nullptr)
        return kIOReturnBadArgument;

    CFMutableArrayRef all = simio::createElements (*state.service);
    if (matchingDict == nullptr)
    {
        *elements = all;
        return kIOReturnSuccess;
    }
    CFMutableArrayRef chosen = CFArrayCreateMutable (kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    for (CFIndex i = 0; i < CFArrayGetCount (all); ++i)
    {
        const void* element = CFArrayGetValueAtIndex (all, i);
        if (elementMatches ((CFDictionaryRef) element, matchingDict))
            CFArrayAppendValue (chosen, element);
    }
    CFRelease (all);
    *elements = chosen;
    return kIOReturnSuccess;
}

IOReturn hidSetInterruptReportHandlerCallback (void* self, void* reportBuffer, UInt32 reportBufferSize,
                                               IOHIDReportCallbackFunction callback, void* callbackTarget,
                                               void* callbackRefcon)
{
    auto& state = stateOf (self);
    std::lock_guard<std::mutex> guard (state.lock);
    state.buffer = reportBuffer;
    state.bufferSize = reportBufferSize;
    state.callback = callback;
    state.target = callbackTarget;
    state.refcon = callbackRefcon;
    return kIOReturnSuccess;
}

IOHIDDeviceInterface122 makeHidTable()
{
    IOHIDDeviceInterface122 t{};
    t.QueryInterface = hidQueryInterface;
    t.AddRef = hidAddRef;
    t.Release = hidRelease;
    t.createAsyncEventSource = hidCreateAsyncEventSource;
    t.getAsyncEventSource = hidGetAsyncEventSource;
    t.createAsyncPort = hidCreateAsyncPort;
    t.getAsyncPort = hidGetAsyncPort;
    t.open = hidOpen;
    t.close = hidClose;
    t.setRemovalCallback = hidSetRemovalCallback;
    t.getElementValue = hidGetElementValue;
    t.setElementValue = hidSetElementValue;
    t.queryElementValue = hidQueryElementValue;
    t.startAllQueues = hidUnsupported;
    t.stopAllQueues = hidUnsupported;
    t.allocQueue = hidAllocQueue;
    t.allocOutputTransaction = hidAllocOutputTransaction;
    t.setReport = hidSetReport;
    t.getReport = hidGetReport;
    t.copyMatchingElements = hidCopyMatchingElements;
    t.setInterruptReportHandlerCallback = hidSetInterruptReportHandlerCallback;
    return t;
}

IOHIDDeviceInterface122 hidTable = makeHidTable();

IOHIDDeviceInterface122** createHidInterface (std::shared_ptr<Service> service)
{
    auto* object = new HidInterface();
    object->face = { &hidTable, object };
    object->state->service = std::move (service);
    object->state->sender = &object->face;
    return &object->face.table;
}

//==============================================================================
struct PlugIn;

struct PlugInFace
{
    IOCFPlugInInterface* table;
    PlugIn* owner;
};

struct PlugIn
{
    PlugInFace face;
    std::atomic<ULONG> references{ 1 };
    std::shared_ptr<Service> service;
};

PlugIn& plugInOf (void* self)
{
    return *static_cast<PlugInFace*> (self)->owner;
}

HRESULT plugInQueryInterface (void* self, REFIID iid, LPVOID* ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    auto& plugIn = plugInOf (self);
    int code;
    if (simio::takeFault (simmac::Call::queryInterface, plugIn.service->device, code))
    {
        *ppv = nullptr;
        return (HRESULT) code;
    }
    if (isHidInterfaceId (iid))
    {
        *ppv = createHidInterface (plugIn.service);
        return S_OK;
    }
    if (sameUuid (iid, IUnknownUUID) || sameUuid (iid, kIOCFPlugInInterfaceID))
    {
        ++plugIn.references;
        *ppv = self;
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG plugInAddRef (void* self)
{
    return ++plugInOf (self).references;
}

ULONG plugInRelease (void* self)
{
    auto& plugIn = plugInOf (self);
    const ULONG left = --plugIn.references;
    if (left == 0)
        delete &plugIn;
    return left;
}

IOReturn plugInProbe (void*, CFDictionaryRef, io_service_t, SInt32* order)
{
    if (order != nullptr)
        *order = 0;
    return kIOReturnSuccess;
}

IOReturn plugInStart (void*, CFDictionaryRef, io_service_t)
{
    return kIOReturnSuccess;
}

IOReturn plugInStop (void*)
{
    return kIOReturnSuccess;
}

IOCFPlugInInterface makePlugInTable()
{
    IOCFPlugInInterface t{};
    t.QueryInterface = plugInQueryInterface;
    t.AddRef = plugInAddRef;
    t.Release = plugInRelease;
    t.version = 1;
    t.revision = 0;
    t.Probe = plugInProbe;
    t.Start = plugInStart;
    t.Stop = plugInStop;
    return t;
}

IOCFPlugInInterface plugInTable = makePlugInTable();
} // namespace

// The functions keep the C linkage of their declarations.
kern_return_t IOCreatePlugInInterfaceForService (io_service_t service, CFUUIDRef pluginType,
                                                 CFUUIDRef interfaceType, IOCFPlugInInterface*** theInterface,
                                                 SInt32* theScore)
{
    auto s = simio::serviceOf (service);
    if (s == nullptr)
        return kIOReturnBadArgument;
    int code;
    if (simio::takeFault (simmac::Call::createPlugInInterface, s->device, code))
        return code;
    if (theInterface == nullptr || pluginType == nullptr || interfaceType == nullptr)
        return kIOReturnBadArgument;
    if (!CFEqual (pluginType, kIOHIDDeviceUserClientTypeID) ||
        !CFEqual (interfaceType, kIOCFPlugInInterfaceID))
        return kIOReturnUnsupported;
    if (!simio::isAttached (*s))
        return kIOReturnNotAttached;

    auto* plugIn = new PlugIn();
    plugIn->face = { &plugInTable, plugIn };
    plugIn->service = std::move (s);
    *theInterface = &plugIn->face.table;
    if (theScore != nullptr)
        *theScore = 0;
    return KERN_SUCCESS;
}

kern_return_t IODestroyPlugInInterface (IOCFPlugInInterface** interface)
{
    if (interface == nullptr)
        return kIOReturnBadArgument;
    (*interface)->Release (interface);
    return KERN_SUCCESS;
}

namespace simmac
{
std::size_t openDeviceInterfaces()
{
    return openInterfaces.load();
}
} // namespace simmac
