#pragma once

#include "qmhid_VerUpDataMessageBase.h"

namespace qmhid
{
/** The last block of a firmware image, acknowledged by the controller. */
class VerUpEndDataMessage : public VerUpDataMessageBase
{
public:
    VerUpEndDataMessage();
};
} // namespace qmhid
