#pragma once

// IOKit's CFPlugIn glue for the simulated macOS platform: the plug-in
// interface through which a service's user-space driver interface is reached.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

/* C244E858-109C-11D4-91D4-0050E4C6426F */
#define kIOCFPlugInInterfaceID                                                                               \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0xC2, 0x44, 0xE8, 0x58, 0x10, 0x9C, 0x11, 0xD4, 0x91,  \
                                 0xD4, 0x00, 0x50, 0xE4, 0xC6, 0x42, 0x6F)

#define IOCFPLUGINBASE                                                                                       \
 UInt16 version;                                                                                             \
 UInt16 revision;                                                                                            \
 IOReturn (*Probe) (void* thisPointer, CFDictionaryRef propertyTable, io_service_t service, SInt32* order);  \
 IOReturn (*Start) (void* thisPointer, CFDictionaryRef propertyTable, io_service_t service);                 \
 IOReturn (*Stop) (void* thisPointer)

typedef struct IOCFPlugInInterfaceStruct
{
    IUNKNOWN_C_GUTS;
    IOCFPLUGINBASE;
} IOCFPlugInInterface;

/** Makes the plug-in of pluginType for service.  The caller ends it with its
    Release (or IODestroyPlugInInterface). */
kern_return_t IOCreatePlugInInterfaceForService (io_service_t service, CFUUIDRef pluginType,
                                                 CFUUIDRef interfaceType, IOCFPlugInInterface*** theInterface,
                                                 SInt32* theScore);
kern_return_t IODestroyPlugInInterface (IOCFPlugInInterface** interface);

__END_DECLS
