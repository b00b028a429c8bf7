#include "qmhid_VerUpExecMessage.h"

namespace qmhid
{
VerUpExecMessage::VerUpExecMessage()
{
    setHeader (0xFF, 15, 1, 0, 0x22);
}
} // namespace qmhid
