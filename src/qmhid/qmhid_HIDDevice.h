#pragma once

#include "qmhid_HIDDeviceIdentifier.h"
#include "qmhid_Types.h"

#include <vector>

namespace qmhid
{
class DevImpl;

/** Called on the message thread for every arrival (kind 0) and removal
    (kind 1) of a HID device.  identifier lives only for the call. */
typedef void (*DeviceNotificationCallback) (int kind, HIDDeviceIdentifier* identifier, void* userData);

/** The handle of one opened HID device: the one door between the
    platform-neutral code and the platform's HID services.  Each platform
    backend implements it; objects are made only by findDevice and createFrom
    and are ended with release. */
class HIDDevice
{
protected:
    HIDDevice();
    /** Closes the device and destroys impl. */
    virtual ~HIDDevice();

public:
    /** Closes the device and destroys the object. */
    virtual void release();

    /** Writes one output report of len data bytes, waiting at most about
        timeoutMs; 0 or a nonzero result code. */
    virtual int send (const uint8* data, int len, int timeoutMs);

    /** Waits at most about timeoutMs for one input report and copies len bytes of
        it into buf; 0, or a nonzero code with buf left as it was. */
    virtual int get (uint8* buf, int len, int timeoutMs);

    /** True when identifier names this opened device. */
    bool compare (HIDDeviceIdentifier* identifier);

    /** Opens every present HID device whose vendor id is vendorIds[i] and, when
        productIds is given, whose product id is productIds[i], for some i below
        count.  0 when devices holds at least one afterwards, else 1. */
    static int findDevice (const int* vendorIds, const int* productIds, int count,
                           std::vector<HIDDevice*>* devices);

    /** The first device of vendorId; the others found are closed at once.  0, or
        1 with *device untouched. */
    static int findDevice (int vendorId, HIDDevice** device);

#if QMHID_MAC_FLAVOUR
    /** As above, also filtered by product id. */
    static int findDevice (int vendorId, int productId, HIDDevice** device);
#endif

    /** Opens the device that identifier names, whatever its ids.  0, or 1 with
        *device untouched. */
    static int createFrom (HIDDeviceIdentifier* identifier, HIDDevice** device);

    /** Reports every later arrival and removal to callback; (NULL, NULL) stops
        the reports.  Returns 0. */
    static int setDeviceNotificationCallback (DeviceNotificationCallback callback, void* userData);

private:
    DevImpl* impl;

public:
    int vendorId;
    int productId;

private:
    HIDDevice (const HIDDevice&) = delete;
    HIDDevice& operator= (const HIDDevice&) = delete;
};

/** The registered notification callback and its user data, kept by the backend. */
extern DeviceNotificationCallback deviceNotificationCallback;
extern void* deviceNotificationData;
} // namespace qmhid
