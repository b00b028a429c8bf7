#pragma once

#include "qmhid_ASIOCaps.h"
#include "qmhid_ASIOSetting.h"
#include "qmhid_VersionUpDataResult.h"

namespace qmhid
{
class HIDDevice;

/** The request and reply sequences of the controller protocol over one
    HIDDevice, which it does not own.  Every operation sends a fresh request,
    reads the reply where there is one and returns a result code; nothing is
    kept, retried or waited for between calls.  The steps go to the library log. */
class HIDTransmission
{
public:
    /** The place of a firmware block in the image; any other value is a
        middle block. */
    enum VersionUpDataType
    {
        Start = 0,
        Intermediate = 1,
        End = 2
    };

    explicit HIDTransmission (HIDDevice* device);
    virtual ~HIDTransmission();

    /** Polls the controller's capabilities; *caps is written only on success. */
    virtual int getASIOCaps (ASIOCaps* caps);
    virtual int getASIOSetting (ASIOSetting* setting);
    virtual int sendASIOSetting (const ASIOSetting& setting);

    /** Selects version-up (firmware load) mode. */
    virtual int sendVerUpSelect();

    /** Sends one firmware block; the first and the last are acknowledged. */
    virtual int sendVersionUpData (VersionUpDataType type, const uint8* data, int len,
                                   VersionUpDataResult* result);

    virtual int sendVerUpStartData (const uint8* data, int len, int* sent);
    virtual int sendVerUpIntermediateData (const uint8* data, int len, int* sent);
    virtual int sendVerUpEndData (const uint8* data, int len, int* sent);

    /** Tells the controller to execute the loaded image; timeoutMs bounds the
        send and, separately, the wait for the acknowledgement. */
    virtual int sendVerUpExec (int timeoutMs);

    virtual int sendEndOfTransmission();

    /** Sends report and waits for an ACK: 0, 3 on a NAK, 5 on anything else,
        or the device's code. */
    int sendHandshake (const uint8* report, int timeoutMs);

#if QMHID_MAC_FLAVOUR
    int sendOneway (const uint8* report, int timeoutMs);
    int getOneway (uint8* buf, int timeoutMs);
#endif

    /** Firmware bytes per block. */
    static int getVersionUpDataSize();

private:
    int sendToDevice (const uint8* report, int timeoutMs);
    int getFromDevice (uint8* buf, int timeoutMs);

    HIDDevice* device;
};
} // namespace qmhid
