#pragma once

namespace qmhid
{
/** The identity of one HID device as a notification delivers it: the
    platform's path of the device, held in a record the identifier owns.  Only
    the backends fill and read it; to the program it is opaque. */
class HIDDeviceIdentifier
{
public:
    /** An identifier with an empty path. */
    HIDDeviceIdentifier();
    virtual ~HIDDeviceIdentifier();

    /** Replaces the held path by a copy of the platform path at path; 0 on success. */
    int init (void* path);

    /** The held path. */
    void* getData();

private:
    void* record;

    HIDDeviceIdentifier (const HIDDeviceIdentifier&) = delete;
    HIDDeviceIdentifier& operator= (const HIDDeviceIdentifier&) = delete;
};
} // namespace qmhid
