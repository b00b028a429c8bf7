#include "UlkDeviceDetector.h"

namespace
{
constexpr int probedVendorId = 0x7A3C;
constexpr int arrival = 0;
constexpr int removal = 1;
} // namespace

void deviceNotificationCallback (int kind, qmhid::HIDDeviceIdentifier* identifier, void* userData)
{
    auto* detector = static_cast<UlkDeviceDetector*> (userData);
    if (kind == arrival)
        detector->deviceConnected (identifier);
    else if (kind == removal)
        detector->deviceDisconnected (identifier);
}

UlkDeviceDetector::UlkDeviceDetector()
    : arrivalCallback (nullptr)
    , removalCallback (nullptr)
    , arrivalUserData (nullptr)
    , removalUserData (nullptr)
    , detectionActive (false)
{
}

UlkDeviceDetector::~UlkDeviceDetector()
{
    if (detectionActive)
    {
        qmhid::HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
        detectionActive = false;
    }
}

void UlkDeviceDetector::setDeviceArrivalCallback (ArrivalCallback callback, void* userData)
{
    arrivalCallback = callback;
    arrivalUserData = userData;
}

void UlkDeviceDetector::setDeviceRemovalCallback (RemovalCallback callback, void* userData)
{
    removalCallback = callback;
    removalUserData = userData;
}

void UlkDeviceDetector::startDetect()
{
    detectionActive = qmhid::HIDDevice::setDeviceNotificationCallback (deviceNotificationCallback, this) == 0;
}

void UlkDeviceDetector::stopDetect()
{
    qmhid::HIDDevice::setDeviceNotificationCallback (nullptr, nullptr);
    detectionActive = false;
}

bool UlkDeviceDetector::isDetecting() const
{
    return detectionActive;
}

void UlkDeviceDetector::detectDevice()
{
    qmhid::HIDDevice* hidDevice = nullptr;
    if (qmhid::HIDDevice::findDevice (probedVendorId, &hidDevice) != 0)
        return;

    // Opened and polled even without a receiver; closed again when the
    // pointer goes.
    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hidDevice));
    if (device == nullptr)
    {
        hidDevice->release();
        return;
    }

    if (arrivalCallback != nullptr)
        arrivalCallback (device, arrivalUserData);
}

void UlkDeviceDetector::deviceConnected (qmhid::HIDDeviceIdentifier* identifier)
{
    if (arrivalCallback == nullptr)
        return;

    qmhid::HIDDevice* hidDevice = nullptr;
    if (qmhid::HIDDevice::createFrom (identifier, &hidDevice) != 0)
        return;

    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hidDevice));
    if (device == nullptr)
    {
        // A foreign device: closed again at once, and nobody hears of it.
        hidDevice->release();
        return;
    }

    arrivalCallback (device, arrivalUserData);
}

void UlkDeviceDetector::deviceDisconnected (qmhid::HIDDeviceIdentifier* identifier)
{
    if (removalCallback != nullptr)
        removalCallback (identifier, removalUserData);
}
