#include <windows.h>

#include "WindowsLayerProbe.h"

#include <dbt.h>
#include <setupapi.h>

// Older SDKs declare HID.DLL without C linkage of its own.
extern "C"
{
#include <hidsdi.h>
}
#include <hidpi.h>

#include <cstdlib>
#include <cwchar>

// The layouts of a 64-bit Windows program.
static_assert (sizeof (SP_DEVICE_INTERFACE_DATA) == 32, "SP_DEVICE_INTERFACE_DATA");
static_assert (sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8, "SP_DEVICE_INTERFACE_DETAIL_DATA_W");
static_assert (sizeof (DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "DEV_BROADCAST_DEVICEINTERFACE_W");
static_assert (sizeof (DEV_BROADCAST_HDR) == 12, "DEV_BROADCAST_HDR");
static_assert (sizeof (HIDD_ATTRIBUTES) == 12, "HIDD_ATTRIBUTES");
static_assert (sizeof (HIDP_CAPS) == 64, "HIDP_CAPS");
static_assert (sizeof (OVERLAPPED) == 32, "OVERLAPPED");
static_assert (sizeof (WNDCLASSEXW) == 80, "WNDCLASSEXW");
static_assert (sizeof (DWORD) == 4 && sizeof (LONG) == 4 && sizeof (ULONG_PTR) == 8, "scalar sizes");
static_assert (GENERIC_READ == 0x80000000 && GENERIC_WRITE == 0x40000000, "access");
static_assert (FILE_FLAG_OVERLAPPED == 0x40000000 && FILE_ATTRIBUTE_NORMAL == 0x80, "flags");
static_assert (DIGCF_PRESENT == 2 && DIGCF_DEVICEINTERFACE == 0x10, "set flags");
static_assert (WM_DEVICECHANGE == 0x219 && DBT_DEVICEARRIVAL == 0x8000 && DBT_DEVICEREMOVECOMPLETE == 0x8004,
               "device events");
static_assert (DBT_DEVTYP_DEVICEINTERFACE == 5 && DBT_DEVNODES_CHANGED == 7 && DBT_DEVTYP_VOLUME == 2,
               "types");
static_assert (ERROR_IO_PENDING == 997 && ERROR_IO_INCOMPLETE == 996 && ERROR_OPERATION_ABORTED == 995,
               "codes");
static_assert (ERROR_DEVICE_NOT_CONNECTED == 1167 && ERROR_SHARING_VIOLATION == 32, "codes");
static_assert (MB_ICONQUESTION == 0x20 && MB_ICONWARNING == 0x30 && MB_ICONINFORMATION == 0x40, "icons");

namespace probe
{
namespace
{
Callback registered = nullptr;

/** The two-call detail pattern; the block is the caller's, for GlobalFree. */
PSP_DEVICE_INTERFACE_DETAIL_DATA_W detailOf (HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW (set, interfaceData, NULL, 0, &required, NULL);
    if (required == 0)
        return NULL;
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail =
        (PSP_DEVICE_INTERFACE_DETAIL_DATA_W) GlobalAlloc (GMEM_FIXED, required);
    if (detail == NULL)
        return NULL;
    detail->cbSize = sizeof (SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW (set, interfaceData, detail, required, NULL, NULL))
    {
        GlobalFree (detail);
        return NULL;
    }
    return detail;
}

int transfer (HANDLE file, BYTE* report, DWORD length, DWORD timeoutMs, bool write)
{
    OVERLAPPED overlapped;
    ZeroMemory (&overlapped, sizeof (overlapped));
    overlapped.hEvent = CreateEventW (NULL, FALSE, FALSE, NULL);
    DWORD count = 0;
    const BOOL done = write ? WriteFile (file, report, length, &count, &overlapped)
                            : ReadFile (file, report, length, &count, &overlapped);
    int result = 0;
    if (!done)
    {
        result = (int) GetLastError();
        if (result == ERROR_IO_PENDING)
        {
            WaitForSingleObject (overlapped.hEvent, timeoutMs);
            result = GetOverlappedResult (file, &overlapped, &count, FALSE) ? 0 : (int) GetLastError();
            if (result == ERROR_IO_INCOMPLETE)
            {
                CancelIoEx (file, &overlapped);
                GetOverlappedResult (file, &overlapped, &count, TRUE);
            }
        }
    }
    CloseHandle (overlapped.hEvent);
    return result;
}

LRESULT CALLBACK procedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE))
    {
        PDEV_BROADCAST_HDR header = (PDEV_BROADCAST_HDR) lParam;
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && registered != NULL)
        {
            PDEV_BROADCAST_DEVICEINTERFACE_W broadcast = (PDEV_BROADCAST_DEVICEINTERFACE_W) header;
            const size_t length = wcslen (broadcast->dbcc_name);
            wchar_t* copy = (wchar_t*) malloc ((length + 1) * sizeof (wchar_t));
            wcscpy_s (copy, length + 1, broadcast->dbcc_name);
            registered (wParam == DBT_DEVICEARRIVAL ? 0 : 1, copy);
            free (copy);
        }
        return 0;
    }
    return DefWindowProcW (window, message, wParam, lParam);
}
} // namespace

int openInterfacesOfVendor (int vendorId, HANDLE* handles, int maxHandles)
{
    GUID guid;
    HidD_GetHidGuid (&guid);
    HDEVINFO set = SetupDiGetClassDevsW (&guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;

    int opened = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData;
    interfaceData.cbSize = sizeof (SP_DEVICE_INTERFACE_DATA);
    for (DWORD index = 0;
         opened < maxHandles && SetupDiEnumDeviceInterfaces (set, NULL, &guid, index, &interfaceData);
         ++index)
    {
        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail = detailOf (set, &interfaceData);
        if (detail == NULL)
            continue;
        HANDLE file = CreateFileW (detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, NULL);
        GlobalFree (detail);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES attributes;
        attributes.Size = sizeof (attributes);
        if (HidD_GetAttributes (file, &attributes) && attributes.VendorID == vendorId)
            handles[opened++] = file;
        else
            CloseHandle (file);
    }
    SetupDiDestroyDeviceInfoList (set);
    return opened;
}

HANDLE openShared (const wchar_t* path)
{
    HANDLE file = CreateFileW (path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    HIDD_ATTRIBUTES attributes;
    if (!HidD_GetAttributes (file, &attributes))
    {
        CloseHandle (file);
        return NULL;
    }
    return file;
}

bool reportLengths (HANDLE file, int* inputLength, int* outputLength)
{
    PHIDP_PREPARSED_DATA preparsed = NULL;
    if (!HidD_GetPreparsedData (file, &preparsed))
        return false;
    HIDP_CAPS caps;
    const bool ok = HidP_GetCaps (preparsed, &caps) == HIDP_STATUS_SUCCESS;
    if (ok)
    {
        *inputLength = caps.InputReportByteLength;
        *outputLength = caps.OutputReportByteLength;
    }
    HidD_FreePreparsedData (preparsed);
    return ok;
}

int writeReport (HANDLE file, BYTE* report, DWORD length, DWORD timeoutMs)
{
    return transfer (file, report, length, timeoutMs, true);
}

int readReport (HANDLE file, BYTE* report, DWORD length, DWORD timeoutMs)
{
    return transfer (file, report, length, timeoutMs, false);
}

HWND makeNotificationWindow (Callback callback, HDEVNOTIFY* notification)
{
    registered = callback;
    WNDCLASSEXW windowClass;
    ZeroMemory (&windowClass, sizeof (windowClass));
    windowClass.cbSize = sizeof (WNDCLASSEXW);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW (NULL);
    windowClass.lpszClassName = L"ProbeNotification";
    if (RegisterClassExW (&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return NULL;
    HWND window = CreateWindowExW (0, L"ProbeNotification", L"ProbeNotification", 0, 0, 0, 0, 0, NULL, NULL,
                                   GetModuleHandleW (NULL), NULL);
    if (window == NULL)
        return NULL;

    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    ZeroMemory (&filter, sizeof (filter));
    filter.dbcc_size = sizeof (filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid (&filter.dbcc_classguid);
    *notification = RegisterDeviceNotificationW (window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (*notification == NULL)
    {
        DestroyWindow (window);
        return NULL;
    }
    return window;
}

} // namespace probe
