// The Windows backend of qmhid::HIDDevice, on SetupAPI, the HID class driver
// and overlapped file I/O.  It has no thread of its own: every operation runs
// on its caller's thread.  Reports cross the driver with a leading report ID
// byte 0, which callers never see.  send empties the handle's input queue
// first, so a get sees only reports that came after the request.

#include <qmhid_HIDDevice.h>

#include <windows.h>

#include <setupapi.h>
// mingw-w64's HID headers declare HID.DLL's functions without C linkage.
extern "C"
{
#include <hidsdi.h>

#include <hidpi.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace qmhid
{
/** The record of one opened device. */
class DevImpl
{
public:
    DevImpl();
    virtual ~DevImpl();

    bool init (HANDLE handle);
    void setDevicePath (const wchar_t* path);

    HANDLE handle;
    int inputReportLength;
    int outputReportLength;
    uint8* inputBuffer;
    uint8* outputBuffer;
    wchar_t* devicePath;
};

namespace
{
constexpr DWORD incomplete = 996; // ERROR_IO_INCOMPLETE
constexpr DWORD pending = 997;    // ERROR_IO_PENDING

/** The identifier's record: the device interface path, a heap copy. */
struct IdentifierRecord
{
    wchar_t* path = nullptr;
};

IdentifierRecord& recordOf (void* record)
{
    return *static_cast<IdentifierRecord*> (record);
}

/** Interface paths name the same device whatever the case of their letters. */
bool samePath (const wchar_t* a, const wchar_t* b)
{
    if (a == nullptr || b == nullptr)
        return false;

    auto fold = [] (wchar_t c) { return c >= L'A' && c <= L'Z' ? (wchar_t) (c - L'A' + L'a') : c; };
    for (;; ++a, ++b)
    {
        if (fold (*a) != fold (*b))
            return false;
        if (*a == 0)
            return true;
    }
}

/** A block from GlobalAlloc, freed on every way out of its scope. */
struct GlobalBlock
{
    explicit GlobalBlock (void* blockToOwn = nullptr)
        : block (blockToOwn)
    {
    }
    ~GlobalBlock()
    {
        if (block != nullptr)
            GlobalFree (block);
    }
    GlobalBlock (const GlobalBlock&) = delete;
    GlobalBlock& operator= (const GlobalBlock&) = delete;

    void* block;
};

/** Ends a transfer that is still pending, and waits until the system no
    longer uses its record, its event and its buffer. */
void endPendingTransfer (HANDLE handle, OVERLAPPED& overlapped)
{
    DWORD count = 0;
    CancelIoEx (handle, &overlapped);
    GetOverlappedResult (handle, &overlapped, &count, TRUE);
}

/** One overlapped transfer of length bytes at buffer; 0 or a Win32 error code. */
template <typename Start>
int transfer (HANDLE handle, int timeoutMs, Start start)
{
    OVERLAPPED overlapped;
    std::memset (&overlapped, 0, sizeof (overlapped));
    overlapped.hEvent = CreateEventW (nullptr, FALSE, FALSE, nullptr);

    DWORD count = 0;
    int result = 0;
    if (!start (&overlapped, &count))
    {
        const DWORD error = GetLastError();
        if (error != pending)
        {
            result = (int) error;
        }
        else
        {
            WaitForSingleObject (overlapped.hEvent, (DWORD) std::max (timeoutMs, 0));
            if (!GetOverlappedResult (handle, &overlapped, &count, FALSE))
            {
                result = (int) GetLastError();
                if (result == (int) incomplete)
                    endPendingTransfer (handle, overlapped);
            }
        }
    }

    if (overlapped.hEvent != nullptr)
        CloseHandle (overlapped.hEvent);
    return result;
}

/** The detail block of one interface (the two-call pattern), or null. */
PSP_DEVICE_INTERFACE_DETAIL_DATA_W getDeviceInterfaceDetail (HDEVINFO set,
                                                             SP_DEVICE_INTERFACE_DATA* interfaceData)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW (set, interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return nullptr;

    auto detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_W) GlobalAlloc (GMEM_FIXED, required);
    if (detail == nullptr)
        return nullptr;

    detail->cbSize = sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW (set, interfaceData, detail, required, nullptr, nullptr))
    {
        GlobalFree (detail);
        return nullptr;
    }
    return detail;
}

/** What the opening steps need of HIDDevice's protected parts; only its own
    members can name them. */
struct DeviceAccess
{
    HIDDevice* (*make)();
    DevImpl* HIDDevice::*impl;
};

/** Makes a device over an opened handle; the handle is the device's from the
    start, so a failure closes it once, with the device. */
HIDDevice* openHandle (HANDLE handle, const wchar_t* path, const HIDD_ATTRIBUTES& attributes,
                       const DeviceAccess& access)
{
    HIDDevice* device = access.make();
    DevImpl* record = device->*access.impl;
    if (!record->init (handle))
    {
        device->release();
        return nullptr;
    }

    record->setDevicePath (path);
    device->vendorId = attributes.VendorID;
    device->productId = attributes.ProductID;
    return device;
}

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

//==============================================================================
DevImpl::DevImpl()
    : handle (nullptr)
    , inputReportLength (0)
    , outputReportLength (0)
    , inputBuffer (nullptr)
    , outputBuffer (nullptr)
    , devicePath (nullptr)
{
}

DevImpl::~DevImpl()
{
    if (handle != nullptr)
        CloseHandle (handle);
    handle = nullptr;

    if (devicePath != nullptr)
        GlobalFree (devicePath);
    devicePath = nullptr;
    if (outputBuffer != nullptr)
        GlobalFree (outputBuffer);
    outputBuffer = nullptr;
    if (inputBuffer != nullptr)
        GlobalFree (inputBuffer);
    inputBuffer = nullptr;
}

bool DevImpl::init (HANDLE handleToOwn)
{
    handle = handleToOwn;

    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData (handle, &preparsed))
        return false;

    HIDP_CAPS caps;
    if (HidP_GetCaps (preparsed, &caps) != HIDP_STATUS_SUCCESS)
    {
        HidD_FreePreparsedData (preparsed);
        return false;
    }

    inputReportLength = caps.InputReportByteLength;
    outputReportLength = caps.OutputReportByteLength;
    inputBuffer = (uint8*) GlobalAlloc (GMEM_FIXED, (SIZE_T) inputReportLength);
    outputBuffer = (uint8*) GlobalAlloc (GMEM_FIXED, (SIZE_T) outputReportLength);
    HidD_FreePreparsedData (preparsed);

    if (inputBuffer != nullptr && outputBuffer != nullptr)
        return true;

    if (inputBuffer != nullptr)
        GlobalFree (inputBuffer);
    inputBuffer = nullptr;
    if (outputBuffer != nullptr)
        GlobalFree (outputBuffer);
    outputBuffer = nullptr;
    return false;
}

void DevImpl::setDevicePath (const wchar_t* path)
{
    const size_t length = std::wcslen (path) + 1;
    devicePath = (wchar_t*) GlobalAlloc (GMEM_FIXED, length * sizeof (wchar_t));
    if (devicePath != nullptr)
        wcscpy_s (devicePath, length, path);
}

//==============================================================================
HIDDeviceIdentifier::HIDDeviceIdentifier()
    : record (new IdentifierRecord())
{
}

HIDDeviceIdentifier::~HIDDeviceIdentifier()
{
    std::free (recordOf (record).path);
    delete static_cast<IdentifierRecord*> (record);
}

int HIDDeviceIdentifier::init (void* data)
{
    auto& held = recordOf (record);
    std::free (held.path);
    held.path = nullptr;

    const auto* path = static_cast<const wchar_t*> (data);
    const size_t length = std::wcslen (path) + 1;
    held.path = static_cast<wchar_t*> (std::malloc (length * sizeof (wchar_t)));
    if (held.path == nullptr)
        return 1;
    wcscpy_s (held.path, length, path);
    return 0;
}

void* HIDDeviceIdentifier::getData()
{
    return recordOf (record).path;
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
    // An output report without room for its report ID byte cannot be written.
    if (impl->outputReportLength < 1)
        return ERROR_INVALID_PARAMETER;

    impl->outputBuffer[0] = 0;
    const int n = std::max (0, std::min (len, impl->outputReportLength - 1));
    std::memcpy (impl->outputBuffer + 1, data, (size_t) n);

    // The driver queues every input report until a read takes it, so a reply
    // that came after its get had timed out would answer this request: only
    // replies to this report may reach the next get.
    HidD_FlushQueue (impl->handle);

    return transfer (impl->handle, timeoutMs,
                     [this] (OVERLAPPED* overlapped, DWORD* count)
                     {
                         return WriteFile (impl->handle, impl->outputBuffer, (DWORD) impl->outputReportLength,
                                           count, overlapped) != FALSE;
                     });
}

int HIDDevice::get (uint8* buf, int len, int timeoutMs)
{
    if (impl->inputReportLength < 1)
        return ERROR_INVALID_PARAMETER;

    impl->inputBuffer[0] = 0;
    const int result =
        transfer (impl->handle, timeoutMs,
                  [this] (OVERLAPPED* overlapped, DWORD* count)
                  {
                      return ReadFile (impl->handle, impl->inputBuffer, (DWORD) impl->inputReportLength,
                                       count, overlapped) != FALSE;
                  });

    // The report ID byte is not the caller's.
    if (result == 0)
        std::memcpy (buf, impl->inputBuffer + 1,
                     (size_t) std::max (0, std::min (len, impl->inputReportLength - 1)));
    return result;
}

bool HIDDevice::compare (HIDDeviceIdentifier* identifier)
{
    return samePath (impl->devicePath, static_cast<const wchar_t*> (identifier->getData()));
}

int HIDDevice::findDevice (const int* vendorIds, const int* productIds, int count,
                           std::vector<HIDDevice*>* devices)
{
    const DeviceAccess access{ [] { return new HIDDevice(); }, &HIDDevice::impl };
    devices->clear();

    GUID guid;
    HidD_GetHidGuid (&guid);
    HDEVINFO set = SetupDiGetClassDevsW (&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return resultNotFound;

    SP_DEVICE_INTERFACE_DATA interfaceData;
    std::memset (&interfaceData, 0, sizeof (interfaceData));
    interfaceData.cbSize = sizeof (SP_DEVICE_INTERFACE_DATA);

    for (DWORD index = 0; SetupDiEnumDeviceInterfaces (set, nullptr, &guid, index, &interfaceData); ++index)
    {
        GlobalBlock detailBlock (getDeviceInterfaceDetail (set, &interfaceData));
        auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W> (detailBlock.block);
        if (detail == nullptr)
            continue;

        // Held without sharing for as long as the device lives.
        HANDLE handle = CreateFileW (detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            continue;

        HIDD_ATTRIBUTES attributes;
        std::memset (&attributes, 0, sizeof (attributes));
        attributes.Size = sizeof (attributes);
        if (!HidD_GetAttributes (handle, &attributes))
        {
            CloseHandle (handle);
            continue;
        }

        bool matches = false;
        for (int i = 0; i < count && !matches; ++i)
            matches = vendorIds[i] == (int) attributes.VendorID &&
                      (productIds == nullptr || productIds[i] == (int) attributes.ProductID);
        if (!matches)
        {
            CloseHandle (handle);
            continue;
        }

        if (HIDDevice* device = openHandle (handle, detail->DevicePath, attributes, access))
            devices->push_back (device);
    }

    SetupDiDestroyDeviceInfoList (set);
    return devices->empty() ? resultNotFound : resultOk;
}

int HIDDevice::findDevice (int vendorId, HIDDevice** device)
{
    std::vector<HIDDevice*> devices;
    return keepFirst (findDevice (&vendorId, nullptr, 1, &devices), devices, device);
}

int HIDDevice::createFrom (HIDDeviceIdentifier* identifier, HIDDevice** device)
{
    const DeviceAccess access{ [] { return new HIDDevice(); }, &HIDDevice::impl };
    const auto* path = static_cast<const wchar_t*> (identifier->getData());
    if (path == nullptr)
        return resultNotFound;

    HANDLE handle =
        CreateFileW (path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return resultNotFound;

    HIDD_ATTRIBUTES attributes;
    std::memset (&attributes, 0, sizeof (attributes));
    attributes.Size = sizeof (attributes);
    if (!HidD_GetAttributes (handle, &attributes))
    {
        CloseHandle (handle);
        return resultNotFound;
    }

    HIDDevice* opened = openHandle (handle, path, attributes, access);
    if (opened == nullptr)
        return resultNotFound;

    *device = opened;
    return resultOk;
}
} // namespace qmhid
