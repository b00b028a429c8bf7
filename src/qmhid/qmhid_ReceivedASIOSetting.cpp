#include "qmhid_ReceivedASIOSetting.h"

namespace qmhid
{
ReceivedASIOSetting::ReceivedASIOSetting (const uint8* buffer)
    : ReceivedData (buffer)
{
}

uint8 ReceivedASIOSetting::getSamplingFreq()
{
    return buf[8];
}

uint8 ReceivedASIOSetting::getAudioBitResolution()
{
    return buf[9];
}

uint16 ReceivedASIOSetting::getAudioBufferSize()
{
    return (uint16) (buf[10] * 256 + buf[11]);
}

uint8 ReceivedASIOSetting::getOperationMode()
{
    return buf[12];
}
} // namespace qmhid
