#include "qmhid_VerUpIntermediateDataMessage.h"

namespace qmhid
{
VerUpIntermediateDataMessage::VerUpIntermediateDataMessage()
    : VerUpDataMessageBase (29, 3)
{
    setHeader (0xFF, 15, 1, 5, 0x40);
}
} // namespace qmhid
