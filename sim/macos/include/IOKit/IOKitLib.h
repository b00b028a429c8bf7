#pragma once

// IOKit's user library for the simulated macOS platform: the registry of HID
// device services made from the virtual HID bus, iterators, registry paths
// and properties, and notification ports.
//
// - Every plugged bus device is one service of class "IOHIDDevice", listed in
//   plug order.  Its path in the "IOService" plane names its bus port; once the
//   device is unplugged the path can no longer be read or looked up.
// - Matching dictionaries match on "IOProviderClass" and on any property
//   key given; one reference of every matching dictionary is consumed, on
//   failure too.
// - Only first-match ("IOServiceFirstMatch", "IOServiceMatched") matching
//   notifications exist, and interest notifications send only
//   kIOMessageServiceIsTerminated.
// - A failed call returns a nonzero code; handles that are not (or no longer)
//   valid give kIOReturnBadArgument (IOObjectRelease: KERN_INVALID_ARGUMENT).

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOReturn.h>
#include <IOKit/IOTypes.h>
#include <mach/mach.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

#define kIOServicePlane "IOService"
#define kIOProviderClassKey "IOProviderClass"
#define kIOPublishNotification "IOServicePublish"
#define kIOFirstPublishNotification "IOServiceFirstPublish"
#define kIOMatchedNotification "IOServiceMatched"
#define kIOFirstMatchNotification "IOServiceFirstMatch"
#define kIOTerminatedNotification "IOServiceTerminate"
#define kIOGeneralInterest "IOGeneralInterest"
#define kIOBusyInterest "IOBusyInterest"

/** The default master port: every call that takes a master port accepts it. */
extern const mach_port_t kIOMasterPortDefault;
extern const mach_port_t kIOMainPortDefault;

typedef struct IONotificationPort* IONotificationPortRef;

typedef void (*IOServiceMatchingCallback) (void* refcon, io_iterator_t iterator);
typedef void (*IOServiceInterestCallback) (void* refcon, io_service_t service, natural_t messageType,
                                           void* messageArgument);

kern_return_t IOMasterPort (mach_port_t bootstrapPort, mach_port_t* masterPort);
kern_return_t IOMainPort (mach_port_t bootstrapPort, mach_port_t* mainPort);

kern_return_t IOObjectRelease (io_object_t object);
kern_return_t IOObjectRetain (io_object_t object);

io_object_t IOIteratorNext (io_iterator_t iterator);
void IOIteratorReset (io_iterator_t iterator);
boolean_t IOIteratorIsValid (io_iterator_t iterator);

/** A new matching dictionary for services of the class name (+1). */
CFMutableDictionaryRef IOServiceMatching (const char* name);
kern_return_t IOServiceGetMatchingServices (mach_port_t masterPort, CFDictionaryRef matching,
                                            io_iterator_t* existing);
io_service_t IOServiceGetMatchingService (mach_port_t masterPort, CFDictionaryRef matching);

kern_return_t IORegistryEntryCreateCFProperties (io_registry_entry_t entry,
                                                 CFMutableDictionaryRef* properties, CFAllocatorRef allocator,
                                                 IOOptionBits options);
CFTypeRef IORegistryEntryCreateCFProperty (io_registry_entry_t entry, CFStringRef key,
                                           CFAllocatorRef allocator, IOOptionBits options);
kern_return_t IORegistryEntryGetPath (io_registry_entry_t entry, const io_name_t plane, io_string_t path);
/** The service at path, or MACH_PORT_NULL. */
io_registry_entry_t IORegistryEntryFromPath (mach_port_t masterPort, const io_string_t path);

IONotificationPortRef IONotificationPortCreate (mach_port_t masterPort);
void IONotificationPortDestroy (IONotificationPortRef notify);
/** The port's run loop source, owned by the port. */
CFRunLoopSourceRef IONotificationPortGetRunLoopSource (IONotificationPortRef notify);

kern_return_t IOServiceAddMatchingNotification (IONotificationPortRef notifyPort,
                                                const io_name_t notificationType, CFDictionaryRef matching,
                                                IOServiceMatchingCallback callback, void* refCon,
                                                io_iterator_t* notification);
kern_return_t IOServiceAddInterestNotification (IONotificationPortRef notifyPort, io_service_t service,
                                                const io_name_t interestType,
                                                IOServiceInterestCallback callback, void* refCon,
                                                io_object_t* notification);

__END_DECLS
