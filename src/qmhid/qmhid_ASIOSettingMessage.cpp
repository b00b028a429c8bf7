#include "qmhid_ASIOSettingMessage.h"

namespace qmhid
{
ASIOSettingMessage::ASIOSettingMessage()
{
    setHeader (0xFF, 15, 0, 0, 0x21);
    for (int i = 8; i <= 12; ++i)
        data[i] = 0xFF;
}

void ASIOSettingMessage::setASIOSetting (const ASIOSetting& setting)
{
    setAudioBitResolution (setting.audioBitResolution);
    setSamplingFreqency (setting.samplingFrequency);
    setAudioBufferSize (setting.audioBufferSize);
    setOperationMode (setting.operationMode);
}

void ASIOSettingMessage::setSamplingFreqency (uint8 value)
{
    data[8] = value;
}

void ASIOSettingMessage::setAudioBitResolution (uint8 value)
{
    data[9] = value;
}

void ASIOSettingMessage::setAudioBufferSize (uint16 value)
{
    data[10] = (uint8) (value >> 8);
    data[11] = (uint8) (value & 0xFF);
}

void ASIOSettingMessage::setOperationMode (uint8 value)
{
    data[12] = value;
}
} // namespace qmhid
