// The HID interfaces of the simulated Windows platform: the bus observer that
// keeps the stand-in's devices, their interface paths, SetupAPI's device
// information sets over them and HID.DLL's attributes and capabilities.

#include "IoInternal.h"

#include <hidsdi.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <set>

/** The preparsed data of one opened interface: what HidP_GetCaps reads. */
struct _HIDP_PREPARSED_DATA
{
    HIDP_CAPS caps;
    sim::DeviceId device;
};

namespace simwin::detail
{
const GUID hidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, { 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30 }
};

namespace
{
/** The HIDClass setup class, {745A17A0-74D3-11D0-B6FE-00A0C90F57DA}. */
const GUID hidSetupClass = { 0x745A17A0, 0x74D3, 0x11D0, { 0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA } };

sim::VirtualHidBus& bus()
{
    return sim::VirtualHidBus::instance();
}

/** The instance names the port, so that a device plugged back into the same
    port comes back under the same path, as a USB device does on Windows. */
std::wstring pathFor (const sim::DeviceDescription& description, bool asNotified)
{
    wchar_t text[128];
    std::swprintf (
        text, sizeof (text) / sizeof (text[0]),
        asNotified ? L"\\\\?\\HID#VID_%04X&PID_%04X#8&%08X&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"
                   : L"\\\\?\\hid#vid_%04x&pid_%04x#8&%08x&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        (unsigned) description.vendorId, (unsigned) description.productId, (unsigned) description.port);
    return text;
}

struct DeviceInfoSet
{
    struct Element
    {
        std::wstring path;
        sim::DeviceId device;
        bool present;
    };

    std::vector<Element> elements;
};

/** Guarded by io().lock, like everything else here. */
std::set<DeviceInfoSet*>& liveSets()
{
    static auto* sets = new std::set<DeviceInfoSet*>();
    return *sets;
}

std::set<_HIDP_PREPARSED_DATA*>& livePreparsed()
{
    static auto* preparsed = new std::set<_HIDP_PREPARSED_DATA*>();
    return *preparsed;
}

DeviceInfoSet* setOf (HDEVINFO handle)
{
    auto* set = static_cast<DeviceInfoSet*> (handle);
    if (liveSets().count (set) == 0)
    {
        noteInvalidHandle (handle);
        return nullptr;
    }
    return set;
}

const DeviceInfoSet::Element* elementOf (const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA& data)
{
    for (auto& element : set.elements)
        if (data.Reserved == (ULONG_PTR) &element)
            return &element;
    return nullptr;
}

HIDP_CAPS capsOf (const DeviceState& device)
{
    HIDP_CAPS caps{};
    caps.Usage = device.traits.usage;
    caps.UsagePage = device.traits.usagePage;
    caps.InputReportByteLength = (USHORT) device.inputLength();
    caps.OutputReportByteLength = (USHORT) device.outputLength();
    caps.NumberLinkCollectionNodes = 1;

    int featureBits = 0;
    for (auto& element : device.description.effectiveElements())
    {
        switch (element.type)
        {
            case 1:
            case 3:
                ++caps.NumberInputValueCaps;
                ++caps.NumberInputDataIndices;
                break;
            case 2:
                ++caps.NumberInputButtonCaps;
                ++caps.NumberInputDataIndices;
                break;
            case 129:
                ++caps.NumberOutputValueCaps;
                ++caps.NumberOutputDataIndices;
                break;
            case 257:
                ++caps.NumberFeatureValueCaps;
                ++caps.NumberFeatureDataIndices;
                featureBits += element.sizeBits;
                break;
            default:
                break;
        }
    }
    caps.FeatureReportByteLength = (USHORT) (featureBits > 0 ? (featureBits + 7) / 8 + 1 : 0);
    return caps;
}

/** The device of an open file handle, for HID.DLL; null (and the last error
    set) when the handle is not one. */
std::shared_ptr<DeviceState> deviceOfHandle (HANDLE handle)
{
    auto file = objectOf<FileObject> (handle);
    if (file == nullptr)
    {
        noteInvalidHandle (handle);
        setLastError (ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return file->device;
}

class Observer final : public sim::BusObserver
{
public:
    void devicePlugged (sim::DeviceId id) override
    {
        std::wstring path;
        {
            std::lock_guard<std::mutex> guard (io().lock);
            const auto device = deviceState (id);
            if (device == nullptr)
                return;
            path = device->notifiedPath;
        }
        deviceInterfaceChanged (true, path);
    }

    void deviceUnplugged (sim::DeviceId id) override
    {
        std::wstring path;
        {
            auto& world = io();
            std::lock_guard<std::mutex> guard (world.lock);
            const auto found = world.devices.find (id);
            if (found == world.devices.end() || !found->second->present)
                return;
            found->second->present = false;
            endTransfersOfRemovedDevice (*found->second);
            path = found->second->notifiedPath;
        }
        deviceInterfaceChanged (false, path);
    }
};
} // namespace

std::shared_ptr<DeviceState> deviceState (sim::DeviceId id)
{
    auto& world = io();
    const auto found = world.devices.find (id);
    if (found != world.devices.end())
        return found->second;

    const auto description = bus().describe (id);
    if (!description.has_value())
        return nullptr;
    auto device = std::make_shared<DeviceState>();
    device->id = id;
    device->description = *description;
    device->path = pathFor (*description, false);
    device->notifiedPath = pathFor (*description, true);

    // The interface of a device that went stays registered until a device
    // takes its path again; then the new device is the one the path names.
    // Handles still open on the one that went keep its record.
    for (auto it = world.devices.begin(); it != world.devices.end();)
    {
        if (!it->second->present && equalIgnoringCase (it->second->path, device->path))
        {
            world.retiredDevices[world.retiredCount++ % world.retiredDevices.size()] = {
                it->first, it->second->description.vendorId, it->second->description.productId,
                it->second->description.port
            };
            it = world.devices.erase (it);
        }
        else
        {
            ++it;
        }
    }
    world.devices.emplace (id, device);
    return device;
}

std::wstring pathOfRetiredDevice (sim::DeviceId id, bool asNotified)
{
    for (const auto& retired : io().retiredDevices)
    {
        if (retired.id == id && id != 0)
        {
            sim::DeviceDescription description;
            description.vendorId = retired.vendorId;
            description.productId = retired.productId;
            description.port = retired.port;
            return pathFor (description, asNotified);
        }
    }
    return {};
}

void ensureDevicesKnown()
{
    static std::once_flag installed;
    std::call_once (installed,
                    []
                    {
                        // Never removed: the bus outlives every caller.
                        static auto* observer = new Observer();
                        bus().addObserver (observer);
                        std::lock_guard<std::mutex> guard (io().lock);
                        for (auto id : bus().devices())
                            deviceState (id);
                    });
}

namespace
{
// The system watches the bus from the start, so that interfaces that come
// and go before anyone asks stay registered.
[[maybe_unused]] const bool watchingFromTheStart = (ensureDevicesKnown(), true);
} // namespace
} // namespace simwin::detail

using namespace simwin::detail;

//==============================================================================
// The test API's share

namespace simwin
{
void setDeviceTraits (sim::DeviceId device, const DeviceTraits& traits)
{
    ensureDevicesKnown();
    std::lock_guard<std::mutex> guard (io().lock);
    if (auto state = deviceState (device))
        state->traits = traits;
}

std::wstring interfacePathOf (sim::DeviceId device)
{
    ensureDevicesKnown();
    std::lock_guard<std::mutex> guard (io().lock);
    const auto state = deviceState (device);
    return state != nullptr ? state->path : pathOfRetiredDevice (device, false);
}

std::wstring notifiedPathOf (sim::DeviceId device)
{
    ensureDevicesKnown();
    std::lock_guard<std::mutex> guard (io().lock);
    const auto state = deviceState (device);
    return state != nullptr ? state->notifiedPath : pathOfRetiredDevice (device, true);
}

std::size_t deviceRecords()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return io().devices.size();
}

std::size_t liveDeviceInfoSets()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return liveSets().size();
}

std::size_t livePreparsedData()
{
    std::lock_guard<std::mutex> guard (io().lock);
    return livePreparsed().size();
}
} // namespace simwin

//==============================================================================
// SetupAPI

HDEVINFO WINAPI SetupDiGetClassDevsW (const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags)
{
    ensureDevicesKnown();
    DWORD code = 0;
    if (faultStrikes (simwin::Call::setupDiGetClassDevs, 0, ERROR_NOT_ENOUGH_MEMORY, code))
    {
        setLastError (code);
        return INVALID_HANDLE_VALUE;
    }
    if (ClassGuid == nullptr && (Flags & DIGCF_ALLCLASSES) == 0)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    auto* set = new DeviceInfoSet();
    auto& world = io();
    std::lock_guard<std::mutex> guard (world.lock);

    // Without DIGCF_DEVICEINTERFACE the GUID names a setup class, and the HID
    // interface class is none: the set is empty.
    const bool hidInterfaces = (Flags & DIGCF_DEVICEINTERFACE) != 0 &&
                               ((Flags & DIGCF_ALLCLASSES) != 0 || *ClassGuid == hidInterfaceClass) &&
                               (Enumerator == nullptr || _wcsicmp (Enumerator, L"HID") == 0);
    if (hidInterfaces && (Flags & DIGCF_PRESENT) != 0)
    {
        for (auto id : bus().devices())
            if (auto device = deviceState (id); device != nullptr && device->present)
                set->elements.push_back ({ device->path, id, true });
    }
    else if (hidInterfaces)
    {
        // Interfaces of devices that have gone stay registered: one element
        // per path, for its latest device.
        for (auto& entry : world.devices)
        {
            const auto id = entry.first;
            const auto& device = entry.second;
            auto same = std::find_if (set->elements.begin(), set->elements.end(),
                                      [&] (const DeviceInfoSet::Element& e)
                                      { return equalIgnoringCase (e.path, device->path); });
            if (same == set->elements.end())
                set->elements.push_back ({ device->path, id, device->present });
            else
                *same = { device->path, id, device->present };
        }
    }

    liveSets().insert (set);
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces (HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                         const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                         PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData)
{
    std::lock_guard<std::mutex> guard (io().lock);
    auto* set = setOf (DeviceInfoSet);
    if (set == nullptr)
    {
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Filtering by one device of the set is not supported.
    if (DeviceInterfaceData == nullptr || InterfaceClassGuid == nullptr || DeviceInfoData != nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DeviceInterfaceData->cbSize != sizeof (SP_DEVICE_INTERFACE_DATA))
    {
        setLastError (ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (*InterfaceClassGuid != hidInterfaceClass || MemberIndex >= set->elements.size())
    {
        setLastError (ERROR_NO_MORE_ITEMS);
        return FALSE;
    }

    const auto& element = set->elements[MemberIndex];
    DeviceInterfaceData->InterfaceClassGuid = hidInterfaceClass;
    DeviceInterfaceData->Flags = element.present ? SPINT_ACTIVE : 0;
    DeviceInterfaceData->Reserved = (ULONG_PTR) &element;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW (HDEVINFO DeviceInfoSet,
                                              PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                              PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                              DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                              PSP_DEVINFO_DATA DeviceInfoData)
{
    std::lock_guard<std::mutex> guard (io().lock);
    auto* set = setOf (DeviceInfoSet);
    if (set == nullptr)
    {
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (DeviceInterfaceData == nullptr || DeviceInterfaceData->cbSize != sizeof (SP_DEVICE_INTERFACE_DATA))
    {
        setLastError (DeviceInterfaceData == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    const auto* element = elementOf (*set, *DeviceInterfaceData);
    if (element == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    DWORD code = 0;
    if (faultStrikes (simwin::Call::setupDiGetDeviceInterfaceDetail, element->device, ERROR_NOT_ENOUGH_MEMORY,
                      code))
    {
        setLastError (code);
        return FALSE;
    }

    // The detail block's cbSize is that of the fixed part, whatever the
    // block's length, as on 64-bit Windows (8).
    if (DeviceInterfaceDetailData != nullptr
            ? DeviceInterfaceDetailDataSize < sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W) ||
                  DeviceInterfaceDetailData->cbSize != sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W)
            : DeviceInterfaceDetailDataSize != 0)
    {
        setLastError (ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof (SP_DEVINFO_DATA))
    {
        setLastError (ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }

    const DWORD required = (DWORD) (offsetof (SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                    (element->path.size() + 1) * sizeof (WCHAR));
    if (RequiredSize != nullptr)
        *RequiredSize = required;
    if (DeviceInterfaceDetailDataSize < required)
    {
        setLastError (ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    std::wmemcpy (DeviceInterfaceDetailData->DevicePath, element->path.c_str(), element->path.size() + 1);
    if (DeviceInfoData != nullptr)
    {
        DeviceInfoData->ClassGuid = hidSetupClass;
        DeviceInfoData->DevInst = (DWORD) element->device;
        DeviceInfoData->Reserved = 0;
    }
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList (HDEVINFO DeviceInfoSet)
{
    std::lock_guard<std::mutex> guard (io().lock);
    auto* set = setOf (DeviceInfoSet);
    if (set == nullptr)
    {
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    liveSets().erase (set);
    delete set;
    return TRUE;
}

//==============================================================================
// HID.DLL

void NTAPI HidD_GetHidGuid (LPGUID HidGuid)
{
    if (HidGuid != nullptr)
        *HidGuid = hidInterfaceClass;
}

BOOLEAN NTAPI HidD_GetAttributes (HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes)
{
    std::lock_guard<std::mutex> guard (io().lock);
    const auto device = deviceOfHandle (HidDeviceObject);
    if (device == nullptr)
        return FALSE;
    DWORD code = 0;
    if (faultStrikes (simwin::Call::hidDGetAttributes, device->id, ERROR_GEN_FAILURE, code))
    {
        setLastError (code);
        return FALSE;
    }
    if (!device->present)
    {
        setLastError (ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if (Attributes == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Attributes->Size = sizeof (HIDD_ATTRIBUTES);
    Attributes->VendorID = device->description.vendorId;
    Attributes->ProductID = device->description.productId;
    Attributes->VersionNumber = device->traits.versionNumber;
    return TRUE;
}

BOOLEAN NTAPI HidD_FlushQueue (HANDLE HidDeviceObject)
{
    std::lock_guard<std::mutex> guard (io().lock);
    const auto file = objectOf<FileObject> (HidDeviceObject);
    if (file == nullptr)
    {
        noteInvalidHandle (HidDeviceObject);
        setLastError (ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD code = 0;
    if (faultStrikes (simwin::Call::hidDFlushQueue, file->device->id, ERROR_GEN_FAILURE, code))
    {
        setLastError (code);
        return FALSE;
    }
    if (!file->device->present)
    {
        setLastError (ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    file->inputQueue.clear();
    return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData (HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData)
{
    std::lock_guard<std::mutex> guard (io().lock);
    const auto device = deviceOfHandle (HidDeviceObject);
    if (device == nullptr)
        return FALSE;
    DWORD code = 0;
    if (faultStrikes (simwin::Call::hidDGetPreparsedData, device->id, ERROR_GEN_FAILURE, code))
    {
        setLastError (code);
        return FALSE;
    }
    if (!device->present)
    {
        setLastError (ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if (PreparsedData == nullptr)
    {
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* data = new _HIDP_PREPARSED_DATA{ capsOf (*device), device->id };
    livePreparsed().insert (data);
    *PreparsedData = data;
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData (PHIDP_PREPARSED_DATA PreparsedData)
{
    std::lock_guard<std::mutex> guard (io().lock);
    if (livePreparsed().erase (PreparsedData) == 0)
    {
        noteInvalidHandle (PreparsedData);
        setLastError (ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    delete PreparsedData;
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps (PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities)
{
    std::lock_guard<std::mutex> guard (io().lock);
    if (livePreparsed().count (PreparsedData) == 0)
    {
        noteInvalidHandle (PreparsedData);
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    DWORD code = 0;
    if (faultStrikes (simwin::Call::hidPGetCaps, PreparsedData->device,
                      (DWORD) HIDP_STATUS_INVALID_PREPARSED_DATA, code))
        return (NTSTATUS) code;
    if (Capabilities == nullptr)
        return HIDP_STATUS_NULL;
    *Capabilities = PreparsedData->caps;
    return HIDP_STATUS_SUCCESS;
}
