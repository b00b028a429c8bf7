#pragma once

// IOKit's basic user types, for the simulated macOS platform.

#include <IOKit/IOReturn.h>
#include <MacTypes.h>
#include <mach/mach.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

typedef UInt32 IOOptionBits;
typedef UInt32 IOItemCount;
typedef SInt32 IOIndex;

typedef mach_port_t io_object_t;
typedef io_object_t io_service_t;
typedef io_object_t io_iterator_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_connect_t;

typedef char io_name_t[128];
typedef char io_string_t[512];

#define IO_OBJECT_NULL ((io_object_t) 0)

__END_DECLS
