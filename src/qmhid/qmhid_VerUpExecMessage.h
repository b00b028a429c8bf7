#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** The version-up execute request: the controller flashes the loaded image. */
class VerUpExecMessage : public Message
{
public:
    VerUpExecMessage();
};
} // namespace qmhid
