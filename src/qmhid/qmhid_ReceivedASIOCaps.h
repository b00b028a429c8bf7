#pragma once

#include "qmhid_ASIOCaps.h"
#include "qmhid_ReceivedData.h"

namespace qmhid
{
/** A view of an ASIO caps reply, the controller's description of itself.  The
    buffer must hold a caps reply (DataFormat::isAsioCaps). */
class ReceivedASIOCaps : public ReceivedData
{
public:
    explicit ReceivedASIOCaps (uint8* buffer);

    /** Fills every field of caps from the reply. */
    virtual void getASIOCaps (ASIOCaps* caps);
    virtual uint16 getSoftwareVersion();
    virtual uint8 getInputChannel();
    virtual uint8 getOutputChannel();
    virtual uint8 getSamplingFrequencyInfo();
    virtual uint8 getSamplingFrequency();
    virtual uint8 getMaximumAudioBitResolution();
    virtual uint16 getAudioBufferSize();
    virtual uint8 getOperationMode();

    /** With a null dst, returns the length of the model name (0 to 16).
        Otherwise copies at most len - 1 characters of it into dst, writes 0 to
        dst[len - 1] and returns 0; the bytes in between are left alone. */
    virtual int getModelName (char* dst, int len) const;
};
} // namespace qmhid
