#pragma once

#include "qmhid_ReceivedData.h"

namespace qmhid
{
/** A view of an ASIO setting reply.  The caller checks the kind first
    (DataFormat::isAsioSetting). */
class ReceivedASIOSetting : public ReceivedData
{
public:
    explicit ReceivedASIOSetting (const uint8* buffer);

    virtual uint8 getSamplingFreq();
    virtual uint8 getAudioBitResolution();
    virtual uint16 getAudioBufferSize();
    virtual uint8 getOperationMode();
};
} // namespace qmhid
