#include "UlkDevice.h"

#include "AppFlavour.h"

#include <cstring>

const int VENDOR_ID_LIST[2] = { 0xFF00, 0x7A3C };

const char* const QM_DeviceName_KM3300 = "QM-KM3300";
const char* const QM_DeviceName_KM3800 = "QM-KM3800";

namespace
{
constexpr int productIdKM3300 = 0x6102;
constexpr int productIdKM3800 = 0x6109;
constexpr int modelNameCharacters = 16;
} // namespace

UlkDevice* UlkDevice::createFromHidDevice (qmhid::HIDDevice* hidDevice)
{
    if (hidDevice == nullptr)
    {
        ULK_ASSERT (hidDevice != nullptr);
        return nullptr;
    }

    if (!isValidUsbVendorId (hidDevice->vendorId))
        return nullptr;

    return new UlkDevice (hidDevice);
}

bool UlkDevice::isValidUsbVendorId (int vendorId)
{
    for (int id : VENDOR_ID_LIST)
        if (id == vendorId)
            return true;
    return false;
}

UlkDevice::UlkDevice (qmhid::HIDDevice* hidDevice)
    : device (hidDevice)
    , transmission (hidDevice)
{
    std::memset (&deviceInfo, 0, sizeof (deviceInfo));

    // A controller that does not answer keeps a zeroed description.
    transmission.getASIOCaps (&deviceInfo);

    deviceInfo.vendorId = hidDevice->vendorId;
    deviceInfo.productId = hidDevice->productId;

    if (deviceInfo.modelName[0] == 0)
    {
        const char* defaultName = deviceInfo.productId == productIdKM3300   ? QM_DeviceName_KM3300
                                  : deviceInfo.productId == productIdKM3800 ? QM_DeviceName_KM3800
                                                                            : nullptr;
        if (defaultName != nullptr)
        {
            juce::CharPointer_UTF8 destination (deviceInfo.modelName);
            juce::CharacterFunctions::copyWithCharLimit (destination, juce::CharPointer_UTF8 (defaultName),
                                                         modelNameCharacters + 1);
        }
    }
}

UlkDevice::~UlkDevice()
{
    if (device != nullptr)
    {
        device->release();
        juce::Logger::outputDebugString ("Device released");
    }
}

UlkDeviceInfo UlkDevice::getDeviceInfo() const
{
    return deviceInfo;
}

bool UlkDevice::isVersionUpMode() const
{
    return deviceInfo.operationMode == QM_VersionUpMode;
}

bool UlkDevice::equalId (qmhid::HIDDeviceIdentifier* identifier) const
{
    return device->compare (identifier);
}

qmhid::HIDTransmission& UlkDevice::getTransmission()
{
    return transmission;
}

qmhid::HIDDevice* UlkDevice::getDevice() const
{
    return device;
}
