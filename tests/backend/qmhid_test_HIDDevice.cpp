// The test build's backend of qmhid::HIDDevice.  It opens two kinds of device:
// scripted stand-ins (identifiers "scripted:<n>") and the devices of the virtual
// HID bus (identifiers "bus:<id>"), such as the simulated controller.
//
// Its semantics follow the macOS backend where the two backends differ: get
// returns 4 when no report comes in time, send drops a report that arrived
// before it and get takes the newest report.  Arrivals of every bus device and
// removals of every bus device are reported on the JUCE message thread, after
// the first registration only.

#include "ScriptedDevice.h"
#include "TestBackend.h"

#include <VirtualHidBus.h>
#include <qmhid_HIDDevice.h>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace qmhid
{
DeviceNotificationCallback deviceNotificationCallback = nullptr;
void* deviceNotificationData = nullptr;

class DevImpl
{
public:
    virtual ~DevImpl()
    {
        if (handle != nullptr)
            handle->close(); // waits for a delivery in progress
    }

    /** The one-report slot: the newest input report nobody has taken. */
    void takeReport (const std::uint8_t* data, std::size_t len)
    {
        {
            std::lock_guard<std::mutex> guard (slotLock);
            std::memcpy (slot, data, std::min (len, sizeof (slot)));
            available = true;
        }
        slotCondition.notify_all();
    }

    std::shared_ptr<testbackend::ScriptedDevice> scripted;
    std::shared_ptr<sim::HostHandle> handle;
    std::string path;

    std::mutex slotLock;
    std::condition_variable slotCondition;
    std::uint8_t slot[256] = {};
    bool available = false;
};
} // namespace qmhid

namespace
{
std::atomic<int> liveDevices{ 0 };

struct ScriptedEntry
{
    std::weak_ptr<testbackend::ScriptedDevice> device;
    int vendorId;
    int productId;
};

std::mutex registryLock;
std::map<std::string, ScriptedEntry> scriptedDevices;
int nextScriptedNumber = 1;
/** The registry's size at which entries of devices that are gone are let go
    (doubling, so that a long run of opens costs constant time each). */
std::size_t pruneScriptedAt = 64;

const std::string busPrefix = "bus:";

std::string& pathOf (void* record)
{
    return *static_cast<std::string*> (record);
}

std::string busPath (sim::DeviceId id)
{
    return busPrefix + std::to_string (id);
}

/** Hands bus plugs and unplugs to the registered callback on the message thread. */
class NotificationRelay : public sim::BusObserver
{
public:
    void devicePlugged (sim::DeviceId id) override { post (0, id); }
    void deviceUnplugged (sim::DeviceId id) override { post (1, id); }

private:
    static void post (int kind, sim::DeviceId id)
    {
        juce::MessageManager::callAsync (
            [kind, id]
            {
                // The callback current at delivery decides; (NULL, NULL) drops it.
                if (qmhid::deviceNotificationCallback == nullptr)
                    return;
                qmhid::HIDDeviceIdentifier identifier;
                std::string path = busPath (id);
                identifier.init (path.data());
                qmhid::deviceNotificationCallback (kind, &identifier, qmhid::deviceNotificationData);
            });
    }
};

qmhid::HIDDevice* openBusDevice (sim::DeviceId id);
} // namespace

namespace qmhid
{
HIDDeviceIdentifier::HIDDeviceIdentifier()
    : record (new std::string())
{
}

HIDDeviceIdentifier::~HIDDeviceIdentifier()
{
    delete static_cast<std::string*> (record);
}

int HIDDeviceIdentifier::init (void* path)
{
    pathOf (record) = static_cast<const char*> (path);
    return 0;
}

void* HIDDeviceIdentifier::getData()
{
    return pathOf (record).data();
}

HIDDevice::HIDDevice()
    : impl (new DevImpl())
    , vendorId (0)
    , productId (0)
{
    ++liveDevices;
}

HIDDevice::~HIDDevice()
{
    if (impl->scripted != nullptr)
        impl->scripted->onRelease();
    delete impl;
    --liveDevices;
}

void HIDDevice::release()
{
    delete this;
}

int HIDDevice::send (const uint8* data, int len, int timeoutMs)
{
    if (impl->scripted != nullptr)
        return impl->scripted->onSend (data, len, timeoutMs);

    {
        // A report that came before this request is not its answer.
        std::lock_guard<std::mutex> guard (impl->slotLock);
        impl->available = false;
    }

    switch (impl->handle->write (data, (std::size_t) std::max (len, 0), timeoutMs))
    {
        case sim::HostHandle::WriteResult::ok:
            return 0;
        case sim::HostHandle::WriteResult::timedOut:
            return testbackend::writeTimeoutCode;
        case sim::HostHandle::WriteResult::gone:
            break;
    }
    return testbackend::goneCode;
}

int HIDDevice::get (uint8* buf, int len, int timeoutMs)
{
    if (impl->scripted != nullptr)
        return impl->scripted->onGet (buf, len, timeoutMs);

    std::unique_lock<std::mutex> guard (impl->slotLock);
    if (!impl->slotCondition.wait_for (guard, std::chrono::milliseconds (std::max (timeoutMs, 0)),
                                       [this] { return impl->available; }))
        return testbackend::timeoutCode;

    std::memcpy (buf, impl->slot, (std::size_t) std::clamp (len, 0, (int) sizeof (impl->slot)));
    impl->available = false;
    return 0;
}

bool HIDDevice::compare (HIDDeviceIdentifier* identifier)
{
    return !impl->path.empty() && impl->path == static_cast<const char*> (identifier->getData());
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
    devices->clear();
    auto& bus = sim::VirtualHidBus::instance();

    for (auto id : bus.devices())
    {
        const auto description = bus.describe (id);
        if (!description)
            continue;

        // A device is opened once, however many entries it matches.
        bool matches = false;
        for (int i = 0; i < count && !matches; ++i)
            matches = vendorIds[i] == description->vendorId &&
                      (productIds == nullptr || productIds[i] == description->productId);
        if (matches)
            if (auto* device = openBusDevice (id))
                devices->push_back (device);
    }

    return devices->empty() ? resultNotFound : resultOk;
}

int HIDDevice::findDevice (int vendorId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    return keepFirst (findDevice (&vendorId, nullptr, 1, &devices), devices, device);
}

#if QMHID_MAC_FLAVOUR
int HIDDevice::findDevice (int vendorId, int productId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    return keepFirst (findDevice (&vendorId, &productId, 1, &devices), devices, device);
}
#endif

int HIDDevice::createFrom (HIDDeviceIdentifier* identifier, HIDDevice** device)
{
    const std::string path = static_cast<const char*> (identifier->getData());

    if (path.rfind (busPrefix, 0) == 0)
    {
        sim::DeviceId id = 0;
        try
        {
            id = (sim::DeviceId) std::stoull (path.substr (busPrefix.size()));
        }
        catch (const std::exception&)
        {
            return resultNotFound;
        }

        auto& bus = sim::VirtualHidBus::instance();
        const auto description = bus.describe (id);
        auto handle = bus.open (id);
        if (!description || handle == nullptr)
            return resultNotFound;

        auto* opened = new HIDDevice();
        auto* record = opened->impl;
        record->path = path;
        record->handle = handle;
        handle->setInputHandler ([record] (const std::uint8_t* data, std::size_t len)
                                 { record->takeReport (data, len); });
        opened->vendorId = description->vendorId;
        opened->productId = description->productId;
        *device = opened;
        return resultOk;
    }

    std::lock_guard<std::mutex> guard (registryLock);
    const auto found = scriptedDevices.find (path);
    if (found == scriptedDevices.end())
        return resultNotFound;

    auto scripted = found->second.device.lock();
    if (scripted == nullptr || scripted->isUnplugged())
        return resultNotFound;

    auto* opened = new HIDDevice();
    opened->impl->scripted = std::move (scripted);
    opened->impl->path = path;
    opened->vendorId = found->second.vendorId;
    opened->productId = found->second.productId;
    *device = opened;
    return resultOk;
}

int HIDDevice::setDeviceNotificationCallback (DeviceNotificationCallback callback, void* userData)
{
    deviceNotificationCallback = callback;
    deviceNotificationData = userData;

    // The first call installs the relay, which then stays.
    static NotificationRelay* relay = []
    {
        auto* r = new NotificationRelay();
        sim::VirtualHidBus::instance().addObserver (r);
        return r;
    }();
    (void) relay;
    return 0;
}
} // namespace qmhid

namespace
{
qmhid::HIDDevice* openBusDevice (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    std::string path = busPath (id);
    identifier.init (path.data());
    qmhid::HIDDevice* device = nullptr;
    return qmhid::HIDDevice::createFrom (&identifier, &device) == 0 ? device : nullptr;
}
} // namespace

namespace testbackend
{
std::string addScriptedDevice (const std::shared_ptr<ScriptedDevice>& device, int vendorId, int productId)
{
    std::lock_guard<std::mutex> guard (registryLock);
    std::string path = "scripted:" + std::to_string (nextScriptedNumber++);
    // A gone device's path opens nothing, with or without its entry.
    if (scriptedDevices.size() >= pruneScriptedAt)
    {
        for (auto it = scriptedDevices.begin(); it != scriptedDevices.end();)
            it = it->second.device.expired() ? scriptedDevices.erase (it) : std::next (it);
        pruneScriptedAt = std::max<std::size_t> (64, 2 * scriptedDevices.size());
    }
    scriptedDevices[path] = { device, vendorId, productId };
    return path;
}

qmhid::HIDDevice* openScriptedDevice (const std::shared_ptr<ScriptedDevice>& device, int vendorId,
                                      int productId)
{
    std::string path = addScriptedDevice (device, vendorId, productId);
    qmhid::HIDDeviceIdentifier identifier;
    identifier.init (path.data());
    qmhid::HIDDevice* opened = nullptr;
    qmhid::HIDDevice::createFrom (&identifier, &opened);
    return opened;
}

std::string identifierPathOf (sim::DeviceId id)
{
    return busPath (id);
}

int openDeviceCount()
{
    return liveDevices.load();
}
} // namespace testbackend
