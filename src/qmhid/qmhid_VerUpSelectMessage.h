#pragma once

#include "qmhid_Message.h"

namespace qmhid
{
/** The version-up select request, which puts the controller into firmware load mode. */
class VerUpSelectMessage : public Message
{
public:
    VerUpSelectMessage();
};
} // namespace qmhid
