#include "qmhid_VersionUpDataMessage.h"

#include <algorithm>
#include <cstring>

namespace qmhid
{
namespace
{
constexpr int blockOffset = 3;
constexpr int blockSize = 29;
} // namespace

VersionUpDataMessage::VersionUpDataMessage (DataType type, const uint8* src, int len)
{
    const uint8 messageType = type == Start ? 4 : (type == End ? 6 : 5);
    setHeader (0xFF, 15, 1, messageType, 0x40);

    const int n = std::min (len, blockSize);
    if (n > 0)
        std::memcpy (data + blockOffset, src, (size_t) n);
}

int VersionUpDataMessage::getMaxDataSize()
{
    return blockSize;
}
} // namespace qmhid
