#include "qmhid_Message.h"

#include <cstring>

namespace qmhid
{
Message::Message()
{
    std::memset (data, 0, sizeof (data));
}

Message::~Message() = default;

void Message::setModelNumber (uint8 value)
{
    data[0] = value;
}

void Message::setUnitNumber (uint8 value)
{
    data[1] = (uint8) ((data[1] & 0x0F) | ((value & 0x0F) << 4));
}

void Message::setCommunicationType (uint8 value)
{
    data[1] = (uint8) ((data[1] & ~0x08) | ((value & 0x01) << 3));
}

void Message::setMessageType (uint8 value)
{
    data[1] = (uint8) ((data[1] & 0xF8) | value);
}

void Message::setCommand (uint8 value)
{
    data[2] = value;
}

void Message::setHeader (uint8 model, uint8 unit, uint8 communicationType, uint8 messageType, uint8 command)
{
    setModelNumber (model);
    setUnitNumber (unit);
    setCommunicationType (communicationType);
    setMessageType (messageType);
    setCommand (command);
}

uint8* Message::getDataPointer()
{
    return data;
}
} // namespace qmhid
