#pragma once

// IOKit's result codes, for the simulated macOS platform.

#include <mach/mach.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

typedef kern_return_t IOReturn;

#define sys_iokit 0xE0000000
#define sub_iokit_common 0x00000000
#define iokit_common_err(return ) ((IOReturn) (sys_iokit | sub_iokit_common | (return )))

#define kIOReturnSuccess KERN_SUCCESS
#define kIOReturnError iokit_common_err (0x2bc)
#define kIOReturnNoMemory iokit_common_err (0x2bd)
#define kIOReturnNoResources iokit_common_err (0x2be)
#define kIOReturnIPCError iokit_common_err (0x2bf)
#define kIOReturnNoDevice iokit_common_err (0x2c0)
#define kIOReturnNotPrivileged iokit_common_err (0x2c1)
#define kIOReturnBadArgument iokit_common_err (0x2c2)
#define kIOReturnExclusiveAccess iokit_common_err (0x2c5)
#define kIOReturnUnsupported iokit_common_err (0x2c7)
#define kIOReturnInternalError iokit_common_err (0x2c9)
#define kIOReturnIOError iokit_common_err (0x2ca)
#define kIOReturnNotOpen iokit_common_err (0x2cd)
#define kIOReturnBusy iokit_common_err (0x2d5)
#define kIOReturnTimeout iokit_common_err (0x2d6)
#define kIOReturnNotReady iokit_common_err (0x2d8)
#define kIOReturnNotAttached iokit_common_err (0x2d9)
#define kIOReturnNotPermitted iokit_common_err (0x2e2)
#define kIOReturnAborted iokit_common_err (0x2eb)
#define kIOReturnNotResponding iokit_common_err (0x2ed)
#define kIOReturnNotFound iokit_common_err (0x2f0)

__END_DECLS
