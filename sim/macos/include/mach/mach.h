#pragma once

// The few Mach types and names that IOKit's user API is made of, for the
// simulated macOS platform.  Ports are plain numbers here.

#include <sys/cdefs.h>

__BEGIN_DECLS

typedef unsigned int natural_t;
typedef int integer_t;
typedef int kern_return_t;
typedef natural_t mach_port_t;
typedef int boolean_t;

#define MACH_PORT_NULL ((mach_port_t) 0)

#define KERN_SUCCESS 0
#define KERN_INVALID_ADDRESS 1
#define KERN_PROTECTION_FAILURE 2
#define KERN_NO_SPACE 3
#define KERN_INVALID_ARGUMENT 4
#define KERN_FAILURE 5
#define KERN_RESOURCE_SHORTAGE 6
#define KERN_INVALID_NAME 15

/** The task's bootstrap port, the one to ask IOMasterPort with. */
extern mach_port_t bootstrap_port;

__END_DECLS
