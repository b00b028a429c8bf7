#pragma once

// The application's debug checks: JUCE debug assertions in the macOS flavour,
// nothing in the Windows flavour.  After a failed one the code goes on.

#include <qmhid_Flavour.h>

#include <juce_core/juce_core.h>

#if QMHID_MAC_FLAVOUR
 #define ULK_ASSERT(condition) jassert (condition)
#else
 #define ULK_ASSERT(condition) ((void) 0)
#endif
