#pragma once

#include <qmhid_ASIOCaps.h>
#include <qmhid_HIDDevice.h>
#include <qmhid_HIDTransmission.h>

#include <juce_core/juce_core.h>

/** A controller's description: its caps reply, then its USB ids.  It begins
    with the whole caps record so that the caps poll writes straight into it. */
struct UlkDeviceInfo : qmhid::ASIOCaps
{
    int vendorId;
    int productId;
};

/** The operation mode a controller in firmware update mode reports. */
constexpr juce::uint8 QM_VersionUpMode = 2;

/** The USB vendor ids of controllers. */
extern const int VENDOR_ID_LIST[2];

/** Default model names of the two products. */
extern const char* const QM_DeviceName_KM3300;
extern const char* const QM_DeviceName_KM3800;

/** One connected controller: its opened HID device, the transmission bound to
    it and the description it gave when it was taken up.  Reference counted;
    the last holder to let go closes the device. */
class UlkDevice : public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<UlkDevice>;

    /** A new controller over hidDevice (reference count 0), which it then owns;
        null, with hidDevice still the caller's, for a foreign vendor id. */
    static UlkDevice* createFromHidDevice (qmhid::HIDDevice* hidDevice);

    static bool isValidUsbVendorId (int vendorId);

    ~UlkDevice() override;

    UlkDeviceInfo getDeviceInfo() const;

    /** True when the controller reported the firmware update mode (2). */
    bool isVersionUpMode() const;

    /** True when identifier names this controller's device. */
    bool equalId (qmhid::HIDDeviceIdentifier* identifier) const;

    qmhid::HIDTransmission& getTransmission();

    qmhid::HIDDevice* getDevice() const;

private:
    explicit UlkDevice (qmhid::HIDDevice* hidDevice);

    qmhid::HIDDevice* device;
    qmhid::HIDTransmission transmission;
    UlkDeviceInfo deviceInfo;

    JUCE_DECLARE_NON_COPYABLE (UlkDevice)
};
