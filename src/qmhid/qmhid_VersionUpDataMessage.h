#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** One firmware data block whose place in the image (first, middle or last)
    is chosen when it is built; this is the block the load sequence sends. */
class VersionUpDataMessage : public Message
{
public:
    enum DataType
    {
        Start = 0,
        Intermediate = 1,
        End = 2
    };

    /** Any type other than Start and End is a middle block.  Copies the first
        min (len, 29) bytes of src into bytes 3 onward. */
    VersionUpDataMessage (DataType type, const uint8* src, int len);

    /** Firmware bytes carried by one block. */
    static int getMaxDataSize();
};
} // namespace qmhid
