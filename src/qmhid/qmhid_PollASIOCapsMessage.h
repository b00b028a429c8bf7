#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** The ASIO caps poll, answered by the ASIO caps reply. */
class PollASIOCapsMessage : public Message
{
public:
    PollASIOCapsMessage();
};
} // namespace qmhid
