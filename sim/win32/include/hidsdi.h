#pragma once

// The device part of HID.DLL, for the simulated Windows platform: the HID
// interface class, a device's USB attributes, its input queue and its
// preparsed data.

// As with the Windows SDK, <windows.h> comes first.
#ifndef _WINDOWS_
 #error "include <windows.h> before this header"
#endif

#include <sys/cdefs.h>

#include <hidpi.h>
#include <hidusage.h>

__BEGIN_DECLS

typedef struct _HIDD_ATTRIBUTES
{
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
} HIDD_ATTRIBUTES, *PHIDD_ATTRIBUTES;

/** The HID device interface class, {4D1E55B2-F16F-11CF-88CB-001111000030}. */
void NTAPI HidD_GetHidGuid (LPGUID HidGuid);

/** Fills every field, Size included; FALSE with the last error set when the
    handle is not a HID interface or its device is gone. */
BOOLEAN NTAPI HidD_GetAttributes (HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes);

/** Throws away the input reports that the handle's queue holds and no read
    has taken yet; reads already pending stay.  FALSE with the last error set
    when the handle is not a HID interface or its device is gone. */
BOOLEAN NTAPI HidD_FlushQueue (HANDLE HidDeviceObject);

BOOLEAN NTAPI HidD_GetPreparsedData (HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData);
BOOLEAN NTAPI HidD_FreePreparsedData (PHIDP_PREPARSED_DATA PreparsedData);

__END_DECLS
