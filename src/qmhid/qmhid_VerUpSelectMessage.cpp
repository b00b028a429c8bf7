#include "qmhid_VerUpSelectMessage.h"

namespace qmhid
{
VerUpSelectMessage::VerUpSelectMessage()
{
    setHeader (0xFF, 15, 1, 0, 0x40);
}
} // namespace qmhid
