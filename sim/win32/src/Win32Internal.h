#pragma once

// Between the parts of the simulated Windows platform.

#include <sim_win32/Win32StandIn.h>

#include <hidpi.h>
#include <windows.h>

#include <string>

namespace simwin::detail
{
//==============================================================================
// Kernel.cpp

void setLastError (DWORD code);

/** Names no device, for a call about a device that does not exist: a fault
    for one device then leaves it alone. */
constexpr sim::DeviceId noSuchDevice = ~(sim::DeviceId) 0;

/** Whether a fault of call strikes this call (about device, 0 for none);
    if so, code is the fault's code or defaultCode. */
bool faultStrikes (Call call, sim::DeviceId device, DWORD defaultCode, DWORD& code);

/** Counts a call that named a handle (or block, set, ...) that is not valid;
    null is no handle and does not count. */
void noteInvalidHandle (const void* handle);
void noteOverlappedMisuse();

/** A heap block that LocalFree (or GlobalFree) accepts. */
void* allocateLocal (std::size_t bytes);

std::wstring widen (const std::string& utf8);
std::string narrow (const std::wstring& wide);

/** A-Z against a-z, nothing else, as the C runtime's default locale does. */
wchar_t foldCase (wchar_t c);
bool equalIgnoringCase (const std::wstring& a, const std::wstring& b);

//==============================================================================
// Devices.cpp

/** {4D1E55B2-F16F-11CF-88CB-001111000030} */
extern const GUID hidInterfaceClass;

/** Makes sure the bus observer is installed and the devices present are known. */
void ensureDevicesKnown();

//==============================================================================
// Windowing.cpp

/** Queues a device interface broadcast for every window registered for the
    HID class, then DBT_DEVNODES_CHANGED for every top-level window. */
void deviceInterfaceChanged (bool arrival, const std::wstring& notifiedPath);

//==============================================================================
// NTSTATUS values that transfers end with

constexpr NTSTATUS statusSuccess = 0;
constexpr NTSTATUS statusPending = 0x103;
constexpr NTSTATUS statusCancelled = (NTSTATUS) 0xC0000120;
constexpr NTSTATUS statusDeviceNotConnected = (NTSTATUS) 0xC000009D;

/** Win32 code of a failed NTSTATUS, the FACILITY_NTWIN32 (0xC007xxxx) form
    included, which carries a Win32 code as it is. */
DWORD win32CodeOf (NTSTATUS status);

/** The NTSTATUS that carries a Win32 code. */
inline NTSTATUS statusOfWin32Code (DWORD code)
{
    return (NTSTATUS) (0xC0070000u | (code & 0xFFFFu));
}
} // namespace simwin::detail
