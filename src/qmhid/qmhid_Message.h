#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** One 32-byte request report: model number, unit number, communication type,
    message type and command in the first three bytes, then a 29-byte payload.
    Each request class fixes its header in its constructor. */
class Message
{
public:
    Message();
    virtual ~Message();

    virtual void setModelNumber (uint8 value);
    virtual void setUnitNumber (uint8 value);
    virtual void setCommunicationType (uint8 value);
    virtual void setMessageType (uint8 value);
    virtual void setCommand (uint8 value);
    virtual void setHeader (uint8 model, uint8 unit, uint8 communicationType, uint8 messageType,
                            uint8 command);

    /** The report's first byte; valid while the message lives. */
    virtual uint8* getDataPointer();

protected:
    uint8 data[QMHID_DATA_SIZE];
};
} // namespace qmhid
