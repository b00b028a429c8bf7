#pragma once

#include "qmhid_VerUpDataMessageBase.h"

namespace qmhid
{
/** A middle block of a firmware image, sent without a reply. */
class VerUpIntermediateDataMessage : public VerUpDataMessageBase
{
public:
    VerUpIntermediateDataMessage();
};
} // namespace qmhid
