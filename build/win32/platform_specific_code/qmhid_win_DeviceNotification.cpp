// Arrival and removal of HID interfaces on Windows: a hidden window made by
// the thread of the first registration receives the system's WM_DEVICECHANGE
// broadcasts and hands each one to the registered callback.  Every interface
// that comes or goes is reported, opened by this program or not.

#include <qmhid_HIDDevice.h>

#include <windows.h>

#include <dbt.h>
// mingw-w64's HID headers declare HID.DLL's functions without C linkage.
extern "C"
{
#include <hidsdi.h>
}

#include <cstring>

namespace qmhid
{
DeviceNotificationCallback deviceNotificationCallback = nullptr;
void* deviceNotificationData = nullptr;

LRESULT CALLBACK deviceNotificationWndProc (HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void deviceChangeNotification (PDEV_BROADCAST_HDR header, int kind);

namespace
{
const wchar_t* const windowName = L"QMHID_DeviceNotification";
} // namespace

int HIDDevice::setDeviceNotificationCallback (DeviceNotificationCallback callback, void* userData)
{
    deviceNotificationCallback = callback;
    deviceNotificationData = userData;

    // The window and the registration are made once, whatever comes of them.
    static bool isSetup = false;
    if (isSetup)
        return 0;

    const HINSTANCE instance = GetModuleHandleW (nullptr);

    WNDCLASSEXW windowClass;
    std::memset (&windowClass, 0, sizeof (windowClass));
    windowClass.cbSize = sizeof (windowClass);
    windowClass.lpfnWndProc = deviceNotificationWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = windowName;
    RegisterClassExW (&windowClass);

    HWND window =
        CreateWindowExW (0, windowName, windowName, 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);

    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset (&filter, 0, sizeof (filter));
    filter.dbcc_size = sizeof (filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid (&filter.dbcc_classguid);

    // Never withdrawn: the window lives as long as the process.
    RegisterDeviceNotificationW (window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

    isSetup = true;
    return 0;
}

LRESULT CALLBACK deviceNotificationWndProc (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL)
    {
        deviceChangeNotification ((PDEV_BROADCAST_HDR) lParam, 0);
        return 0;
    }

    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEREMOVECOMPLETE)
    {
        deviceChangeNotification ((PDEV_BROADCAST_HDR) lParam, 1);
        return 0;
    }

    return DefWindowProcW (window, message, wParam, lParam);
}

void deviceChangeNotification (PDEV_BROADCAST_HDR header, int kind)
{
    // Volumes, ports and the rest reach every top-level window too.
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return;

    if (deviceNotificationCallback == nullptr)
        return;

    auto* broadcast = (PDEV_BROADCAST_DEVICEINTERFACE_W) header;
    HIDDeviceIdentifier identifier;
    if (identifier.init (broadcast->dbcc_name) != 0)
        return;

    // The identifier and its copy of the path go when the call returns.
    deviceNotificationCallback (kind, &identifier, deviceNotificationData);
}
} // namespace qmhid
