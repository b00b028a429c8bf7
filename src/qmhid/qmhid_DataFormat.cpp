#include "qmhid_DataFormat.h"

namespace qmhid
{
namespace
{
bool hasKind (const uint8* r, uint8 communicationType, uint8 messageType, uint8 command)
{
    return DataFormat::getCommunicationType (r) == communicationType &&
           DataFormat::getMessageType (r) == messageType && DataFormat::getCommand (r) == command;
}
} // namespace

uint8 DataFormat::getModelNumber (const uint8* r)
{
    return r[0];
}

uint8 DataFormat::getUnitNumber (const uint8* r)
{
    return (uint8) (r[1] >> 4);
}

uint8 DataFormat::getCommunicationType (const uint8* r)
{
    return (uint8) ((r[1] >> 3) & 1);
}

uint8 DataFormat::getMessageType (const uint8* r)
{
    return (uint8) (r[1] & 7);
}

uint8 DataFormat::getCommand (const uint8* r)
{
    return r[2];
}

uint16 DataFormat::makeUInt16 (uint8 hi, uint8 lo)
{
    return (uint16) (hi * 256 + lo);
}

bool DataFormat::isNoChange (uint8 value)
{
    return value == 0xFF;
}

bool DataFormat::isNoChange (uint16 value)
{
    return value == 0xFFFF;
}

bool DataFormat::isAsioCaps (const uint8* r)
{
    return hasKind (r, 0, 4, 0x21);
}

bool DataFormat::isAsioSetting (const uint8* r)
{
    return hasKind (r, 0, 0, 0x21);
}

bool DataFormat::isAck (const uint8* r)
{
    return hasKind (r, 1, 3, 0x06);
}

bool DataFormat::isNak (const uint8* r)
{
    return hasKind (r, 1, 3, 0x15);
}
} // namespace qmhid
