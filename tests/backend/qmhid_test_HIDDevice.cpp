// The test build's backend of qmhid::HIDDevice: devices are scripted stand-ins
// held in this process, named by identifiers of the form "scripted:<n>".
// Its get returns 4 when no report comes, like the macOS backend.

#include "ScriptedDevice.h"

#include <qmhid_HIDDevice.h>

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
    virtual ~DevImpl() = default;

    std::shared_ptr<testbackend::ScriptedDevice> scripted;
    std::string path;
};
} // namespace qmhid

namespace
{
struct ScriptedEntry
{
    std::weak_ptr<testbackend::ScriptedDevice> device;
    int vendorId;
    int productId;
};

std::mutex registryLock;
std::map<std::string, ScriptedEntry> scriptedDevices;
int nextScriptedNumber = 1;

std::string& pathOf (void* record)
{
    return *static_cast<std::string*> (record);
}
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
}

HIDDevice::~HIDDevice()
{
    if (impl->scripted != nullptr)
        impl->scripted->onRelease();
    delete impl;
}

void HIDDevice::release()
{
    delete this;
}

int HIDDevice::send (const uint8* data, int len, int timeoutMs)
{
    return impl->scripted->onSend (data, len, timeoutMs);
}

int HIDDevice::get (uint8* buf, int len, int timeoutMs)
{
    return impl->scripted->onGet (buf, len, timeoutMs);
}

bool HIDDevice::compare (HIDDeviceIdentifier* identifier)
{
    return !impl->path.empty() && impl->path == static_cast<const char*> (identifier->getData());
}

int HIDDevice::findDevice (const int*, const int*, int, std::vector<HIDDevice*>* devices)
{
    devices->clear();
    return resultNotFound;
}

int HIDDevice::findDevice (int vendorId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    const int code = findDevice (&vendorId, nullptr, 1, &devices);
    if (code != 0)
        return code;

    *device = devices.front();
    for (size_t i = 1; i < devices.size(); ++i)
        delete devices[i];
    return resultOk;
}

#if QMHID_MAC_FLAVOUR
int HIDDevice::findDevice (int vendorId, int productId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    const int code = findDevice (&vendorId, &productId, 1, &devices);
    if (code != 0)
        return code;

    *device = devices.front();
    for (size_t i = 1; i < devices.size(); ++i)
        delete devices[i];
    return resultOk;
}
#endif

int HIDDevice::createFrom (HIDDeviceIdentifier* identifier, HIDDevice** device)
{
    const std::string path = static_cast<const char*> (identifier->getData());

    std::lock_guard<std::mutex> guard (registryLock);
    const auto found = scriptedDevices.find (path);
    if (found == scriptedDevices.end())
        return resultNotFound;

    auto scripted = found->second.device.lock();
    if (scripted == nullptr)
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
    return 0;
}
} // namespace qmhid

namespace testbackend
{
qmhid::HIDDevice* openScriptedDevice (const std::shared_ptr<ScriptedDevice>& device, int vendorId,
                                      int productId)
{
    std::string path;
    {
        std::lock_guard<std::mutex> guard (registryLock);
        path = "scripted:" + std::to_string (nextScriptedNumber++);
        scriptedDevices[path] = { device, vendorId, productId };
    }

    qmhid::HIDDeviceIdentifier identifier;
    identifier.init (path.data());
    qmhid::HIDDevice* opened = nullptr;
    qmhid::HIDDevice::createFrom (&identifier, &opened);
    return opened;
}
} // namespace testbackend
