// The Windows backend over the system's own SetupAPI and HID class driver: no
// controller is plugged in, so what can be seen is enumeration over whatever
// HID interfaces the system has, a foreign device opened by its path, and the
// notification window.  Where the system has no HID interface at all (wine on
// a machine without HID devices), the rows that need one are skipped.

#include "TestSupport.h"

#include <qmhid_HIDDevice.h>
#include <qmhid_HIDDeviceIdentifier.h>

#include <windows.h>

#include <setupapi.h>
extern "C"
{
#include <hidsdi.h>
}

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

using qmhid::HIDDevice;
using qmhid::HIDDeviceIdentifier;

namespace
{
constexpr int incomplete = 996; // ERROR_IO_INCOMPLETE
constexpr int controllerVendorIds[] = { 0xFF00, 0x7A3C };

/** The paths of every present HID interface, as SetupAPI lists them. */
std::vector<std::wstring> presentHidInterfaces()
{
    std::vector<std::wstring> paths;
    GUID guid;
    HidD_GetHidGuid (&guid);
    HDEVINFO set = SetupDiGetClassDevsW (&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;

    SP_DEVICE_INTERFACE_DATA data;
    std::memset (&data, 0, sizeof (data));
    data.cbSize = sizeof (data);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces (set, nullptr, &guid, i, &data); ++i)
    {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW (set, &data, nullptr, 0, &required, nullptr);
        std::vector<unsigned char> block (required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*> (block.data());
        if (required < sizeof (*detail))
            continue;
        detail->cbSize = sizeof (*detail);
        if (SetupDiGetDeviceInterfaceDetailW (set, &data, detail, required, nullptr, nullptr))
            paths.push_back (detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList (set);
    return paths;
}

std::wstring upperCased (std::wstring path)
{
    for (auto& c : path)
        c = (wchar_t) std::towupper (c);
    return path;
}

/** The first foreign HID device the backend can open by path, or null. */
HIDDevice* openFirstForeignDevice (std::wstring* openedPath)
{
    for (const auto& path : presentHidInterfaces())
    {
        HIDDeviceIdentifier identifier;
        std::wstring copy = path;
        if (identifier.init (copy.data()) != 0)
            continue;
        HIDDevice* device = nullptr;
        if (HIDDevice::createFrom (&identifier, &device) == 0)
        {
            std::printf ("opened the foreign HID device %ls (vendor %04x, product %04x)\n", path.c_str(),
                         (unsigned) device->vendorId, (unsigned) device->productId);
            *openedPath = path;
            return device;
        }
    }
    return nullptr;
}

/** Whether the system has a HID interface; says so when it has none. */
bool systemHasHidDevices()
{
    const auto count = presentHidInterfaces().size();
    std::printf ("the system lists %d HID interface(s)\n", (int) count);
    return count > 0;
}
} // namespace

TEST (WindowsSystemHid, FindsNoControllerAmongTheSystemsDevices)
{
    std::vector<HIDDevice*> devices;
    EXPECT_EQ (HIDDevice::findDevice (controllerVendorIds, nullptr, 2, &devices), 1);
    EXPECT_TRUE (devices.empty());

    auto* untouched = reinterpret_cast<HIDDevice*> (static_cast<uintptr_t> (0x5A5A));
    HIDDevice* device = untouched;
    EXPECT_EQ (HIDDevice::findDevice (0x7A3C, &device), 1);
    EXPECT_EQ (device, untouched);
}

TEST (WindowsSystemHid, CreateFromAPathNamingNoDeviceFailsAndLeavesTheHandle)
{
    const std::wstring paths[] = {
        L"\\\\?\\hid#vid_7a3c&pid_6102#0&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        L"",
        L"C:\\",
    };
    for (const auto& path : paths)
    {
        HIDDeviceIdentifier identifier;
        std::wstring copy = path;
        ASSERT_EQ (identifier.init (copy.data()), 0);
        auto* untouched = reinterpret_cast<HIDDevice*> (static_cast<uintptr_t> (0x5A5A));
        HIDDevice* device = untouched;
        EXPECT_EQ (HIDDevice::createFrom (&identifier, &device), 1) << "path #" << (&path - paths);
        EXPECT_EQ (device, untouched);
    }
}

TEST (WindowsSystemHid, ForeignDeviceTimesOutWith996AndLeavesTheBuffer)
{
    std::wstring path;
    HIDDevice* device = openFirstForeignDevice (&path);
    if (device == nullptr)
        GTEST_SKIP() << (systemHasHidDevices() ? "no HID device here can be opened"
                                               : "the system has no HID device at all");

    unsigned char buffer[64];
    std::memset (buffer, 0xA5, sizeof (buffer));
    const auto start = std::chrono::steady_clock::now();
    const int result = device->get (buffer, (int) sizeof (buffer), 300);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start)
            .count();

    // A device that happens to report now answers 0; one that is quiet times out.
    if (result != 0)
    {
        EXPECT_EQ (result, incomplete);
        EXPECT_GE (elapsed, 250);
        EXPECT_LT (elapsed, 3000);
        for (unsigned char b : buffer)
            ASSERT_EQ (b, 0xA5);
    }
    device->release();
}

TEST (WindowsSystemHid, CompareIgnoresLetterCaseOfThePath)
{
    std::wstring path;
    HIDDevice* device = openFirstForeignDevice (&path);
    if (device == nullptr)
        GTEST_SKIP() << (systemHasHidDevices() ? "no HID device here can be opened"
                                               : "the system has no HID device at all");

    HIDDeviceIdentifier same, shouted, other;
    std::wstring upper = upperCased (path);
    std::wstring different = path + L"x";
    ASSERT_EQ (same.init (path.data()), 0);
    ASSERT_EQ (shouted.init (upper.data()), 0);
    ASSERT_EQ (other.init (different.data()), 0);
    EXPECT_TRUE (device->compare (&same));
    EXPECT_TRUE (device->compare (&shouted));
    EXPECT_FALSE (device->compare (&other));
    device->release();
}

TEST (WindowsSystemHid, NotificationWindowComesAndGoesOnTheMessageThread)
{
    struct Heard
    {
        int events = 0;
        static void callback (int, HIDDeviceIdentifier*, void* self) { ++static_cast<Heard*> (self)->events; }
    } heard;

    EXPECT_EQ (HIDDevice::setDeviceNotificationCallback (&Heard::callback, &heard), 0);
    EXPECT_NE (FindWindowW (nullptr, L"QMHID_DeviceNotification"), nullptr);
    ulktest::pumpFor (200);
    EXPECT_EQ (HIDDevice::setDeviceNotificationCallback (nullptr, nullptr), 0);
    ulktest::pumpFor (50);
    // Nothing was plugged in or out meanwhile.
    EXPECT_EQ (heard.events, 0);
}
