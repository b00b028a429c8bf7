#pragma once

#include "qmhid_Flavour.h"

#include <cstdint>

namespace qmhid
{
typedef std::uint8_t uint8;
typedef std::uint16_t uint16;
typedef std::uint32_t uint32;
typedef std::int32_t int32;

/** Result codes shared by the devices and the protocol library.  Any other
    value is a platform error passed up unchanged. */
enum ResultCode : int
{
    resultOk = 0,
    resultNotFound = 1,        ///< no matching device found, or it cannot be opened
    resultNak = 3,             ///< the device answered NAK
    resultTimeout = 4,         ///< no input report arrived in time
    resultUnexpectedReply = 5, ///< a reply of the wrong kind arrived
    resultNoReport = 6,        ///< the wait for a report ended without one
    resultNoDevice = 7         ///< the transmission has no device
};
} // namespace qmhid

/** Size of every request and reply report. */
#define QMHID_DATA_SIZE 32
