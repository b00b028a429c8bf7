#pragma once

// The messages of IOKit's interest notifications, for the simulated macOS
// platform.  Only a service's termination is ever sent.

#include <IOKit/IOReturn.h>
#include <MacTypes.h>

#define iokit_common_msg(message) ((UInt32) (sys_iokit | sub_iokit_common | (message)))

#define kIOMessageServiceIsTerminated iokit_common_msg (0x010)
#define kIOMessageServiceIsSuspended iokit_common_msg (0x020)
#define kIOMessageServiceIsResumed iokit_common_msg (0x030)
#define kIOMessageServiceIsRequestingClose iokit_common_msg (0x100)
#define kIOMessageServiceIsAttemptingOpen iokit_common_msg (0x101)
#define kIOMessageServiceWasClosed iokit_common_msg (0x110)
