#include "qmhid_VerUpEndDataMessage.h"

namespace qmhid
{
VerUpEndDataMessage::VerUpEndDataMessage()
    : VerUpDataMessageBase (29, 3)
{
    setHeader (0xFF, 15, 1, 6, 0x40);
}
} // namespace qmhid
