#include "qmhid_VerUpDataMessageBase.h"

#include "qmhid_Assert.h"

#include <algorithm>
#include <cstring>

namespace qmhid
{
VerUpDataMessageBase::VerUpDataMessageBase (int maxSizeToUse, int posDataToUse)
    : maxSize (maxSizeToUse)
    , posData (posDataToUse)
{
    QMHID_ASSERT (posData + maxSize <= QMHID_DATA_SIZE);
}

int VerUpDataMessageBase::setData (const uint8* src, int len)
{
    const int n = std::min (len, maxSize);
    if (n > 0)
        std::memcpy (data + posData, src, (size_t) n);
    return n;
}
} // namespace qmhid
