#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** The audio settings that the ASIO setting request carries and its reply
    reports.  0xFF in a byte field and 0xFFFF in the buffer size mean "no change". */
struct ASIOSetting
{
    uint8 samplingFrequency;
    uint8 audioBitResolution;
    uint16 audioBufferSize;
    uint8 operationMode;
};
} // namespace qmhid
