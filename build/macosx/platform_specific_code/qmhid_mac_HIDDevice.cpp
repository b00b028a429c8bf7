// The macOS backend of qmhid::HIDDevice, on IOKit's HID device interface,
// CoreFoundation and POSIX threads.
//
// Every opened device has a detached reader thread running its own run loop,
// which receives the input reports through the interrupt report callback into
// a one-report slot; get waits on that slot.  Arrivals (a first-match
// notification on every HID device service) and removals (a general-interest
// notification on every device this backend opened) come through one
// notification port on the run loop of the thread that first asked for it.
//
// A removal message names its device by a key, looked up among the devices
// still open: a message already queued when a device is released is still
// delivered, and must not reach the freed record.

#include <qmhid_Assert.h>
#include <qmhid_HIDDevice.h>
#include <qmhid_Logger.h>

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOCFPlugIn.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/IOMessage.h>
#include <IOKit/hid/IOHIDKeys.h>
#include <IOKit/hid/IOHIDLib.h>
#include <mach/mach.h>
#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace qmhid
{
namespace
{
constexpr int reportBufferSize = 256;
constexpr int registryPathSize = 512;
constexpr int macTimedOut = 60; // ETIMEDOUT as the relative timed wait reports it

Logger& log()
{
    return *Logger::Instance();
}

/** The identifier's record: the device's registry path. */
struct IdentifierRecord
{
    char path[registryPathSize];
};
} // namespace

IONotificationPortRef notifyPort = nullptr;
io_iterator_t gAddIter = 0;
DeviceNotificationCallback deviceNotificationCallback = nullptr;
void* deviceNotificationData = nullptr;

IONotificationPortRef getNotificationPort();
void deviceArrivalNotification (void* refcon, io_iterator_t iterator);
void deviceNotification (void* refcon, io_service_t service, natural_t messageType, void* messageArgument);
int getNumFrom (CFMutableDictionaryRef properties, CFStringRef key, int* out);
void getIDFrom (CFMutableDictionaryRef properties, int* vendorId, int* productId);
void* interruptRunLoop (void* record);
void reportCallback (void* target, IOReturn result, void* refcon, void* sender, UInt32 bufferSize);

//==============================================================================
/** The record of one opened device. */
class DevImpl
{
public:
    DevImpl();
    virtual ~DevImpl();

    bool init (io_service_t service, IOHIDDeviceInterface** iface, CFMutableDictionaryRef properties);
    int waitForSignal (int timeoutMs);
    int startInterruptRunLoopThread();
    void stopInterruptRunLoopThread();

    IOHIDDeviceInterface** iface;
    IOHIDElementCookie inputCookie;
    IOHIDElementCookie outputCookie;
    int maxOutputReportSize;
    int maxInputReportSize;
    uint8 interruptBuffer[reportBufferSize];
    uint8 lastReport[reportBufferSize];
    CFRunLoopRef runLoop;
    bool waiting;
    pthread_cond_t reportCondition;
    pthread_mutex_t reportMutex;
    bool reportAvailable;
    char registryPath[registryPathSize];
    io_object_t interestNotification;

    /** The record's key among the open devices; 0 while it has none. */
    std::uintptr_t key;

    // The reader thread's life, so that destruction can wait until the thread
    // no longer touches the record: starting until it has recorded its run
    // loop, running, then finished once its run loop has ended.  A stop that
    // came before the run began would be lost, so the stop is a source of the
    // reader's loop: signalled, it stops the run whenever that starts.
    enum ReaderState
    {
        readerNone,
        readerStarting,
        readerRunning,
        readerFinished
    };
    pthread_mutex_t readerMutex;
    pthread_cond_t readerCondition;
    ReaderState readerState;
    CFRunLoopSourceRef stopSource;
};

namespace
{
/** The devices open now, by key, so that a removal message finds its record
    only while it lives.  Keys are never used twice. */
struct OpenDevices
{
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    std::map<std::uintptr_t, DevImpl*> byKey;
    std::uintptr_t lastKey = 0;
};

OpenDevices& openDevices()
{
    static auto* devices = new OpenDevices(); // devices may go after the static objects
    return *devices;
}

void stopCurrentRunLoop (void*)
{
    CFRunLoopStop (CFRunLoopGetCurrent());
}
} // namespace

DevImpl::DevImpl()
    : iface (nullptr)
    , inputCookie (0)
    , outputCookie (0)
    , maxOutputReportSize (0)
    , maxInputReportSize (0)
    , runLoop (nullptr)
    , waiting (false)
    , reportAvailable (false)
    , interestNotification (0)
    , key (0)
    , readerState (readerNone)
    , stopSource (nullptr)
{
    registryPath[0] = 0;
    pthread_cond_init (&reportCondition, nullptr);
    pthread_mutex_init (&reportMutex, nullptr);
    pthread_cond_init (&readerCondition, nullptr);
    pthread_mutex_init (&readerMutex, nullptr);
}

DevImpl::~DevImpl()
{
    // From here on a removal message that is still on its way finds nothing.
    auto& devices = openDevices();
    pthread_mutex_lock (&devices.lock);
    devices.byKey.erase (key);
    const io_object_t notification = interestNotification;
    interestNotification = 0;
    pthread_mutex_unlock (&devices.lock);

    if (iface != nullptr)
    {
        // close does not wait for a report callback running on the reader
        // thread; the record lives on until that thread has left its loop.
        (*iface)->close (iface);
        (*iface)->Release (iface);
    }

    if (runLoop != nullptr)
    {
        stopInterruptRunLoopThread();
    }
    else
    {
        pthread_cond_destroy (&reportCondition);
        pthread_mutex_destroy (&reportMutex);
    }

    // No later removal message is sent for a destroyed record.
    if (notification != 0)
        IOObjectRelease (notification);

    pthread_cond_destroy (&readerCondition);
    pthread_mutex_destroy (&readerMutex);
}

bool DevImpl::init (io_service_t service, IOHIDDeviceInterface** interface, CFMutableDictionaryRef properties)
{
    IOReturn result = (*interface)->open (interface, 0);
    if (result != kIOReturnSuccess)
    {
        log().output ("Device couldn't open (%08x)", (unsigned int) result);
        return false;
    }

    getNumFrom (properties, CFSTR (kIOHIDMaxInputReportSizeKey), &maxInputReportSize);
    getNumFrom (properties, CFSTR (kIOHIDMaxOutputReportSizeKey), &maxOutputReportSize);
    const long inBits = (long) maxInputReportSize * 8;
    const long outBits = (long) maxOutputReportSize * 8;

    CFArrayRef elements = nullptr;
    result = (*(IOHIDDeviceInterface122**) interface)->copyMatchingElements (interface, nullptr, &elements);
    if (result != kIOReturnSuccess || elements == nullptr)
    {
        (*interface)->close (interface);
        return false;
    }

    for (CFIndex i = 0; i < CFArrayGetCount (elements); ++i)
    {
        auto element = (CFDictionaryRef) CFArrayGetValueAtIndex (elements, i);
        long values[3] = {};
        const CFStringRef keys[3] = { CFSTR (kIOHIDElementSizeKey), CFSTR (kIOHIDElementCookieKey),
                                      CFSTR (kIOHIDElementTypeKey) };
        bool complete = true;

        for (int k = 0; k < 3 && complete; ++k)
        {
            auto number = (CFTypeRef) CFDictionaryGetValue (element, keys[k]);
            complete = number != nullptr && CFGetTypeID (number) == CFNumberGetTypeID() &&
                       CFNumberGetValue ((CFNumberRef) number, kCFNumberLongType, &values[k]);
        }

        if (!complete)
            continue;

        const long size = values[0];
        const auto cookie = (IOHIDElementCookie) values[1];
        const long type = values[2];

        if (type == kIOHIDElementTypeOutput && size == outBits)
        {
            // An output element is never taken as input.
            if (outputCookie == 0)
                outputCookie = cookie;
        }
        else if (size == inBits &&
                 (type == kIOHIDElementTypeInput_Misc || type == kIOHIDElementTypeInput_Button) &&
                 inputCookie == 0)
        {
            inputCookie = cookie;
        }
    }
    CFRelease (elements);

    if (inputCookie == 0 || outputCookie == 0)
    {
        (*interface)->close (interface);
        return false;
    }

    auto& devices = openDevices();
    pthread_mutex_lock (&devices.lock);
    key = ++devices.lastKey;
    devices.byKey[key] = this;
    pthread_mutex_unlock (&devices.lock);

    io_object_t notification = 0;
    result = IOServiceAddInterestNotification (getNotificationPort(), service, kIOGeneralInterest,
                                               deviceNotification, (void*) key, &notification);
    if (result != kIOReturnSuccess)
    {
        log().output ("HIDDevice -  DevImpl::init() error with IOServiceAddInterestNotification()");
        (*interface)->close (interface);
        return false;
    }
    pthread_mutex_lock (&devices.lock);
    interestNotification = notification;
    pthread_mutex_unlock (&devices.lock);

    iface = interface;
    startInterruptRunLoopThread();
    return true;
}

//==============================================================================
int DevImpl::startInterruptRunLoopThread()
{
    CFRunLoopSourceContext context;
    std::memset (&context, 0, sizeof (context));
    context.perform = stopCurrentRunLoop;
    stopSource = CFRunLoopSourceCreate (kCFAllocatorDefault, 0, &context);

    pthread_mutex_lock (&readerMutex);
    readerState = readerStarting;
    pthread_mutex_unlock (&readerMutex);

    pthread_t thread;
    const int error = pthread_create (&thread, nullptr, interruptRunLoop, this);
    if (error != 0)
    {
        pthread_mutex_lock (&readerMutex);
        readerState = readerNone;
        pthread_mutex_unlock (&readerMutex);
        CFRelease (stopSource);
        stopSource = nullptr;
        return error;
    }

    const int result = pthread_detach (thread);

    // Until the thread has recorded its run loop, destruction could not stop it.
    pthread_mutex_lock (&readerMutex);
    while (readerState == readerStarting)
        pthread_cond_wait (&readerCondition, &readerMutex);
    pthread_mutex_unlock (&readerMutex);
    return result;
}

void DevImpl::stopInterruptRunLoopThread()
{
    // Whether or not the reader's run has begun: a signalled source stays
    // signalled until its loop runs it.
    CFRunLoopSourceSignal (stopSource);
    CFRunLoopWakeUp (runLoop);

    // The detached thread is never joined; it says when it is done with the record.
    pthread_mutex_lock (&readerMutex);
    while (readerState == readerRunning)
        pthread_cond_wait (&readerCondition, &readerMutex);
    pthread_mutex_unlock (&readerMutex);
    CFRunLoopSourceInvalidate (stopSource);
    CFRelease (stopSource);
    stopSource = nullptr;
    CFRelease (runLoop);

    pthread_cond_destroy (&reportCondition);
    pthread_mutex_destroy (&reportMutex);
}

void* interruptRunLoop (void* recordPointer)
{
    auto* record = static_cast<DevImpl*> (recordPointer);

    CFRunLoopSourceRef source = nullptr;
    (*record->iface)->createAsyncEventSource (record->iface, &source);
    (*(IOHIDDeviceInterface122**) record->iface)
        ->setInterruptReportHandlerCallback (record->iface, record->interruptBuffer, reportBufferSize,
                                             reportCallback, nullptr, record);

    // The source goes in before the record hears of the loop: from then on
    // the record may be destroyed, and the interface with its source.
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    if (source != nullptr)
        CFRunLoopAddSource (loop, source, kCFRunLoopDefaultMode);
    CFRunLoopAddSource (loop, record->stopSource, kCFRunLoopDefaultMode);

    // Kept until the record is done with it, even if the loop ends early.
    pthread_mutex_lock (&record->readerMutex);
    record->runLoop = (CFRunLoopRef) CFRetain (loop);
    record->readerState = DevImpl::readerRunning;
    pthread_cond_broadcast (&record->readerCondition);
    pthread_mutex_unlock (&record->readerMutex);

    CFRunLoopRun();

    // The last touch of the record: signalled under its lock, so that the
    // record outlives the signal.
    pthread_mutex_lock (&record->readerMutex);
    record->readerState = DevImpl::readerFinished;
    pthread_cond_broadcast (&record->readerCondition);
    pthread_mutex_unlock (&record->readerMutex);
    return nullptr;
}

void reportCallback (void*, IOReturn, void* refcon, void*, UInt32 bufferSize)
{
    if (refcon == nullptr)
        return;

    auto* record = static_cast<DevImpl*> (refcon);
    pthread_mutex_lock (&record->reportMutex);
    record->reportAvailable = true;
    std::memcpy (record->lastReport, record->interruptBuffer,
                 std::min<size_t> (bufferSize, reportBufferSize));
    const bool wasWaiting = record->waiting;
    pthread_mutex_unlock (&record->reportMutex);

    if (wasWaiting)
        pthread_cond_signal (&record->reportCondition);
}

int DevImpl::waitForSignal (int timeoutMs)
{
    log().output ("Start wait");
    pthread_mutex_lock (&reportMutex);
    log().output ("Lock");

    int result = 0;
    // A report that came after get looked is not waited for in vain.
    if (!reportAvailable)
    {
        timespec relative;
        relative.tv_sec = timeoutMs / 1000;
        relative.tv_nsec = (long) (timeoutMs % 1000) * 1000000;
        result = pthread_cond_timedwait_relative_np (&reportCondition, &reportMutex, &relative);
    }

    if (result == macTimedOut)
    {
        log().output ("Time out");
        pthread_mutex_unlock (&reportMutex);
        return resultTimeout;
    }

    log().output ("Waited");
    pthread_mutex_unlock (&reportMutex);
    log().output ("End wait");
    return resultOk;
}

//==============================================================================
int getNumFrom (CFMutableDictionaryRef properties, CFStringRef key, int* out)
{
    auto value = (CFNumberRef) CFDictionaryGetValue (properties, key);
    if (value == nullptr)
    {
        *out = 0;
        return -1;
    }

    SInt32 number = 0;
    CFNumberGetValue (value, kCFNumberSInt32Type, &number);
    *out = (int) number;
    return 0;
}

void getIDFrom (CFMutableDictionaryRef properties, int* vendorId, int* productId)
{
    getNumFrom (properties, CFSTR (kIOHIDVendorIDKey), vendorId);
    getNumFrom (properties, CFSTR (kIOHIDProductIDKey), productId);
}

namespace
{
/** What the opening steps need of HIDDevice's protected parts; only its own
    members can name them. */
struct DeviceAccess
{
    HIDDevice* (*make)();
    DevImpl* HIDDevice::*impl;
};

/** Opens service as a device, or gives null. */
HIDDevice* openService (io_service_t service, CFMutableDictionaryRef properties, const DeviceAccess& access)
{
    IOCFPlugInInterface** plugIn = nullptr;
    SInt32 score = 0;
    if (IOCreatePlugInInterfaceForService (service, kIOHIDDeviceUserClientTypeID, kIOCFPlugInInterfaceID,
                                           &plugIn, &score) != kIOReturnSuccess ||
        plugIn == nullptr)
        return nullptr;

    IOHIDDeviceInterface** iface = nullptr;
    const HRESULT queried =
        (*plugIn)->QueryInterface (plugIn, CFUUIDGetUUIDBytes (kIOHIDDeviceInterfaceID), (LPVOID*) &iface);
    if (queried != S_OK || iface == nullptr)
    {
        log().output ("Couldn't get hid device interface (%d)", (int) queried);
        (*plugIn)->Release (plugIn);
        return nullptr;
    }

    HIDDevice* device = access.make();
    DevImpl* record = device->*access.impl;
    if (!record->init (service, iface, properties))
    {
        (*iface)->Release (iface);
        device->release();
        (*plugIn)->Release (plugIn);
        return nullptr;
    }

    getIDFrom (properties, &device->vendorId, &device->productId);
    if (IORegistryEntryGetPath (service, kIOServicePlane, record->registryPath) != KERN_SUCCESS)
    {
        log().output ("Couldn't get registry path");
        record->registryPath[0] = 0;
    }

    (*plugIn)->Release (plugIn);
    return device;
}
} // namespace

//==============================================================================
HIDDeviceIdentifier::HIDDeviceIdentifier()
    : record (new IdentifierRecord())
{
    static_cast<IdentifierRecord*> (record)->path[0] = 0;
}

HIDDeviceIdentifier::~HIDDeviceIdentifier()
{
    delete static_cast<IdentifierRecord*> (record);
}

int HIDDeviceIdentifier::init (void* path)
{
    // A registry path is at most 511 characters; a longer text is cut.
    auto* held = static_cast<IdentifierRecord*> (record);
    std::strncpy (held->path, static_cast<const char*> (path), registryPathSize - 1);
    held->path[registryPathSize - 1] = 0;
    return 0;
}

void* HIDDeviceIdentifier::getData()
{
    return static_cast<IdentifierRecord*> (record)->path;
}

//==============================================================================
HIDDevice::HIDDevice()
    : impl (new DevImpl())
    , vendorId (0)
    , productId (0)
{
}

HIDDevice::~HIDDevice()
{
    delete impl;
}

void HIDDevice::release()
{
    delete this;
}

int HIDDevice::send (const uint8* data, int len, int timeoutMs)
{
    // A report that came before this request is not its answer.
    pthread_mutex_lock (&impl->reportMutex);
    impl->reportAvailable = false;
    pthread_mutex_unlock (&impl->reportMutex);

    IOHIDEventStruct event;
    event.type = kIOHIDElementTypeOutput;
    event.elementCookie = impl->outputCookie;
    event.value = 0;
    event.timestamp.lo = 0;
    event.timestamp.hi = 0;
    event.longValueSize = (UInt32) std::max (0, std::min (len, impl->maxOutputReportSize));
    event.longValue = const_cast<uint8*> (data);

    const IOReturn result =
        (*impl->iface)
            ->setElementValue (impl->iface, impl->outputCookie, &event, (UInt32) std::max (timeoutMs, 0),
                               nullptr, nullptr, nullptr);
    if (result != kIOReturnSuccess)
    {
        log().output ("Couldn't set element value (%08x)", (unsigned int) result);
        return result;
    }
    return resultOk;
}

int HIDDevice::get (uint8* buf, int len, int timeoutMs)
{
    pthread_mutex_lock (&impl->reportMutex);
    impl->waiting = true;
    const bool alreadyThere = impl->reportAvailable;
    pthread_mutex_unlock (&impl->reportMutex);

    int waited = resultOk;
    if (!alreadyThere)
        waited = impl->waitForSignal (timeoutMs);

    pthread_mutex_lock (&impl->reportMutex);
    if (!impl->reportAvailable)
    {
        impl->waiting = false;
        pthread_mutex_unlock (&impl->reportMutex);

        if (waited == resultTimeout)
        {
            log().output ("Error - timeout to  get report");
            return resultTimeout;
        }
        log().output ("Error - Couldn't get report");
        return resultNoReport;
    }

    std::memcpy (buf, impl->lastReport, (size_t) std::clamp (len, 0, reportBufferSize));
    impl->reportAvailable = false;
    impl->waiting = false;
    pthread_mutex_unlock (&impl->reportMutex);
    return resultOk;
}

bool HIDDevice::compare (HIDDeviceIdentifier* identifier)
{
    return std::strcmp (static_cast<const char*> (identifier->getData()), impl->registryPath) == 0;
}

namespace
{
/** The single forms of findDevice: the first device found goes to *device,
    the others are closed again at once. */
int keepFirst (int code, std::vector<HIDDevice*>& devices, HIDDevice** device)
{
    if (code != 0)
        return code;
    *device = devices.front();
    for (size_t i = 1; i < devices.size(); ++i)
        devices[i]->release();
    return resultOk;
}
} // namespace

int HIDDevice::findDevice (const int* vendorIds, const int* productIds, int count,
                           std::vector<HIDDevice*>* devices)
{
    const DeviceAccess access{ [] { return new HIDDevice(); }, &HIDDevice::impl };
    devices->clear();

    io_iterator_t iterator = 0;
    if (IOServiceGetMatchingServices (kIOMasterPortDefault, IOServiceMatching (kIOHIDDeviceKey), &iterator) !=
        KERN_SUCCESS)
        return resultNotFound;

    while (io_service_t service = IOIteratorNext (iterator))
    {
        CFMutableDictionaryRef properties = nullptr;
        if (IORegistryEntryCreateCFProperties (service, &properties, kCFAllocatorDefault, 0) !=
                KERN_SUCCESS ||
            properties == nullptr)
        {
            // Without its properties nothing can be told about the service.
            IOObjectRelease (service);
            continue;
        }

        int vendorId = 0, productId = 0;
        getIDFrom (properties, &vendorId, &productId);

        // A device is opened once, however many entries it matches.
        bool matches = false;
        for (int i = 0; i < count && !matches; ++i)
            matches = vendorIds[i] == vendorId && (productIds == nullptr || productIds[i] == productId);
        if (matches)
            if (HIDDevice* device = openService (service, properties, access))
                devices->push_back (device);

        CFRelease (properties);
        IOObjectRelease (service);
    }

    IOObjectRelease (iterator);
    return devices->empty() ? resultNotFound : resultOk;
}

int HIDDevice::findDevice (int vendorId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    return keepFirst (findDevice (&vendorId, nullptr, 1, &devices), devices, device);
}

int HIDDevice::findDevice (int vendorId, int productId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    return keepFirst (findDevice (&vendorId, &productId, 1, &devices), devices, device);
}

int HIDDevice::createFrom (HIDDeviceIdentifier* identifier, HIDDevice** device)
{
    const DeviceAccess access{ [] { return new HIDDevice(); }, &HIDDevice::impl };

    io_string_t path;
    std::strncpy (path, static_cast<const char*> (identifier->getData()), sizeof (path) - 1);
    path[sizeof (path) - 1] = 0;

    const io_registry_entry_t service = IORegistryEntryFromPath (kIOMasterPortDefault, path);
    if (service == MACH_PORT_NULL)
    {
        log().output ("Couldn't get registry entry from HIDDeviceIdentifier");
        return resultNotFound;
    }

    CFMutableDictionaryRef properties = nullptr;
    if (IORegistryEntryCreateCFProperties (service, &properties, kCFAllocatorDefault, 0) != KERN_SUCCESS ||
        properties == nullptr)
    {
        IOObjectRelease (service);
        return resultNotFound;
    }

    HIDDevice* opened = openService (service, properties, access);
    CFRelease (properties);
    IOObjectRelease (service);

    if (opened == nullptr)
        return resultNotFound;

    *device = opened;
    return resultOk;
}

//==============================================================================
IONotificationPortRef getNotificationPort()
{
    if (notifyPort != nullptr)
        return notifyPort;

    mach_port_t masterPort = MACH_PORT_NULL;
    const kern_return_t result = IOMasterPort (bootstrap_port, &masterPort);
    if (result != KERN_SUCCESS)
    {
        log().output ("IOMasterPort error with bootstrap_port");
        QMHID_ASSERT (result == KERN_SUCCESS);
    }

    notifyPort = IONotificationPortCreate (masterPort);
    CFRunLoopAddSource (CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource (notifyPort),
                        kCFRunLoopDefaultMode);
    return notifyPort;
}

int HIDDevice::setDeviceNotificationCallback (DeviceNotificationCallback callback, void* userData)
{
    deviceNotificationCallback = callback;
    deviceNotificationData = userData;

    static bool isSetup = false;
    if (isSetup)
        return 0;

    const kern_return_t result = IOServiceAddMatchingNotification (
        getNotificationPort(), kIOFirstMatchNotification, IOServiceMatching (kIOHIDDeviceKey),
        deviceArrivalNotification, nullptr, &gAddIter);
    if (result != KERN_SUCCESS)
    {
        log().output ("IOServiceAddMatchingNotification() error");
        QMHID_ASSERT (result == KERN_SUCCESS);
    }

    // Emptying the iterator arms the notification; the devices present now
    // are found by probing instead.
    while (io_object_t present = IOIteratorNext (gAddIter))
        IOObjectRelease (present);

    isSetup = true;
    return 0;
}

void deviceArrivalNotification (void*, io_iterator_t iterator)
{
    log().output ("devicArrivaleNotification()");
    HIDDeviceIdentifier identifier;

    // The iterator is emptied even while nobody listens, or no later arrival
    // would be notified.
    while (io_object_t object = IOIteratorNext (iterator))
    {
        if (deviceNotificationCallback != nullptr)
        {
            io_string_t path;
            if (IORegistryEntryGetPath (object, kIOServicePlane, path) != KERN_SUCCESS)
            {
                log().output ("hidObject = %d", (int) object);
            }
            else
            {
                log().output ("get path ok");
                identifier.init (path);
                if (deviceNotificationCallback != nullptr)
                    deviceNotificationCallback (0, &identifier, deviceNotificationData);
            }
        }
        IOObjectRelease (object);
    }
}

void deviceNotification (void* refcon, io_service_t service, natural_t messageType, void*)
{
    if (messageType != kIOMessageServiceIsTerminated)
        return;

    // The receiver may release the device during the call: the identifier
    // holds its own copy of the path, taken while the record is known alive.
    HIDDeviceIdentifier identifier;
    io_object_t notification = 0;
    auto& devices = openDevices();
    pthread_mutex_lock (&devices.lock);
    const auto found = devices.byKey.find ((std::uintptr_t) refcon);
    const bool alive = found != devices.byKey.end();
    if (alive)
    {
        DevImpl* record = found->second;
        identifier.init (record->registryPath);
        notification = record->interestNotification;
        record->interestNotification = 0;
    }
    pthread_mutex_unlock (&devices.lock);

    // A message that was on its way when the device was released.
    if (!alive)
        return;

    log().output ("RemovalNotification");
    if (notification != 0)
        IOObjectRelease (notification);

    if (deviceNotificationCallback == nullptr)
        return;

    log().output ("service = %d", (int) service);
    deviceNotificationCallback (1, &identifier, deviceNotificationData);
}
} // namespace qmhid
