// IOKit of the simulated platform over the virtual HID bus: enumeration and
// properties, registry paths and handles, the plug-in and device interface
// down to the device, input reports on the reader's run loop, arrival and
// termination notifications through a port's run loop, and the fault knobs.

#include "TestSync.h"
#include <EchoDevice.h>

#include <IOKit/IOCFPlugIn.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/IOMessage.h>
#include <IOKit/hid/IOHIDKeys.h>
#include <IOKit/hid/IOHIDLib.h>
#include <MacRunLoopBridge.h>
#include <sim_macos/MacStandIn.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

using namespace standintest;
using namespace simtest;

namespace
{
using Interface = IOHIDDeviceInterface122**;

sim::VirtualHidBus& bus()
{
    return sim::VirtualHidBus::instance();
}

/** Every test leaves the bus empty and gives back every IOKit object it took. */
class IOKitTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (simmac::startMessageThreadRunLoop());
        simmac::clearFaults();
        handlesBefore = simmac::liveObjectHandles();
        invalidBefore = simmac::invalidHandleUses();
    }

    void TearDown() override
    {
        bus().unplugAll();
        simmac::clearFaults();
        EXPECT_EQ (simmac::liveObjectHandles(), handlesBefore) << "IOKit objects were not released";
        EXPECT_EQ (simmac::invalidHandleUses(), invalidBefore) << "invalid IOKit handles were used";
    }

    std::size_t handlesBefore = 0;
    std::size_t invalidBefore = 0;
};

std::vector<io_object_t> drain (io_iterator_t iterator)
{
    std::vector<io_object_t> objects;
    while (io_object_t object = IOIteratorNext (iterator))
        objects.push_back (object);
    return objects;
}

void releaseAll (const std::vector<io_object_t>& objects)
{
    for (auto object : objects)
        IOObjectRelease (object);
}

std::vector<io_service_t> matchingServices (CFMutableDictionaryRef matching)
{
    io_iterator_t iterator = IO_OBJECT_NULL;
    EXPECT_EQ (IOServiceGetMatchingServices (kIOMasterPortDefault, matching, &iterator), KERN_SUCCESS);
    auto services = drain (iterator);
    IOObjectRelease (iterator);
    return services;
}

CFMutableDictionaryRef matchingVendor (SInt32 vendorId)
{
    CFMutableDictionaryRef matching = IOServiceMatching (kIOHIDDeviceKey);
    CFNumberRef number = CFNumberCreate (kCFAllocatorDefault, kCFNumberSInt32Type, &vendorId);
    CFDictionarySetValue (matching, CFSTR (kIOHIDVendorIDKey), number);
    CFRelease (number);
    return matching;
}

std::string pathOf (io_service_t service)
{
    io_string_t path;
    return IORegistryEntryGetPath (service, kIOServicePlane, path) == KERN_SUCCESS ? std::string (path)
                                                                                   : "(none)";
}

/** Drains an iterator, giving the paths of the services it held. */
std::vector<std::string> drainPaths (io_iterator_t iterator)
{
    std::vector<std::string> paths;
    for (auto service : drain (iterator))
    {
        paths.push_back (pathOf (service));
        IOObjectRelease (service);
    }
    return paths;
}

/** A new reference of the service of a plugged device. */
io_service_t serviceOf (sim::DeviceId device)
{
    io_string_t path;
    std::snprintf (path, sizeof (path), "%s", simmac::registryPathOf (device).c_str());
    return IORegistryEntryFromPath (kIOMasterPortDefault, path);
}

SInt32 numberIn (CFDictionaryRef dictionary, const char* key)
{
    CFStringRef k = CFStringCreateWithCString (kCFAllocatorDefault, key, kCFStringEncodingUTF8);
    const void* value = CFDictionaryGetValue (dictionary, k);
    CFRelease (k);
    long number = -1;
    if (value != nullptr && CFGetTypeID (value) == CFNumberGetTypeID())
        CFNumberGetValue ((CFNumberRef) value, kCFNumberLongType, &number);
    return (SInt32) number;
}

/** The property dictionary of a service, for the length of a scope. */
class PropertiesOf
{
public:
    explicit PropertiesOf (io_service_t service)
    {
        EXPECT_EQ (IORegistryEntryCreateCFProperties (service, &properties, kCFAllocatorDefault, 0),
                   KERN_SUCCESS);
    }

    ~PropertiesOf()
    {
        if (properties != nullptr)
            CFRelease (properties);
    }

    SInt32 number (const char* key) const { return numberIn (properties, key); }

    std::string text (const char* key) const
    {
        CFStringRef k = CFStringCreateWithCString (kCFAllocatorDefault, key, kCFStringEncodingUTF8);
        const void* value = CFDictionaryGetValue (properties, k);
        CFRelease (k);
        char buffer[256] = "";
        if (value != nullptr && CFGetTypeID (value) == CFStringGetTypeID())
            CFStringGetCString ((CFStringRef) value, buffer, sizeof (buffer), kCFStringEncodingUTF8);
        return buffer;
    }

    CFMutableDictionaryRef properties = nullptr;
};

/** The HID interface of a service, the way the backend reaches it. */
Interface makeInterface (io_service_t service)
{
    IOCFPlugInInterface** plugIn = nullptr;
    SInt32 score = 0;
    if (IOCreatePlugInInterfaceForService (service, kIOHIDDeviceUserClientTypeID, kIOCFPlugInInterfaceID,
                                           &plugIn, &score) != KERN_SUCCESS)
        return nullptr;
    Interface iface = nullptr;
    const HRESULT result =
        (*plugIn)->QueryInterface (plugIn, CFUUIDGetUUIDBytes (kIOHIDDeviceInterfaceID), (LPVOID*) &iface);
    (*plugIn)->Release (plugIn);
    return result == S_OK ? iface : nullptr;
}

Interface interfaceOf (sim::DeviceId device)
{
    io_service_t service = serviceOf (device);
    Interface iface = makeInterface (service);
    IOObjectRelease (service);
    return iface;
}

Interface openInterfaceOf (sim::DeviceId device)
{
    Interface iface = interfaceOf (device);
    if (iface != nullptr)
    {
        EXPECT_EQ ((*iface)->open (iface, 0), kIOReturnSuccess);
    }
    return iface;
}

void closeAndRelease (Interface iface)
{
    (*iface)->close (iface);
    (*iface)->Release (iface);
}

IOReturn write (Interface iface, IOHIDElementCookie cookie, const Bytes& data, int timeoutMs = 1000)
{
    IOHIDEventStruct event{};
    event.type = kIOHIDElementTypeOutput;
    event.elementCookie = cookie;
    event.longValueSize = (UInt32) data.size();
    event.longValue = const_cast<std::uint8_t*> (data.data());
    return (*iface)->setElementValue (iface, cookie, &event, (UInt32) timeoutMs, nullptr, nullptr, nullptr);
}

Bytes counting (size_t n)
{
    Bytes bytes (n);
    std::iota (bytes.begin(), bytes.end(), 1);
    return bytes;
}

//==============================================================================
struct Report
{
    Bytes bytes;
    UInt32 size;
    IOReturn result;
    void* sender;
    std::thread::id thread;
};

/** A device's reader thread, set up as the backend sets up its own: event
    source and report callback, then the thread's own run loop runs. */
class ReaderThread
{
public:
    using Hook = std::function<void (const Report&)>;

    explicit ReaderThread (Interface ifaceToUse, Hook hookToUse = nullptr)
        : iface (ifaceToUse)
        , hook (std::move (hookToUse))
    {
        thread = std::thread ([this] { run(); });
        std::unique_lock<std::mutex> held (lock);
        changed.wait_for (held, std::chrono::milliseconds (generousMs), [this] { return loop != nullptr; });
    }

    ~ReaderThread()
    {
        CFRunLoopRef toStop;
        {
            std::lock_guard<std::mutex> guard (lock);
            toStop = loop;
        }
        if (toStop != nullptr)
            stopper.stop (toStop);
        thread.join();
    }

    bool waitForReports (size_t count)
    {
        std::unique_lock<std::mutex> held (lock);
        return changed.wait_for (held, std::chrono::milliseconds (generousMs),
                                 [this, count] { return reports.size() >= count; });
    }

    std::vector<Report> reportsSoFar() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return reports;
    }

    std::thread::id id() const { return thread.get_id(); }

private:
    static void reportCallback (void*, IOReturn result, void* refcon, void* sender, UInt32 bufferSize)
    {
        auto* self = static_cast<ReaderThread*> (refcon);
        const Report report{ Bytes (self->buffer, self->buffer + bufferSize), bufferSize, result, sender,
                             std::this_thread::get_id() };
        if (self->hook)
            self->hook (report);
        {
            std::lock_guard<std::mutex> guard (self->lock);
            self->reports.push_back (report);
        }
        self->changed.notify_all();
    }

    void run()
    {
        CFRunLoopSourceRef source = nullptr;
        (*iface)->createAsyncEventSource (iface, &source);
        (*iface)->setInterruptReportHandlerCallback (iface, buffer, sizeof (buffer), reportCallback, nullptr,
                                                     this);
        CFRunLoopRef mine = CFRunLoopGetCurrent();
        CFRunLoopAddSource (mine, source, kCFRunLoopDefaultMode);
        stopper.addTo (mine);
        {
            std::lock_guard<std::mutex> guard (lock);
            loop = mine;
        }
        changed.notify_all();
        CFRunLoopRun();
    }

    const Interface iface;
    const Hook hook;
    std::uint8_t buffer[256];
    LoopStopper stopper;

    mutable std::mutex lock;
    std::condition_variable changed;
    CFRunLoopRef loop = nullptr;
    std::vector<Report> reports;
    std::thread thread;
};

//==============================================================================
TEST_F (IOKitTest, EnumerationListsEveryHidDeviceInPlugOrderWithItsProperties)
{
    plugEcho (namedDescription ("QM-KM3300", 0x7A3C, 0x6102));
    auto keyboard = namedDescription ("Sim Keyboard", 0x1234, 0x0042);
    keyboard.inputReportBytes = 8;
    keyboard.outputReportBytes = 1;
    plugEcho (keyboard);

    const auto services = matchingServices (IOServiceMatching (kIOHIDDeviceKey));
    ASSERT_EQ (services.size(), 2u);
    {
        PropertiesOf first (services[0]);
        EXPECT_EQ (first.number (kIOHIDVendorIDKey), 0x7A3C);
        EXPECT_EQ (first.number (kIOHIDProductIDKey), 0x6102);
        EXPECT_EQ (first.number (kIOHIDMaxInputReportSizeKey), 32);
        EXPECT_EQ (first.number (kIOHIDMaxOutputReportSizeKey), 32);
        EXPECT_EQ (first.text (kIOHIDProductKey), "QM-KM3300");
    }
    {
        PropertiesOf second (services[1]);
        EXPECT_EQ (second.number (kIOHIDVendorIDKey), 0x1234);
        EXPECT_EQ (second.number (kIOHIDMaxInputReportSizeKey), 8);
        EXPECT_EQ (second.number (kIOHIDMaxOutputReportSizeKey), 1);
    }
    releaseAll (services);

    const auto keyboards = matchingServices (matchingVendor (0x1234));
    ASSERT_EQ (keyboards.size(), 1u);
    EXPECT_EQ (PropertiesOf (keyboards[0]).number (kIOHIDProductIDKey), 0x0042);
    releaseAll (keyboards);

    EXPECT_TRUE (matchingServices (IOServiceMatching ("IOUSBDevice")).empty());
}

TEST_F (IOKitTest, ARegistryPathNamesTheBusPortAndGoesWithTheDevice)
{
    auto description = namedDescription ("QM-KM3800", 0x7A3C, 0x6109);
    description.port = 3;
    const auto device = plugEcho (description);
    const auto other = plugEcho (controllerDescription());

    io_service_t service = serviceOf (device);
    ASSERT_NE (service, IO_OBJECT_NULL);
    EXPECT_EQ (PropertiesOf (service).number (kIOHIDProductIDKey), 0x6109);

    io_string_t path;
    ASSERT_EQ (IORegistryEntryGetPath (service, kIOServicePlane, path), KERN_SUCCESS);
    const std::string text = path;
    EXPECT_EQ (text, simmac::registryPathOf (device));
    EXPECT_EQ (text.rfind ("IOService:/", 0), 0u) << text;
    EXPECT_NE (text.find ("/Port@3/QM-KM3800@3/"), std::string::npos) << text;
    EXPECT_NE (text, simmac::registryPathOf (other));
    EXPECT_NE (IORegistryEntryGetPath (service, "IODeviceTree", path), KERN_SUCCESS);

    bus().unplug (device);
    EXPECT_NE (IORegistryEntryGetPath (service, kIOServicePlane, path), KERN_SUCCESS);
    EXPECT_EQ (IORegistryEntryFromPath (kIOMasterPortDefault, text.c_str()), IO_OBJECT_NULL);
    EXPECT_EQ (simmac::registryPathOf (device), "");
    EXPECT_EQ (PropertiesOf (service).number (kIOHIDProductIDKey), 0x6109)
        << "a held service keeps its properties";
    IOObjectRelease (service);
}

TEST_F (IOKitTest, HandlesCountReferencesLikePortNames)
{
    const auto device = plugEcho (controllerDescription());
    io_service_t first = serviceOf (device);
    io_service_t second = serviceOf (device);
    EXPECT_EQ (first, second) << "one service, one name";

    const auto live = simmac::liveObjectHandles();
    EXPECT_EQ (IOObjectRelease (first), KERN_SUCCESS);
    EXPECT_EQ (simmac::liveObjectHandles(), live) << "one reference is left";
    EXPECT_EQ (IOObjectRelease (second), KERN_SUCCESS);
    EXPECT_EQ (simmac::liveObjectHandles(), live - 1);

    EXPECT_NE (IOObjectRelease (second), KERN_SUCCESS);
    EXPECT_EQ (simmac::invalidHandleUses(), invalidBefore + 1);
    invalidBefore = simmac::invalidHandleUses();
}

TEST_F (IOKitTest, TheDeviceInterfaceListsElementsAndWritesToTheDevice)
{
    auto description = controllerDescription();
    description.elements = { { 5, 1, 256 }, { 9, 129, 256 }, { 12, 257, 64 } };
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (description, &model);
    model->setEchoing (false);

    io_service_t service = serviceOf (device);
    IOCFPlugInInterface** plugIn = nullptr;
    SInt32 score = 0;
    ASSERT_EQ (IOCreatePlugInInterfaceForService (service, kIOHIDDeviceUserClientTypeID,
                                                  kIOCFPlugInInterfaceID, &plugIn, &score),
               KERN_SUCCESS);
    IOObjectRelease (service);
    Interface iface = nullptr;
    ASSERT_EQ (
        (*plugIn)->QueryInterface (plugIn, CFUUIDGetUUIDBytes (kIOHIDDeviceInterfaceID), (LPVOID*) &iface),
        S_OK);
    void* none = &score;
    EXPECT_EQ ((*plugIn)->QueryInterface (plugIn, CFUUIDGetUUIDBytes (kIOHIDDeviceUserClientTypeID), &none),
               E_NOINTERFACE);
    EXPECT_EQ (none, nullptr);
    (*plugIn)->Release (plugIn);

    ASSERT_EQ ((*iface)->open (iface, 0), kIOReturnSuccess);

    CFArrayRef elements = nullptr;
    ASSERT_EQ ((*iface)->copyMatchingElements (iface, nullptr, &elements), kIOReturnSuccess);
    ASSERT_EQ (CFArrayGetCount (elements), 3);
    for (CFIndex i = 0; i < 3; ++i)
    {
        auto element = (CFDictionaryRef) CFArrayGetValueAtIndex (elements, i);
        const auto& expected = description.elements[(size_t) i];
        EXPECT_EQ (numberIn (element, kIOHIDElementCookieKey), (SInt32) expected.cookie) << i;
        EXPECT_EQ (numberIn (element, kIOHIDElementTypeKey), expected.type) << i;
        EXPECT_EQ (numberIn (element, kIOHIDElementSizeKey), expected.sizeBits) << i;
    }
    CFRelease (elements);

    CFMutableDictionaryRef outputs = CFDictionaryCreateMutable (
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const SInt32 outputType = kIOHIDElementTypeOutput;
    CFNumberRef type = CFNumberCreate (kCFAllocatorDefault, kCFNumberSInt32Type, &outputType);
    CFDictionarySetValue (outputs, CFSTR (kIOHIDElementTypeKey), type);
    ASSERT_EQ ((*iface)->copyMatchingElements (iface, outputs, &elements), kIOReturnSuccess);
    ASSERT_EQ (CFArrayGetCount (elements), 1);
    EXPECT_EQ (numberIn ((CFDictionaryRef) CFArrayGetValueAtIndex (elements, 0), kIOHIDElementCookieKey), 9);
    CFRelease (elements);
    CFRelease (type);
    CFRelease (outputs);

    // A value shorter than the element goes out as it is.
    const Bytes report = counting (16);
    EXPECT_EQ (write (iface, 9, report), kIOReturnSuccess);
    EXPECT_EQ (model->received(), std::vector<Bytes>{ report });

    closeAndRelease (iface);
}

struct WriteCase
{
    const char* name;
    bool open;
    bool deviceRefuses;
    bool unplugged;
    IOHIDElementCookie cookie;
    IOReturn expected;
};

/** gtest prints a case by its name, not by its bytes. */
void PrintTo (const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriteOutcome : public IOKitTest, public testing::WithParamInterface<WriteCase>
{
};

TEST_P (WriteOutcome, SetElementValueSaysWhatBecameOfTheReport)
{
    const auto& c = GetParam();
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    model->setRefusing (c.deviceRefuses);
    Interface iface = c.open ? openInterfaceOf (device) : interfaceOf (device);
    ASSERT_NE (iface, nullptr);
    if (c.unplugged)
        bus().unplug (device);

    EXPECT_EQ (write (iface, c.cookie, counting (32), 50), c.expected);
    const bool delivered = c.expected == kIOReturnSuccess || c.expected == kIOReturnTimeout;
    EXPECT_EQ (model->received().size(), delivered ? 1u : 0u);
    closeAndRelease (iface);
}

INSTANTIATE_TEST_SUITE_P (
    IOKit, WriteOutcome,
    testing::Values (WriteCase{ "Taken", true, false, false, 2, kIOReturnSuccess },
                     WriteCase{ "RefusedUntilTheTimeOut", true, true, false, 2, kIOReturnTimeout },
                     WriteCase{ "DeviceGone", true, false, true, 2, kIOReturnNotAttached },
                     WriteCase{ "NotOpen", false, false, false, 2, kIOReturnNotOpen },
                     WriteCase{ "NotAnOutputElement", true, false, false, 1, kIOReturnBadArgument }),
    [] (const testing::TestParamInfo<WriteCase>& info) { return std::string (info.param.name); });

TEST_F (IOKitTest, OpeningFailsForADeviceThatRefusesOrHasGone)
{
    auto refusing = controllerDescription();
    refusing.canOpen = false;
    Interface iface = interfaceOf (plugEcho (refusing));
    ASSERT_NE (iface, nullptr);
    EXPECT_EQ ((*iface)->open (iface, 0), kIOReturnExclusiveAccess);
    (*iface)->Release (iface);

    const auto going = plugEcho (controllerDescription());
    io_service_t service = serviceOf (going);
    iface = makeInterface (service);
    ASSERT_NE (iface, nullptr);
    bus().unplug (going);
    EXPECT_EQ ((*iface)->open (iface, 0), kIOReturnNotAttached);
    (*iface)->Release (iface);
    EXPECT_EQ (makeInterface (service), nullptr) << "no plug-in for a service that is gone";
    IOObjectRelease (service);
}

TEST_F (IOKitTest, InputReportsComeOnTheReadersRunLoopThroughItsBuffer)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    Interface iface = openInterfaceOf (device);
    ASSERT_NE (iface, nullptr);
    {
        ReaderThread reader (iface);
        const Bytes out = counting (32);
        EXPECT_EQ (write (iface, 2, out), kIOReturnSuccess); // echoed straight back
        model->sendInput ({ 9, 8, 7 });

        ASSERT_TRUE (reader.waitForReports (2));
        const auto reports = reader.reportsSoFar();
        ASSERT_EQ (reports.size(), 2u);
        EXPECT_EQ (reports[0].bytes, out);
        EXPECT_EQ (reports[0].size, 32u);
        EXPECT_EQ (reports[1].bytes, (Bytes{ 9, 8, 7 }));
        for (const auto& r : reports)
        {
            EXPECT_EQ (r.thread, reader.id());
            EXPECT_EQ (r.result, kIOReturnSuccess);
            EXPECT_EQ (r.sender, (void*) iface);
        }
        closeAndRelease (iface);
    }
}

TEST_F (IOKitTest, AReportQueuedBeforeCloseIsNeverDelivered)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    Interface iface = openInterfaceOf (device);
    ASSERT_NE (iface, nullptr);
    {
        // The first report's callback queues a second one behind itself, then
        // closes the device before the second can be delivered.
        bool first = true;
        ReaderThread reader (iface,
                             [&] (const Report&)
                             {
                                 if (!std::exchange (first, false))
                                     return;
                                 model->sendInput ({ 2 });
                                 (*iface)->close (iface);
                             });
        model->sendInput ({ 1 });
        ASSERT_TRUE (reader.waitForReports (1));

        // Reopened, a new report comes; the queued one would have come first.
        ASSERT_EQ ((*iface)->open (iface, 0), kIOReturnSuccess);
        model->sendInput ({ 3 });
        ASSERT_TRUE (reader.waitForReports (2));
        const auto reports = reader.reportsSoFar();
        ASSERT_EQ (reports.size(), 2u);
        EXPECT_EQ (reports[0].bytes, Bytes{ 1 });
        EXPECT_EQ (reports[1].bytes, Bytes{ 3 });
        closeAndRelease (iface);
    }
}

TEST_F (IOKitTest, CloseAndReleaseDoNotWaitForARunningReportCallback)
{
    std::shared_ptr<EchoDevice> model;
    const auto device = plugEcho (controllerDescription(), &model);
    Interface iface = openInterfaceOf (device);
    ASSERT_NE (iface, nullptr);
    Event entered, released;
    std::atomic<bool> releasedDuringCallback{ false };
    {
        // The callback holds on until close and release have returned on
        // another thread; a close that waited for it would hang until the
        // callback gave up.
        ReaderThread reader (iface,
                             [&] (const Report&)
                             {
                                 entered.set();
                                 releasedDuringCallback = released.wait();
                             });
        std::thread closer (
            [&]
            {
                entered.wait();
                (*iface)->close (iface);
                (*iface)->Release (iface);
                released.set();
            });
        model->sendInput ({ 1 });
        closer.join();
        ASSERT_TRUE (reader.waitForReports (1));
        EXPECT_TRUE (releasedDuringCallback.load());
        EXPECT_EQ (simmac::openDeviceInterfaces(), 0u);
    }
}

//==============================================================================
struct ArrivalRecorder
{
    static void callback (void* refcon, io_iterator_t iterator)
    {
        auto* self = static_cast<ArrivalRecorder*> (refcon);
        ++self->calls;
        self->iterator = iterator;
        self->thread = std::this_thread::get_id();
    }

    // Touched on the message thread only.
    int calls = 0;
    io_iterator_t iterator = IO_OBJECT_NULL;
    std::thread::id thread;
};

/** Records terminations; may be called on a worker thread. */
struct TerminationRecorder
{
    static void callback (void* refcon, io_service_t service, natural_t messageType, void*)
    {
        auto* self = static_cast<TerminationRecorder*> (refcon);
        const SInt32 vendor = PropertiesOf (service).number (kIOHIDVendorIDKey);
        std::lock_guard<std::mutex> guard (self->lock);
        ++self->calls;
        self->message = messageType;
        self->vendor = vendor;
        self->thread = std::this_thread::get_id();
        if (self->releaseInCallback)
        {
            IOObjectRelease (self->notification);
            self->notification = IO_OBJECT_NULL;
        }
        self->done.set();
    }

    int count() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return calls;
    }

    mutable std::mutex lock;
    int calls = 0;
    natural_t message = 0;
    SInt32 vendor = 0;
    std::thread::id thread;
    bool releaseInCallback = false;
    io_object_t notification = IO_OBJECT_NULL;
    Event done;
};

kern_return_t watchTermination (IONotificationPortRef port, sim::DeviceId device,
                                TerminationRecorder& recorder)
{
    io_service_t service = serviceOf (device);
    const auto result = IOServiceAddInterestNotification (
        port, service, kIOGeneralInterest, TerminationRecorder::callback, &recorder, &recorder.notification);
    IOObjectRelease (service);
    return result;
}

/** A notification port whose source the message thread's run loop holds. */
IONotificationPortRef messageThreadPort()
{
    mach_port_t master = MACH_PORT_NULL;
    EXPECT_EQ (IOMasterPort (bootstrap_port, &master), KERN_SUCCESS);
    IONotificationPortRef port = IONotificationPortCreate (master);
    CFRunLoopAddSource (CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource (port),
                        kCFRunLoopDefaultMode);
    return port;
}

TEST_F (IOKitTest, FirstMatchArrivalsComeThroughThePortOncePerDrainedIterator)
{
    const auto present = plugEcho (namedDescription ("Present"));
    IONotificationPortRef port = messageThreadPort();
    ArrivalRecorder arrivals;
    io_iterator_t iterator = IO_OBJECT_NULL;
    ASSERT_EQ (IOServiceAddMatchingNotification (port, kIOFirstMatchNotification,
                                                 IOServiceMatching (kIOHIDDeviceKey),
                                                 ArrivalRecorder::callback, &arrivals, &iterator),
               KERN_SUCCESS);
    EXPECT_EQ (drainPaths (iterator), std::vector<std::string>{ simmac::registryPathOf (present) });

    const auto first = plugEcho (namedDescription ("First"));
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return arrivals.calls == 1; }));
    EXPECT_EQ (arrivals.iterator, iterator);
    EXPECT_EQ (arrivals.thread, std::this_thread::get_id());

    // Undrained, the iterator sends nothing for the next plug.  A termination
    // sent later through the same port shows that nothing came before it.
    const auto second = plugEcho (namedDescription ("Second"));
    TerminationRecorder marker;
    ASSERT_EQ (watchTermination (port, present, marker), KERN_SUCCESS);
    bus().unplug (present);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return marker.count() == 1; }));
    EXPECT_EQ (arrivals.calls, 1);

    EXPECT_EQ (drainPaths (iterator),
               (std::vector<std::string>{ simmac::registryPathOf (first), simmac::registryPathOf (second) }));
    const auto third = plugEcho (namedDescription ("Third"));
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return arrivals.calls == 2; }));
    EXPECT_EQ (drainPaths (iterator), std::vector<std::string>{ simmac::registryPathOf (third) });

    IOObjectRelease (marker.notification);
    IOObjectRelease (iterator);
    IONotificationPortDestroy (port);
}

TEST_F (IOKitTest, TerminationComesThroughThePortOnTheThreadWhoseLoopHoldsIt)
{
    const auto device = plugEcho (controllerDescription());
    IONotificationPortRef port = IONotificationPortCreate (kIOMasterPortDefault);
    std::atomic<CFRunLoopRef> loop{ nullptr };
    Event published;
    std::thread worker (
        [&]
        {
            CFRunLoopRef mine = CFRunLoopGetCurrent();
            CFRunLoopAddSource (mine, IONotificationPortGetRunLoopSource (port), kCFRunLoopDefaultMode);
            loop = mine;
            published.set();
            CFRunLoopRun();
        });
    ASSERT_TRUE (published.wait());

    TerminationRecorder recorder;
    recorder.releaseInCallback = true; // as the backend's handler does
    ASSERT_EQ (watchTermination (port, device, recorder), KERN_SUCCESS);
    bus().unplug (device);

    EXPECT_TRUE (recorder.done.wait());
    {
        std::lock_guard<std::mutex> guard (recorder.lock);
        EXPECT_EQ (recorder.calls, 1);
        EXPECT_EQ (recorder.message, (natural_t) kIOMessageServiceIsTerminated);
        EXPECT_EQ (recorder.vendor, 0x7A3C) << "the service is readable during the call";
        EXPECT_EQ (recorder.thread, worker.get_id());
    }

    CFRunLoopStop (loop);
    worker.join();
    IONotificationPortDestroy (port);
}

TEST_F (IOKitTest, AReleasedInterestNotificationSendsNothingMoreButWhatWasSentStillComes)
{
    const auto a = plugEcho (namedDescription ("A"));
    const auto b = plugEcho (namedDescription ("B"));
    const auto c = plugEcho (namedDescription ("C"));
    IONotificationPortRef port = messageThreadPort();
    TerminationRecorder forA, forB, forC;
    ASSERT_EQ (watchTermination (port, a, forA), KERN_SUCCESS);
    ASSERT_EQ (watchTermination (port, b, forB), KERN_SUCCESS);
    ASSERT_EQ (watchTermination (port, c, forC), KERN_SUCCESS);

    // A's notification goes before its device does: nothing is sent.  B's
    // goes after its message was queued: as on a Mac, the message still
    // comes, with the refcon it was sent with.  C's shows when all is in.
    IOObjectRelease (forA.notification);
    bus().unplug (a);
    bus().unplug (b);
    IOObjectRelease (forB.notification);
    bus().unplug (c);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return forC.count() == 1; }));
    EXPECT_EQ (forA.count(), 0);
    EXPECT_EQ (forB.count(), 1);
    EXPECT_EQ (forB.message, (natural_t) kIOMessageServiceIsTerminated);
    EXPECT_EQ (forB.vendor, 0x7A3C) << "the service is readable during the call";

    IOObjectRelease (forC.notification);
    IONotificationPortDestroy (port);
}

//==============================================================================
void noArrival (void*, io_iterator_t) {}
void noInterest (void*, io_service_t, natural_t, void*) {}

struct FaultCase
{
    const char* name;
    simmac::Call call;
    bool aboutAService;
    int usualCode;
    std::function<int (sim::DeviceId)> attempt; ///< makes the call and gives back what it made
};

/** gtest prints a case by its name, not by its bytes. */
void PrintTo (const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class FaultKnob : public IOKitTest, public testing::WithParamInterface<FaultCase>
{
};

TEST_P (FaultKnob, FailsTheCallAsOftenAndForWhomItIsTold)
{
    const auto& c = GetParam();
    const auto target = plugEcho (namedDescription ("Target"));
    const auto bystander = plugEcho (namedDescription ("Bystander"));
    ASSERT_EQ (c.attempt (target), 0) << "works without a fault";

    simmac::injectFault (c.call, { 1 });
    EXPECT_EQ (c.attempt (target), c.usualCode);
    EXPECT_EQ (c.attempt (target), 0) << "failed more than once";

    simmac::injectFault (c.call, { -1, target });
    EXPECT_EQ (c.attempt (bystander), c.aboutAService ? 0 : c.usualCode);
    EXPECT_EQ (c.attempt (target), c.usualCode);
    EXPECT_EQ (c.attempt (target), c.usualCode);

    simmac::injectFault (c.call, { -1, 0, 0x1234 });
    EXPECT_EQ (c.attempt (target), 0x1234);

    simmac::clearFaults();
    EXPECT_EQ (c.attempt (target), 0);
}

int attemptMasterPort (sim::DeviceId)
{
    mach_port_t master;
    return IOMasterPort (bootstrap_port, &master);
}

int attemptMatchingServices (sim::DeviceId)
{
    io_iterator_t iterator = IO_OBJECT_NULL;
    const int result =
        IOServiceGetMatchingServices (kIOMasterPortDefault, IOServiceMatching (kIOHIDDeviceKey), &iterator);
    if (result == KERN_SUCCESS)
    {
        releaseAll (drain (iterator));
        IOObjectRelease (iterator);
    }
    return result;
}

int attemptMatchingNotification (sim::DeviceId)
{
    IONotificationPortRef port = IONotificationPortCreate (kIOMasterPortDefault);
    io_iterator_t iterator = IO_OBJECT_NULL;
    const int result = IOServiceAddMatchingNotification (
        port, kIOFirstMatchNotification, IOServiceMatching (kIOHIDDeviceKey), noArrival, nullptr, &iterator);
    if (result == KERN_SUCCESS)
    {
        releaseAll (drain (iterator));
        IOObjectRelease (iterator);
    }
    IONotificationPortDestroy (port);
    return result;
}

int attemptInterestNotification (sim::DeviceId device)
{
    IONotificationPortRef port = IONotificationPortCreate (kIOMasterPortDefault);
    io_service_t service = serviceOf (device);
    io_object_t notification = IO_OBJECT_NULL;
    const int result = IOServiceAddInterestNotification (port, service, kIOGeneralInterest, noInterest,
                                                         nullptr, &notification);
    if (result == KERN_SUCCESS)
        IOObjectRelease (notification);
    IOObjectRelease (service);
    IONotificationPortDestroy (port);
    return result;
}

int attemptGetPath (sim::DeviceId device)
{
    io_service_t service = serviceOf (device);
    io_string_t path;
    const int result = IORegistryEntryGetPath (service, kIOServicePlane, path);
    IOObjectRelease (service);
    return result;
}

int attemptPlugIn (sim::DeviceId device)
{
    io_service_t service = serviceOf (device);
    IOCFPlugInInterface** plugIn = nullptr;
    SInt32 score;
    const int result = IOCreatePlugInInterfaceForService (service, kIOHIDDeviceUserClientTypeID,
                                                          kIOCFPlugInInterfaceID, &plugIn, &score);
    if (result == KERN_SUCCESS)
        IODestroyPlugInInterface (plugIn);
    IOObjectRelease (service);
    return result;
}

int attemptQueryInterface (sim::DeviceId device)
{
    io_service_t service = serviceOf (device);
    IOCFPlugInInterface** plugIn = nullptr;
    SInt32 score;
    EXPECT_EQ (IOCreatePlugInInterfaceForService (service, kIOHIDDeviceUserClientTypeID,
                                                  kIOCFPlugInInterfaceID, &plugIn, &score),
               KERN_SUCCESS);
    IOObjectRelease (service);
    Interface iface = nullptr;
    const HRESULT result =
        (*plugIn)->QueryInterface (plugIn, CFUUIDGetUUIDBytes (kIOHIDDeviceInterfaceID), (LPVOID*) &iface);
    if (result == S_OK)
        (*iface)->Release (iface);
    (*plugIn)->Release (plugIn);
    return result;
}

int attemptOpen (sim::DeviceId device)
{
    Interface iface = interfaceOf (device);
    const int result = (*iface)->open (iface, 0);
    closeAndRelease (iface);
    return result;
}

int attemptCopyElements (sim::DeviceId device)
{
    Interface iface = interfaceOf (device);
    CFArrayRef elements = nullptr;
    const int result = (*iface)->copyMatchingElements (iface, nullptr, &elements);
    if (result == kIOReturnSuccess)
        CFRelease (elements);
    (*iface)->Release (iface);
    return result;
}

INSTANTIATE_TEST_SUITE_P (
    IOKit, FaultKnob,
    testing::Values (FaultCase{ "MasterPort", simmac::Call::masterPort, false, KERN_FAILURE,
                                attemptMasterPort },
                     FaultCase{ "GetMatchingServices", simmac::Call::getMatchingServices, false,
                                kIOReturnNoResources, attemptMatchingServices },
                     FaultCase{ "AddMatchingNotification", simmac::Call::addMatchingNotification, false,
                                kIOReturnNoResources, attemptMatchingNotification },
                     FaultCase{ "AddInterestNotification", simmac::Call::addInterestNotification, true,
                                kIOReturnNoResources, attemptInterestNotification },
                     FaultCase{ "RegistryEntryGetPath", simmac::Call::registryEntryGetPath, true,
                                kIOReturnBadArgument, attemptGetPath },
                     FaultCase{ "CreatePlugInInterface", simmac::Call::createPlugInInterface, true,
                                kIOReturnNoResources, attemptPlugIn },
                     FaultCase{ "QueryInterface", simmac::Call::queryInterface, true, E_NOINTERFACE,
                                attemptQueryInterface },
                     FaultCase{ "Open", simmac::Call::open, true, kIOReturnExclusiveAccess, attemptOpen },
                     FaultCase{ "CopyMatchingElements", simmac::Call::copyMatchingElements, true,
                                kIOReturnNoMemory, attemptCopyElements }),
    [] (const testing::TestParamInfo<FaultCase>& info) { return std::string (info.param.name); });

TEST_F (IOKitTest, EditorsChangeWhatPropertiesAndElementsSay)
{
    const auto edited = plugEcho (namedDescription ("Edited"));
    const auto plain = plugEcho (namedDescription ("Plain"));
    simmac::setPropertyEditor (
        [edited] (sim::DeviceId device, CFMutableDictionaryRef properties)
        {
            if (device == edited)
                CFDictionaryRemoveValue (properties, CFSTR (kIOHIDVendorIDKey));
        });
    simmac::setElementEditor (
        [] (sim::DeviceId, CFIndex index, CFMutableDictionaryRef element)
        {
            if (index == 0)
                CFDictionaryRemoveValue (element, CFSTR (kIOHIDElementSizeKey));
            else
                CFDictionarySetValue (element, CFSTR (kIOHIDElementTypeKey), CFSTR ("Output"));
        });

    io_service_t service = serviceOf (edited);
    {
        PropertiesOf properties (service);
        EXPECT_EQ (properties.number (kIOHIDVendorIDKey), -1);
        EXPECT_EQ (properties.number (kIOHIDProductIDKey), 0x6102);
    }
    IOObjectRelease (service);
    const auto byVendor = matchingServices (matchingVendor (0x7A3C));
    ASSERT_EQ (byVendor.size(), 1u);
    EXPECT_EQ (pathOf (byVendor[0]), simmac::registryPathOf (plain));
    releaseAll (byVendor);

    Interface iface = interfaceOf (edited);
    CFArrayRef elements = nullptr;
    ASSERT_EQ ((*iface)->copyMatchingElements (iface, nullptr, &elements), kIOReturnSuccess);
    ASSERT_EQ (CFArrayGetCount (elements), 2);
    auto first = (CFDictionaryRef) CFArrayGetValueAtIndex (elements, 0);
    auto second = (CFDictionaryRef) CFArrayGetValueAtIndex (elements, 1);
    EXPECT_FALSE (CFDictionaryContainsKey (first, CFSTR (kIOHIDElementSizeKey)));
    EXPECT_EQ (numberIn (first, kIOHIDElementTypeKey), kIOHIDElementTypeInput_Misc);
    EXPECT_NE (CFGetTypeID (CFDictionaryGetValue (second, CFSTR (kIOHIDElementTypeKey))),
               CFNumberGetTypeID());
    CFRelease (elements);
    (*iface)->Release (iface);
}
} // namespace
