#pragma once

// HID usages, for the simulated Windows platform.

// As with the Windows SDK, <windows.h> comes first.
#ifndef _WINDOWS_
 #error "include <windows.h> before this header"
#endif

typedef USHORT USAGE, *PUSAGE;

#define HID_USAGE_PAGE_GENERIC ((USAGE) 0x01)
#define HID_USAGE_PAGE_BUTTON ((USAGE) 0x09)
#define HID_USAGE_PAGE_VENDOR_DEFINED_BEGIN ((USAGE) 0xFF00)
