#pragma once

// The shell's command line splitter, for the simulated Windows platform.

// As with the Windows SDK, <windows.h> comes first.
#ifndef _WINDOWS_
 #error "include <windows.h> before this header"
#endif

#include <sys/cdefs.h>

__BEGIN_DECLS

/** Splits a command line by Windows' rules into one LocalAlloc block (free it
    with LocalFree): *pNumArgs pointers followed by a null one.  An empty line
    gives the path of the running program. */
LPWSTR* WINAPI CommandLineToArgvW (LPCWSTR lpCmdLine, int* pNumArgs);

__END_DECLS
