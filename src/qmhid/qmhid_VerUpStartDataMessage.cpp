#include "qmhid_VerUpStartDataMessage.h"

namespace qmhid
{
VerUpStartDataMessage::VerUpStartDataMessage()
    : VerUpDataMessageBase (29, 3)
{
    setHeader (0xFF, 15, 1, 4, 0x40);
}
} // namespace qmhid
