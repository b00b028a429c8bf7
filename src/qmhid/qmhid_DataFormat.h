#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** Reads header fields out of a 32-byte report and tells the kinds of reply
    apart.  A reply is recognised by its kind alone: the model number, the unit
    number and the payload are never looked at. */
class DataFormat
{
public:
    DataFormat() = delete;

    static uint8 getModelNumber (const uint8* r);
    static uint8 getUnitNumber (const uint8* r);
    static uint8 getCommunicationType (const uint8* r);
    static uint8 getMessageType (const uint8* r);
    static uint8 getCommand (const uint8* r);

    /** A big-endian 16-bit number from its two bytes. */
    static uint16 makeUInt16 (uint8 hi, uint8 lo);

    static bool isNoChange (uint8 value);
    static bool isNoChange (uint16 value);

    static bool isAsioCaps (const uint8* r);
    static bool isAsioSetting (const uint8* r);
    static bool isAck (const uint8* r);
    static bool isNak (const uint8* r);
};
} // namespace qmhid
