#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** Base of the firmware data blocks: a payload of at most maxSize bytes that
    starts at report offset posData. */
class VerUpDataMessageBase : public Message
{
public:
    /** Copies min (len, maxSize) bytes of src into the payload and returns that
        count; the bytes after them are left as they are. */
    virtual int setData (const uint8* src, int len);

protected:
    VerUpDataMessageBase (int maxSize, int posData);

    int maxSize;
    int posData;
};
} // namespace qmhid
