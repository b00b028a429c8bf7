#include "qmhid_ReceivedASIOCaps.h"

#include "qmhid_Assert.h"
#include "qmhid_DataFormat.h"

namespace qmhid
{
namespace
{
constexpr int nameOffset = 16;
constexpr int nameLength = 16;
} // namespace

ReceivedASIOCaps::ReceivedASIOCaps (uint8* buffer)
    : ReceivedData (buffer)
{
    // The report names the expression as written here.
    // clang-format off
    QMHID_ASSERT (DataFormat::isAsioCaps(buf));
    // clang-format on
}

void ReceivedASIOCaps::getASIOCaps (ASIOCaps* caps)
{
    caps->modelNumber = getModelNumber();
    caps->unitNumber = getUnitNumber();
    caps->softwareVersion = getSoftwareVersion();
    caps->inputChannels = getInputChannel();
    caps->outputChannels = getOutputChannel();
    caps->samplingFrequencyInfo = getSamplingFrequencyInfo();
    caps->samplingFrequency = getSamplingFrequency();
    caps->maximumAudioBitResolution = getMaximumAudioBitResolution();
    caps->audioBufferSize = getAudioBufferSize();
    caps->operationMode = getOperationMode();
    getModelName (caps->modelName, (int) sizeof (caps->modelName));
}

uint16 ReceivedASIOCaps::getSoftwareVersion()
{
    return DataFormat::makeUInt16 (buf[3], buf[4]);
}

uint8 ReceivedASIOCaps::getInputChannel()
{
    return buf[5];
}

uint8 ReceivedASIOCaps::getOutputChannel()
{
    return buf[6];
}

uint8 ReceivedASIOCaps::getSamplingFrequencyInfo()
{
    return buf[7];
}

uint8 ReceivedASIOCaps::getSamplingFrequency()
{
    return buf[8];
}

uint8 ReceivedASIOCaps::getMaximumAudioBitResolution()
{
    return buf[9];
}

uint16 ReceivedASIOCaps::getAudioBufferSize()
{
    return DataFormat::makeUInt16 (buf[10], buf[11]);
}

uint8 ReceivedASIOCaps::getOperationMode()
{
    return buf[12];
}

int ReceivedASIOCaps::getModelName (char* dst, int len) const
{
    const uint8* name = buf + nameOffset;

    if (dst == nullptr)
    {
        int count = 0;
        while (count < nameLength && name[count] != 0)
            ++count;
        return count;
    }

    for (int i = 0; i < len - 1 && i < nameLength && name[i] != 0; ++i)
        dst[i] = (char) name[i];

    dst[len - 1] = 0;
    return 0;
}
} // namespace qmhid
