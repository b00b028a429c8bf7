#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** End of transmission (EOT), which closes an exchange. */
class EndOfTransmissionMessage : public Message
{
public:
    EndOfTransmissionMessage();
};
} // namespace qmhid
