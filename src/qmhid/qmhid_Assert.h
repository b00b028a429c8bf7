#pragma once

#include "qmhid_Flavour.h"

// The library's guards on conditions no caller may produce.  In the macOS flavour
// a failed one writes the standard assertion report and aborts, whatever the
// build type; the Windows flavour tests nothing.

namespace qmhid
{
[[noreturn]] void assertionFailed (const char* expression, const char* file, int line, const char* function);
}

#if QMHID_MAC_FLAVOUR
 #define QMHID_ASSERT(expression)                                                                            \
  ((expression) ? (void) 0 : qmhid::assertionFailed (#expression, __FILE__, __LINE__, __func__))
#else
 #define QMHID_ASSERT(expression) ((void) 0)
#endif
