#include "qmhid_ReceivedData.h"

#include "qmhid_DataFormat.h"

namespace qmhid
{
ReceivedData::ReceivedData (const uint8* buffer)
    : buf (buffer)
{
}

ReceivedData::~ReceivedData() = default;

uint8 ReceivedData::getModelNumber()
{
    return DataFormat::getModelNumber (buf);
}

uint8 ReceivedData::getUnitNumber()
{
    return DataFormat::getUnitNumber (buf);
}

uint8 ReceivedData::getCommunicationType()
{
    return DataFormat::getCommunicationType (buf);
}

uint8 ReceivedData::getMessageType()
{
    return DataFormat::getMessageType (buf);
}

uint8 ReceivedData::getCommand()
{
    return DataFormat::getCommand (buf);
}
} // namespace qmhid
