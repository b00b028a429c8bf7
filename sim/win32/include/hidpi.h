#pragma once

// The HID parser's part of HID.DLL, for the simulated Windows platform: the
// capabilities of a top-level collection, read from its preparsed data.

// As with the Windows SDK, <windows.h> comes first.
#ifndef _WINDOWS_
 #error "include <windows.h> before this header"
#endif

#include <sys/cdefs.h>

#include <hidusage.h>

__BEGIN_DECLS

#ifndef SIM_WIN32_NTSTATUS_DEFINED
 #define SIM_WIN32_NTSTATUS_DEFINED
typedef LONG NTSTATUS;
#endif

/** Opaque: made by HidD_GetPreparsedData, ended by HidD_FreePreparsedData. */
typedef struct _HIDP_PREPARSED_DATA* PHIDP_PREPARSED_DATA;

typedef struct _HIDP_CAPS
{
    USAGE Usage;
    USAGE UsagePage;
    /** Bytes of the longest input report, the report ID byte included; 0
        when the collection has no input report. */
    USHORT InputReportByteLength;
    /** The same for output reports. */
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
} HIDP_CAPS, *PHIDP_CAPS;

#define FACILITY_HID_ERROR_CODE 0x11
#define HIDP_ERROR_CODES(sev, code) ((NTSTATUS) (((sev) << 28) | (FACILITY_HID_ERROR_CODE << 16) | (code)))
#define HIDP_STATUS_SUCCESS (HIDP_ERROR_CODES (0x0, 0))
#define HIDP_STATUS_NULL (HIDP_ERROR_CODES (0x8, 1))
#define HIDP_STATUS_INVALID_PREPARSED_DATA (HIDP_ERROR_CODES (0xC, 1))

NTSTATUS NTAPI HidP_GetCaps (PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities);

__END_DECLS
