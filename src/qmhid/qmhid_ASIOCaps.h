#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** What a controller reports about itself in its ASIO caps reply. */
struct ASIOCaps
{
    uint8 modelNumber;
    uint8 unitNumber;
    uint16 softwareVersion;
    uint8 inputChannels;
    uint8 outputChannels;
    uint8 samplingFrequencyInfo;
    uint8 samplingFrequency;
    uint8 maximumAudioBitResolution;
    uint16 audioBufferSize;
    uint8 operationMode; ///< 2 is the firmware update mode
    char modelName[17];  ///< up to 16 characters and a terminating 0
};
} // namespace qmhid
