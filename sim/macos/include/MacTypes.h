#pragma once

// The basic Mac scalar types, for the simulated macOS platform.

#include <stdint.h>

typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;

typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;

/** A 64-bit value in two halves, low half first as on little-endian Macs. */
struct UnsignedWide
{
    UInt32 lo;
    UInt32 hi;
};
typedef struct UnsignedWide UnsignedWide;
typedef UnsignedWide AbsoluteTime;

enum
{
    noErr = 0
};

#ifndef TRUE
 #define TRUE 1
#endif
#ifndef FALSE
 #define FALSE 0
#endif
