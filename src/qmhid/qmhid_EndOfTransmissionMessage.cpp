#include "qmhid_EndOfTransmissionMessage.h"

namespace qmhid
{
EndOfTransmissionMessage::EndOfTransmissionMessage()
{
    setHeader (0xFF, 15, 1, 3, 0x04);
}
} // namespace qmhid
