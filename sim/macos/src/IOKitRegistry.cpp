// IOKit's registry for the simulated macOS platform: services made from the
// virtual HID bus's devices, object handles, iterators, properties, paths,
// notification ports and the notifications delivered through them.

#include "CFInternal.h"
#include "IOKitInternal.h"

#include <IOKit/IOMessage.h>
#include <IOKit/hid/IOHIDKeys.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <optional>

// What an IONotificationPortRef points to.
struct IONotificationPort
{
    CFRunLoopSourceRef source;
};

namespace simio
{
namespace
{
class SnapshotIterator : public IOObject
{
public:
    std::vector<std::shared_ptr<Service>> services;
    size_t next = 0;
};

/** A first-match notification; also the iterator its callback drains. */
class MatchingNotification : public IOObject
{
public:
    MatchingNotification (CFRunLoopSourceRef sourceToUse, CFDictionaryRef matchingToOwn,
                          IOServiceMatchingCallback callbackToUse, void* refconToUse)
        : source ((CFRunLoopSourceRef) CFRetain (sourceToUse))
        , matching (matchingToOwn)
        , callback (callbackToUse)
        , refcon (refconToUse)
    {
    }

    ~MatchingNotification() override
    {
        CFRelease (matching);
        CFRelease (source);
    }

    void lastHandleReleased() override
    {
        cancelled = true;
        pending.clear();
    }

    const CFRunLoopSourceRef source;
    const CFDictionaryRef matching;
    const IOServiceMatchingCallback callback;
    void* const refcon;

    // Guarded by the registry lock.
    std::deque<std::shared_ptr<Service>> pending;
    /** Drained: the next match sends a callback. */
    bool armed = false;
    bool cancelled = false;
    io_object_t handle = 0;
};
} // namespace

class InterestNotification : public IOObject
{
public:
    InterestNotification (CFRunLoopSourceRef sourceToUse, std::shared_ptr<Service> serviceToUse,
                          bool isGeneral, IOServiceInterestCallback callbackToUse, void* refconToUse)
        : source ((CFRunLoopSourceRef) CFRetain (sourceToUse))
        , service (std::move (serviceToUse))
        , general (isGeneral)
        , callback (callbackToUse)
        , refcon (refconToUse)
    {
    }

    ~InterestNotification() override { CFRelease (source); }

    void lastHandleReleased() override { cancelled = true; }

    const CFRunLoopSourceRef source;
    const std::shared_ptr<Service> service;
    const bool general;
    const IOServiceInterestCallback callback;
    void* const refcon;

    bool cancelled = false; ///< guarded by the registry lock
};

namespace
{
constexpr mach_port_t masterPortName = 0xB03;

struct HandleEntry
{
    std::shared_ptr<IOObject> object;
    int userReferences;
};

/** Everything the registry lock guards.  Never destroyed: threads may use
    IOKit after the process's static objects have gone. */
struct World
{
    std::mutex lock;
    std::vector<std::shared_ptr<Service>> present; ///< in plug order
    std::vector<std::weak_ptr<MatchingNotification>> matchingNotifications;
    std::map<io_object_t, HandleEntry> handles;
    std::map<const IOObject*, io_object_t> handleOfObject;
    io_object_t nextHandle = 0x1003;
};

World& world()
{
    static auto* w = new World();
    return *w;
}

std::atomic<std::size_t> invalidUses{ 0 };

struct Knobs
{
    std::mutex lock;
    std::array<std::optional<simmac::Fault>, 9> faults;
    simmac::PropertyEditor propertyEditor;
    simmac::ElementEditor elementEditor;
};

Knobs& knobs()
{
    static auto* k = new Knobs();
    return *k;
}

int usualCode (simmac::Call call)
{
    switch (call)
    {
        case simmac::Call::masterPort:
            return KERN_FAILURE;
        case simmac::Call::registryEntryGetPath:
            return kIOReturnBadArgument;
        case simmac::Call::queryInterface:
            return E_NOINTERFACE;
        case simmac::Call::open:
            return kIOReturnExclusiveAccess;
        case simmac::Call::copyMatchingElements:
            return kIOReturnNoMemory;
        default:
            return kIOReturnNoResources;
    }
}

// The functions below want the registry lock held.

io_object_t addHandleReference (const std::shared_ptr<IOObject>& object)
{
    auto& w = world();
    auto known = w.handleOfObject.find (object.get());
    if (known != w.handleOfObject.end())
    {
        ++w.handles[known->second].userReferences;
        return known->second;
    }
    const io_object_t handle = w.nextHandle;
    w.nextHandle += 0x100;
    w.handles[handle] = { object, 1 };
    w.handleOfObject[object.get()] = handle;
    return handle;
}

std::shared_ptr<IOObject> lookUp (io_object_t handle)
{
    auto& w = world();
    auto found = w.handles.find (handle);
    if (found == w.handles.end())
    {
        noteInvalidHandle();
        return nullptr;
    }
    return found->second.object;
}

/** Drops one user reference; the object comes back when that was the last,
    to die once the lock is released. */
bool dropHandleReference (io_object_t handle, std::shared_ptr<IOObject>& last)
{
    auto& w = world();
    auto found = w.handles.find (handle);
    if (found == w.handles.end())
    {
        noteInvalidHandle();
        return false;
    }
    if (--found->second.userReferences == 0)
    {
        last = std::move (found->second.object);
        w.handles.erase (found);
        w.handleOfObject.erase (last.get());
        last->lastHandleReleased();
    }
    return true;
}

std::shared_ptr<Service> findPresent (sim::DeviceId device)
{
    for (auto& service : world().present)
        if (service->device == device)
            return service;
    return nullptr;
}

bool matches (CFDictionaryRef matching, const Service& service)
{
    const CFIndex count = CFDictionaryGetCount (matching);
    std::vector<const void*> keys ((size_t) count), values ((size_t) count);
    CFDictionaryGetKeysAndValues (matching, keys.data(), values.data());

    CFMutableDictionaryRef properties = nullptr;
    bool result = true;
    for (CFIndex i = 0; i < count && result; ++i)
    {
        if (CFGetTypeID (keys[(size_t) i]) != CFStringGetTypeID())
        {
            result = false;
        }
        else if (simcf::textOf ((CFStringRef) keys[(size_t) i]) == kIOProviderClassKey)
        {
            const auto* value = values[(size_t) i];
            const auto name =
                CFGetTypeID (value) == CFStringGetTypeID() ? simcf::textOf ((CFStringRef) value) : "";
            result = name == kIOHIDDeviceKey || name == "IOService";
        }
        else
        {
            if (properties == nullptr)
                properties = createProperties (service);
            const void* mine = CFDictionaryGetValue (properties, keys[(size_t) i]);
            result = mine != nullptr && CFEqual (mine, values[(size_t) i]);
        }
    }
    if (properties != nullptr)
        CFRelease (properties);
    return result;
}

void postArrival (const std::shared_ptr<MatchingNotification>& notification)
{
    std::weak_ptr<MatchingNotification> weak = notification;
    simcf::postToPortSource (notification->source,
                             [weak]
                             {
                                 IOServiceMatchingCallback callback;
                                 void* refcon;
                                 io_iterator_t iterator;
                                 {
                                     std::lock_guard<std::mutex> guard (world().lock);
                                     auto n = weak.lock();
                                     if (n == nullptr || n->cancelled)
                                         return;
                                     callback = n->callback;
                                     refcon = n->refcon;
                                     iterator = n->handle;
                                 }
                                 callback (refcon, iterator);
                             });
}

/** The message carries the callback, its refcon and the service: as on a Mac,
    releasing the notification after the message was sent does not take it
    back. */
void postTermination (const std::shared_ptr<InterestNotification>& notification)
{
    simcf::postToPortSource (
        notification->source,
        [callback = notification->callback, refcon = notification->refcon, target = notification->service]
        {
            io_service_t service;
            {
                // The callback's own reference of the service.
                std::lock_guard<std::mutex> guard (world().lock);
                service = addHandleReference (target);
            }
            callback (refcon, service, kIOMessageServiceIsTerminated, nullptr);
            std::shared_ptr<IOObject> last;
            {
                std::lock_guard<std::mutex> guard (world().lock);
                dropHandleReference (service, last);
            }
        });
}

void addService (sim::DeviceId device)
{
    auto& bus = sim::VirtualHidBus::instance();
    auto description = bus.describe (device);
    if (!description)
        return;

    std::lock_guard<std::mutex> guard (world().lock);
    // The news of a quick unplug can overtake that of the plug.
    if (findPresent (device) != nullptr || !bus.isPresent (device))
        return;

    auto service = std::make_shared<Service> (device, *description);
    world().present.push_back (service);

    auto& notifications = world().matchingNotifications;
    notifications.erase (std::remove_if (notifications.begin(), notifications.end(),
                                         [] (const std::weak_ptr<MatchingNotification>& n)
                                         { return n.expired(); }),
                         notifications.end());
    for (auto& weak : notifications)
    {
        auto n = weak.lock();
        if (n == nullptr || n->cancelled || !matches (n->matching, *service))
            continue;
        n->pending.push_back (service);
        if (n->armed)
        {
            n->armed = false;
            postArrival (n);
        }
    }
}

void removeService (sim::DeviceId device)
{
    std::shared_ptr<Service> service;
    std::lock_guard<std::mutex> guard (world().lock);
    auto& present = world().present;
    auto found = std::find_if (present.begin(), present.end(),
                               [device] (const std::shared_ptr<Service>& s) { return s->device == device; });
    if (found == present.end())
        return;
    service = *found;
    present.erase (found);
    service->terminated = true;
    for (auto& weak : service->interests)
    {
        auto n = weak.lock();
        if (n != nullptr && !n->cancelled && n->general)
            postTermination (n);
    }
}

class BusWatcher : public sim::BusObserver
{
public:
    void devicePlugged (sim::DeviceId id) override { addService (id); }
    void deviceUnplugged (sim::DeviceId id) override { removeService (id); }
};

/** Starts watching the bus on first use and takes in the devices already there. */
void connectBus()
{
    static const bool connected = []
    {
        // Never destroyed, like the registry it feeds.
        static auto* watcher = new BusWatcher();
        auto& bus = sim::VirtualHidBus::instance();
        bus.addObserver (watcher);
        for (auto id : bus.devices())
            addService (id);
        return true;
    }();
    (void) connected;
}

std::string makePath (const sim::DeviceDescription& description)
{
    std::string name = description.productName.empty() ? "HIDDevice" : description.productName;
    for (auto& c : name)
        if (c == '/' || c == ':' || c == '@')
            c = '_';
    const auto port = std::to_string (description.port);
    std::string path =
        "IOService:/SimPlatform/SimUSBHost@0/Port@" + port + "/" + name + "@" + port + "/IOHIDDevice";
    if (path.size() > 511)
        path.resize (511);
    return path;
}

void setNumber (CFMutableDictionaryRef dictionary, const char* key, std::int64_t value)
{
    CFNumberRef number = CFNumberCreate (kCFAllocatorDefault, kCFNumberSInt64Type, &value);
    CFDictionarySetValue (dictionary, __CFStringMakeConstantString (key), number);
    CFRelease (number);
}

void setString (CFMutableDictionaryRef dictionary, const char* key, const std::string& value)
{
    CFStringRef string =
        CFStringCreateWithCString (kCFAllocatorDefault, value.c_str(), kCFStringEncodingUTF8);
    CFDictionarySetValue (dictionary, __CFStringMakeConstantString (key), string);
    CFRelease (string);
}

CFMutableDictionaryRef newDictionary()
{
    return CFDictionaryCreateMutable (kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
}
} // namespace

Service::Service (sim::DeviceId deviceToUse, sim::DeviceDescription descriptionToUse)
    : device (deviceToUse)
    , description (std::move (descriptionToUse))
    , path (makePath (description))
{
}

std::mutex& registryLock()
{
    return world().lock;
}

std::shared_ptr<Service> serviceOf (io_object_t handle)
{
    connectBus();
    std::lock_guard<std::mutex> guard (world().lock);
    auto object = lookUp (handle);
    auto service = std::dynamic_pointer_cast<Service> (object);
    if (object != nullptr && service == nullptr)
        noteInvalidHandle();
    return service;
}

bool isAttached (const Service& service)
{
    std::lock_guard<std::mutex> guard (world().lock);
    return !service.terminated;
}

bool takeFault (simmac::Call call, sim::DeviceId device, int& code)
{
    auto& k = knobs();
    std::lock_guard<std::mutex> guard (k.lock);
    auto& fault = k.faults[(size_t) call];
    if (!fault || fault->times == 0 || (device != 0 && fault->device != 0 && fault->device != device))
        return false;
    code = fault->code != 0 ? fault->code : usualCode (call);
    if (fault->times > 0 && --fault->times == 0)
        fault.reset();
    return true;
}

CFMutableDictionaryRef createProperties (const Service& service)
{
    const auto& d = service.description;
    CFMutableDictionaryRef properties = newDictionary();
    setNumber (properties, kIOHIDVendorIDKey, d.vendorId);
    setNumber (properties, kIOHIDProductIDKey, d.productId);
    setNumber (properties, kIOHIDVersionNumberKey, 0x0100);
    setNumber (properties, kIOHIDMaxInputReportSizeKey, d.inputReportBytes);
    setNumber (properties, kIOHIDMaxOutputReportSizeKey, d.outputReportBytes);
    setNumber (properties, kIOHIDMaxFeatureReportSizeKey, 0);
    setNumber (properties, kIOHIDLocationIDKey, (std::int64_t) d.port << 24);
    setString (properties, kIOHIDProductKey, d.productName);
    setString (properties, kIOHIDTransportKey, "USB");
    setString (properties, kIOProviderClassKey, kIOHIDDeviceKey);

    simmac::PropertyEditor editor;
    {
        std::lock_guard<std::mutex> guard (knobs().lock);
        editor = knobs().propertyEditor;
    }
    if (editor)
        editor (service.device, properties);
    return properties;
}

CFMutableArrayRef createElements (const Service& service)
{
    simmac::ElementEditor editor;
    {
        std::lock_guard<std::mutex> guard (knobs().lock);
        editor = knobs().elementEditor;
    }

    CFMutableArrayRef elements = CFArrayCreateMutable (kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFIndex index = 0;
    for (const auto& e : service.description.effectiveElements())
    {
        CFMutableDictionaryRef element = newDictionary();
        setNumber (element, kIOHIDElementCookieKey, e.cookie);
        setNumber (element, kIOHIDElementTypeKey, e.type);
        setNumber (element, kIOHIDElementSizeKey, e.sizeBits);
        setNumber (element, kIOHIDElementReportIDKey, 0);
        setNumber (element, kIOHIDElementReportSizeKey, 8);
        setNumber (element, kIOHIDElementReportCountKey, e.sizeBits / 8);
        setNumber (element, kIOHIDElementUsagePageKey, 0xFF00);
        setNumber (element, kIOHIDElementUsageKey, 1);
        if (editor)
            editor (service.device, index, element);
        CFArrayAppendValue (elements, element);
        CFRelease (element);
        ++index;
    }
    return elements;
}

void noteInvalidHandle()
{
    ++invalidUses;
}
} // namespace simio

using simio::world;

// The functions keep the C linkage of their declarations.
mach_port_t bootstrap_port = 0x807;
const mach_port_t kIOMasterPortDefault = MACH_PORT_NULL;
const mach_port_t kIOMainPortDefault = MACH_PORT_NULL;

kern_return_t IOMasterPort (mach_port_t, mach_port_t* masterPort)
{
    int code;
    if (simio::takeFault (simmac::Call::masterPort, 0, code))
        return code;
    if (masterPort == nullptr)
        return KERN_INVALID_ARGUMENT;
    *masterPort = simio::masterPortName;
    return KERN_SUCCESS;
}

kern_return_t IOMainPort (mach_port_t bootstrapPort, mach_port_t* mainPort)
{
    return IOMasterPort (bootstrapPort, mainPort);
}

kern_return_t IOObjectRelease (io_object_t object)
{
    std::shared_ptr<simio::IOObject> last;
    std::lock_guard<std::mutex> guard (world().lock);
    return simio::dropHandleReference (object, last) ? KERN_SUCCESS : KERN_INVALID_ARGUMENT;
}

kern_return_t IOObjectRetain (io_object_t object)
{
    std::lock_guard<std::mutex> guard (world().lock);
    auto found = world().handles.find (object);
    if (found == world().handles.end())
    {
        simio::noteInvalidHandle();
        return KERN_INVALID_ARGUMENT;
    }
    ++found->second.userReferences;
    return KERN_SUCCESS;
}

io_object_t IOIteratorNext (io_iterator_t iterator)
{
    std::lock_guard<std::mutex> guard (world().lock);
    auto object = simio::lookUp (iterator);
    if (auto snapshot = std::dynamic_pointer_cast<simio::SnapshotIterator> (object))
    {
        if (snapshot->next >= snapshot->services.size())
            return IO_OBJECT_NULL;
        return simio::addHandleReference (snapshot->services[snapshot->next++]);
    }
    if (auto notification = std::dynamic_pointer_cast<simio::MatchingNotification> (object))
    {
        if (notification->pending.empty())
        {
            notification->armed = true;
            return IO_OBJECT_NULL;
        }
        auto service = std::move (notification->pending.front());
        notification->pending.pop_front();
        return simio::addHandleReference (service);
    }
    if (object != nullptr)
        simio::noteInvalidHandle();
    return IO_OBJECT_NULL;
}

void IOIteratorReset (io_iterator_t iterator)
{
    std::lock_guard<std::mutex> guard (world().lock);
    if (auto snapshot = std::dynamic_pointer_cast<simio::SnapshotIterator> (simio::lookUp (iterator)))
        snapshot->next = 0;
}

boolean_t IOIteratorIsValid (io_iterator_t iterator)
{
    std::lock_guard<std::mutex> guard (world().lock);
    return simio::lookUp (iterator) != nullptr;
}

CFMutableDictionaryRef IOServiceMatching (const char* name)
{
    if (name == nullptr)
        return nullptr;
    CFMutableDictionaryRef matching = simio::newDictionary();
    simio::setString (matching, kIOProviderClassKey, name);
    return matching;
}

kern_return_t IOServiceGetMatchingServices (mach_port_t, CFDictionaryRef matching, io_iterator_t* existing)
{
    if (matching == nullptr)
        return kIOReturnBadArgument;
    simio::connectBus();
    int code = kIOReturnBadArgument;
    if (existing == nullptr || simio::takeFault (simmac::Call::getMatchingServices, 0, code))
    {
        CFRelease (matching);
        return code;
    }
    {
        std::lock_guard<std::mutex> guard (world().lock);
        auto iterator = std::make_shared<simio::SnapshotIterator>();
        for (auto& service : world().present)
            if (simio::matches (matching, *service))
                iterator->services.push_back (service);
        *existing = simio::addHandleReference (iterator);
    }
    CFRelease (matching);
    return KERN_SUCCESS;
}

io_service_t IOServiceGetMatchingService (mach_port_t masterPort, CFDictionaryRef matching)
{
    io_iterator_t iterator = IO_OBJECT_NULL;
    if (IOServiceGetMatchingServices (masterPort, matching, &iterator) != KERN_SUCCESS)
        return IO_OBJECT_NULL;
    const io_service_t first = IOIteratorNext (iterator);
    IOObjectRelease (iterator);
    return first;
}

kern_return_t IORegistryEntryCreateCFProperties (io_registry_entry_t entry,
                                                 CFMutableDictionaryRef* properties, CFAllocatorRef,
                                                 IOOptionBits)
{
    auto service = simio::serviceOf (entry);
    if (service == nullptr || properties == nullptr)
        return kIOReturnBadArgument;
    *properties = simio::createProperties (*service);
    return KERN_SUCCESS;
}

CFTypeRef IORegistryEntryCreateCFProperty (io_registry_entry_t entry, CFStringRef key, CFAllocatorRef,
                                           IOOptionBits)
{
    auto service = simio::serviceOf (entry);
    if (service == nullptr || key == nullptr)
        return nullptr;
    CFMutableDictionaryRef properties = simio::createProperties (*service);
    CFTypeRef value = CFDictionaryGetValue (properties, key);
    if (value != nullptr)
        CFRetain (value);
    CFRelease (properties);
    return value;
}

kern_return_t IORegistryEntryGetPath (io_registry_entry_t entry, const io_name_t plane, io_string_t path)
{
    auto service = simio::serviceOf (entry);
    if (service == nullptr || plane == nullptr || path == nullptr)
        return kIOReturnBadArgument;
    int code;
    if (simio::takeFault (simmac::Call::registryEntryGetPath, service->device, code))
        return code;
    if (std::strcmp (plane, kIOServicePlane) != 0)
        return kIOReturnBadArgument;
    if (!simio::isAttached (*service))
        return kIOReturnNotAttached;
    std::memcpy (path, service->path.c_str(), service->path.size() + 1);
    return KERN_SUCCESS;
}

io_registry_entry_t IORegistryEntryFromPath (mach_port_t, const io_string_t path)
{
    if (path == nullptr)
        return IO_OBJECT_NULL;
    simio::connectBus();
    std::lock_guard<std::mutex> guard (world().lock);
    for (auto& service : world().present)
        if (service->path == path)
            return simio::addHandleReference (service);
    return IO_OBJECT_NULL;
}

IONotificationPortRef IONotificationPortCreate (mach_port_t)
{
    return new IONotificationPort{ simcf::createPortSource() };
}

void IONotificationPortDestroy (IONotificationPortRef notify)
{
    if (notify == nullptr)
        return;
    CFRunLoopSourceInvalidate (notify->source);
    CFRelease (notify->source);
    delete notify;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource (IONotificationPortRef notify)
{
    return notify != nullptr ? notify->source : nullptr;
}

kern_return_t IOServiceAddMatchingNotification (IONotificationPortRef notifyPort,
                                                const io_name_t notificationType, CFDictionaryRef matching,
                                                IOServiceMatchingCallback callback, void* refCon,
                                                io_iterator_t* notification)
{
    if (matching == nullptr)
        return kIOReturnBadArgument;
    simio::connectBus();
    int code = kIOReturnBadArgument;
    if (simio::takeFault (simmac::Call::addMatchingNotification, 0, code) || notifyPort == nullptr ||
        notificationType == nullptr || callback == nullptr || notification == nullptr)
    {
        CFRelease (matching);
        return code;
    }
    if (std::strcmp (notificationType, kIOFirstMatchNotification) != 0 &&
        std::strcmp (notificationType, kIOMatchedNotification) != 0)
    {
        CFRelease (matching);
        return kIOReturnUnsupported;
    }

    auto n = std::make_shared<simio::MatchingNotification> (notifyPort->source, matching, callback, refCon);
    std::lock_guard<std::mutex> guard (world().lock);
    // Like a Mac's, the iterator starts with the services there now, and the
    // notification is armed once the caller has drained it.
    for (auto& service : world().present)
        if (simio::matches (matching, *service))
            n->pending.push_back (service);
    n->handle = simio::addHandleReference (n);
    world().matchingNotifications.push_back (n);
    *notification = n->handle;
    return KERN_SUCCESS;
}

kern_return_t IOServiceAddInterestNotification (IONotificationPortRef notifyPort, io_service_t service,
                                                const io_name_t interestType,
                                                IOServiceInterestCallback callback, void* refCon,
                                                io_object_t* notification)
{
    auto s = simio::serviceOf (service);
    if (s == nullptr)
        return kIOReturnBadArgument;
    int code;
    if (simio::takeFault (simmac::Call::addInterestNotification, s->device, code))
        return code;
    if (notifyPort == nullptr || interestType == nullptr || callback == nullptr || notification == nullptr)
        return kIOReturnBadArgument;

    auto n = std::make_shared<simio::InterestNotification> (
        notifyPort->source, s, std::strcmp (interestType, kIOGeneralInterest) == 0, callback, refCon);
    std::lock_guard<std::mutex> guard (world().lock);
    if (s->terminated)
        return kIOReturnNotAttached;
    auto& interests = s->interests;
    interests.erase (std::remove_if (interests.begin(), interests.end(),
                                     [] (const std::weak_ptr<simio::InterestNotification>& i)
                                     { return i.expired(); }),
                     interests.end());
    interests.push_back (n);
    *notification = simio::addHandleReference (n);
    return KERN_SUCCESS;
}

namespace simmac
{
void injectFault (Call call, Fault fault)
{
    auto& k = simio::knobs();
    std::lock_guard<std::mutex> guard (k.lock);
    k.faults[(size_t) call] = fault;
}

void clearFaults()
{
    auto& k = simio::knobs();
    std::lock_guard<std::mutex> guard (k.lock);
    for (auto& fault : k.faults)
        fault.reset();
    k.propertyEditor = nullptr;
    k.elementEditor = nullptr;
}

void setPropertyEditor (PropertyEditor editor)
{
    auto& k = simio::knobs();
    std::lock_guard<std::mutex> guard (k.lock);
    k.propertyEditor = std::move (editor);
}

void setElementEditor (ElementEditor editor)
{
    auto& k = simio::knobs();
    std::lock_guard<std::mutex> guard (k.lock);
    k.elementEditor = std::move (editor);
}

std::string registryPathOf (sim::DeviceId device)
{
    simio::connectBus();
    std::lock_guard<std::mutex> guard (world().lock);
    auto service = simio::findPresent (device);
    return service != nullptr ? service->path : std::string();
}

std::size_t liveObjectHandles()
{
    std::lock_guard<std::mutex> guard (world().lock);
    return world().handles.size();
}

std::size_t invalidHandleUses()
{
    return simio::invalidUses.load();
}
} // namespace simmac
