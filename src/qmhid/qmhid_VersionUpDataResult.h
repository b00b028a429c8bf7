#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** What sending one firmware block tells the caller. */
struct VersionUpDataResult
{
    uint8 flag;        ///< 0 after every successful call
    int32 execTimeout; ///< milliseconds the controller may take to execute the image
};
} // namespace qmhid
