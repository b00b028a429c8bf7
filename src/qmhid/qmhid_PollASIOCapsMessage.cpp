#include "qmhid_PollASIOCapsMessage.h"

namespace qmhid
{
PollASIOCapsMessage::PollASIOCapsMessage()
{
    setHeader (0xFF, 15, 0, 1, 0x21);
}
} // namespace qmhid
