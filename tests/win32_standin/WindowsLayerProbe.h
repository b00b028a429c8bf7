#pragma once

// Win32 code written the way the updater's Windows layer calls the platform:
// the same headers, names and patterns.  It is compiled against the
// stand-in's headers into the tests, which run it over the virtual bus, and,
// where a mingw-w64 compiler is installed, against the real Windows headers,
// so that both agree on every name it uses.

#include <windows.h>

namespace probe
{
/** Opens every present HID interface of the vendor exclusively, as the
    enumeration does; returns how many it opened (at most maxHandles). */
int openInterfacesOfVendor (int vendorId, HANDLE* handles, int maxHandles);

/** Opens one interface path shared for reading and writing; null when it does
    not open or has no usable attributes. */
HANDLE openShared (const wchar_t* path);

/** The input and output report lengths of an open interface (ID byte
    included); false when they cannot be read. */
bool reportLengths (HANDLE file, int* inputLength, int* outputLength);

/** One report each way, with its own event and a time-out after which the
    transfer is cancelled and waited for: 0 or the Win32 code. */
int writeReport (HANDLE file, BYTE* report, DWORD length, DWORD timeoutMs);
int readReport (HANDLE file, BYTE* report, DWORD length, DWORD timeoutMs);

/** A hidden top-level window of the calling thread registered for HID
    interface events, which reports each arrival (0) and removal (1) to the
    callback with the path, and its registration; null when any step fails. */
using Callback = void (*) (int kind, const wchar_t* path);
HWND makeNotificationWindow (Callback callback, HDEVNOTIFY* notification);
} // namespace probe
