#pragma once

// The keys and element kinds of IOKit HID, for the simulated macOS platform.

#include <MacTypes.h>
#include <stdint.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

/** The class name of a HID device service. */
#define kIOHIDDeviceKey "IOHIDDevice"

// Properties of a HID device service.
#define kIOHIDTransportKey "Transport"
#define kIOHIDVendorIDKey "VendorID"
#define kIOHIDProductIDKey "ProductID"
#define kIOHIDVersionNumberKey "VersionNumber"
#define kIOHIDManufacturerKey "Manufacturer"
#define kIOHIDProductKey "Product"
#define kIOHIDSerialNumberKey "SerialNumber"
#define kIOHIDLocationIDKey "LocationID"
#define kIOHIDPrimaryUsageKey "PrimaryUsage"
#define kIOHIDPrimaryUsagePageKey "PrimaryUsagePage"
#define kIOHIDMaxInputReportSizeKey "MaxInputReportSize"
#define kIOHIDMaxOutputReportSizeKey "MaxOutputReportSize"
#define kIOHIDMaxFeatureReportSizeKey "MaxFeatureReportSize"
#define kIOHIDElementKey "Elements"

// Keys of an element dictionary.
#define kIOHIDElementCookieKey "ElementCookie"
#define kIOHIDElementTypeKey "Type"
#define kIOHIDElementUsageKey "Usage"
#define kIOHIDElementUsagePageKey "UsagePage"
#define kIOHIDElementSizeKey "Size"
#define kIOHIDElementReportSizeKey "ReportSize"
#define kIOHIDElementReportCountKey "ReportCount"
#define kIOHIDElementReportIDKey "ReportID"

typedef uint32_t IOHIDElementCookie;

typedef enum IOHIDElementType
{
    kIOHIDElementTypeInput_Misc = 1,
    kIOHIDElementTypeInput_Button = 2,
    kIOHIDElementTypeInput_Axis = 3,
    kIOHIDElementTypeInput_ScanCodes = 4,
    kIOHIDElementTypeOutput = 129,
    kIOHIDElementTypeFeature = 257,
    kIOHIDElementTypeCollection = 513
} IOHIDElementType;

typedef enum IOHIDReportType
{
    kIOHIDReportTypeInput = 0,
    kIOHIDReportTypeOutput,
    kIOHIDReportTypeFeature,
    kIOHIDReportTypeCount
} IOHIDReportType;

enum
{
    kIOHIDOptionsTypeNone = 0x00,
    kIOHIDOptionsTypeSeizeDevice = 0x01
};

__END_DECLS
