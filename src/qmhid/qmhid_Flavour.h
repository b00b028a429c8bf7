#pragma once

// Selects the flavour of the library and of the program built on it.
//
// The macOS flavour writes the log file, stops the process on a failed library
// assertion and carries the raw one-way operations; the Windows flavour logs
// nothing and checks nothing.  One compile definition picks the flavour:
// ULK_FLAVOUR_MAC or ULK_FLAVOUR_WIN.  Without either, the platform decides.

#if defined(ULK_FLAVOUR_MAC) && defined(ULK_FLAVOUR_WIN)
 #error "Define only one of ULK_FLAVOUR_MAC and ULK_FLAVOUR_WIN"
#endif

#if !defined(ULK_FLAVOUR_MAC) && !defined(ULK_FLAVOUR_WIN)
 #if defined(__APPLE__)
  #define ULK_FLAVOUR_MAC 1
 #elif defined(_WIN32)
  #define ULK_FLAVOUR_WIN 1
 #else
  #error "No flavour: define ULK_FLAVOUR_MAC or ULK_FLAVOUR_WIN"
 #endif
#endif

#if defined(ULK_FLAVOUR_MAC)
 #define QMHID_MAC_FLAVOUR 1
 #define QMHID_WIN_FLAVOUR 0
#else
 #define QMHID_MAC_FLAVOUR 0
 #define QMHID_WIN_FLAVOUR 1
#endif
