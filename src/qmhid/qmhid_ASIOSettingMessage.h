#pragma once

#include "qmhid_ASIOSetting.h"
#include "qmhid_Message.h"

namespace qmhid
{
/** The ASIO setting request: the four settings in bytes 8 to 12, every one
    "no change" until set. */
class ASIOSettingMessage : public Message
{
public:
    ASIOSettingMessage();

    virtual void setASIOSetting (const ASIOSetting& setting);
    virtual void setSamplingFreqency (uint8 value);
    virtual void setAudioBitResolution (uint8 value);
    virtual void setAudioBufferSize (uint16 value);
    virtual void setOperationMode (uint8 value);
};
} // namespace qmhid
