#pragma once

#include "qmhid_VerUpDataMessageBase.h"

namespace qmhid
{
/** The first block of a firmware image, acknowledged by the controller. */
class VerUpStartDataMessage : public VerUpDataMessageBase
{
public:
    VerUpStartDataMessage();
};
} // namespace qmhid
