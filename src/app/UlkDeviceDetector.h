#pragma once

#include "UlkDevice.h"

/** Turns the platform's HID arrival and removal notifications into the
    application's two events: a controller has arrived (handed over as a ready
    UlkDevice) and some HID device has gone.  Also probes once for a controller
    that was plugged in before detection started.  Runs on the message thread. */
class UlkDeviceDetector
{
public:
    typedef void (*ArrivalCallback) (UlkDevice::Ptr device, void* userData);
    typedef void (*RemovalCallback) (qmhid::HIDDeviceIdentifier* identifier, void* userData);

    UlkDeviceDetector();
    ~UlkDeviceDetector();

    void setDeviceArrivalCallback (ArrivalCallback callback, void* userData);
    void setDeviceRemovalCallback (RemovalCallback callback, void* userData);

    /** Registers for the platform's notifications. */
    void startDetect();
    void stopDetect();
    bool isDetecting() const;

    /** Hands a controller of vendor 0x7A3C that is already present to the
        arrival callback. */
    void detectDevice();

    void deviceConnected (qmhid::HIDDeviceIdentifier* identifier);
    void deviceDisconnected (qmhid::HIDDeviceIdentifier* identifier);

private:
    ArrivalCallback arrivalCallback;
    RemovalCallback removalCallback;
    void* arrivalUserData;
    void* removalUserData;
    bool detectionActive;

    JUCE_DECLARE_NON_COPYABLE (UlkDeviceDetector)
};

/** The function the detector registers with the platform; userData is the detector. */
void deviceNotificationCallback (int kind, qmhid::HIDDeviceIdentifier* identifier, void* userData);
