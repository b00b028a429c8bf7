#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** A view of the header of a reply held in the caller's 32-byte buffer.  The
    view neither copies nor owns the buffer. */
class ReceivedData
{
public:
    explicit ReceivedData (const uint8* buffer);
    virtual ~ReceivedData();

    virtual uint8 getModelNumber();
    virtual uint8 getUnitNumber();
    virtual uint8 getCommunicationType();
    virtual uint8 getMessageType();
    virtual uint8 getCommand();

protected:
    const uint8* buf;
};
} // namespace qmhid
