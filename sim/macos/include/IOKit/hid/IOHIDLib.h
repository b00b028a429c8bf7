#pragma once

// IOKit's user-space HID device interface for the simulated macOS platform,
// over the virtual HID bus.
//
// - QueryInterface with kIOHIDDeviceInterfaceID (or the 121 and 122 ids) gives
//   one object whose table is the whole IOHIDDeviceInterface122, as on a Mac:
//   copyMatchingElements and setInterruptReportHandlerCallback are reached by
//   using the pointer as IOHIDDeviceInterface122**.
// - open fails with kIOReturnExclusiveAccess for a device that refuses every
//   open and kIOReturnNotAttached for one that is gone.
// - setElementValue works synchronously only (no completion callback): it
//   hands longValue and longValueSize to the device and returns
//   kIOReturnSuccess, kIOReturnNotAttached (the device is gone) or
//   kIOReturnTimeout (the device did not take the report in timeoutMS).
// - Input reports are copied into the buffer given to
//   setInterruptReportHandlerCallback, and the callback is called, on the
//   thread of the run loop that the async event source was added to.  Once
//   close or the last Release has returned no callback runs; close and
//   Release on another thread wait for a callback that is running.
// - getElementValue, queryElementValue, queues, transactions, reports by
//   setReport/getReport and the removal callback are not supported.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOCFPlugIn.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/IOReturn.h>
#include <IOKit/IOTypes.h>
#include <IOKit/hid/IOHIDKeys.h>
#include <sys/cdefs.h>

__BEGIN_DECLS

/* FA12FA38-6F1A-11D4-BA0C-0005028F18D5 */
#define kIOHIDDeviceUserClientTypeID                                                                         \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0xFA, 0x12, 0xFA, 0x38, 0x6F, 0x1A, 0x11, 0xD4, 0xBA,  \
                                 0x0C, 0x00, 0x05, 0x02, 0x8F, 0x18, 0xD5)

/* 78BD420C-6F14-11D4-9474-0005028F18D5 */
#define kIOHIDDeviceInterfaceID                                                                              \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0x78, 0xBD, 0x42, 0x0C, 0x6F, 0x14, 0x11, 0xD4, 0x94,  \
                                 0x74, 0x00, 0x05, 0x02, 0x8F, 0x18, 0xD5)

/* 7D0B510E-16D5-11D7-9E9B-000393992E38 */
#define kIOHIDDeviceInterfaceID121                                                                           \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0x7D, 0x0B, 0x51, 0x0E, 0x16, 0xD5, 0x11, 0xD7, 0x9E,  \
                                 0x9B, 0x00, 0x03, 0x93, 0x99, 0x2E, 0x38)

/* B70ABF31-16D5-11D7-AB35-000393992E38 */
#define kIOHIDDeviceInterfaceID122                                                                           \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0xB7, 0x0A, 0xBF, 0x31, 0x16, 0xD5, 0x11, 0xD7, 0xAB,  \
                                 0x35, 0x00, 0x03, 0x93, 0x99, 0x2E, 0x38)

/** One element value going to or coming from a device. */
struct IOHIDEventStruct
{
    IOHIDElementType type;
    IOHIDElementCookie elementCookie;
    SInt32 value;
    AbsoluteTime timestamp;
    UInt32 longValueSize;
    void* longValue;
};
typedef struct IOHIDEventStruct IOHIDEventStruct;

typedef void (*IOHIDCallbackFunction) (void* target, IOReturn result, void* refcon, void* sender);
typedef void (*IOHIDElementCallbackFunction) (void* target, IOReturn result, void* refcon, void* sender,
                                              IOHIDElementCookie elementCookie);
typedef void (*IOHIDReportCallbackFunction) (void* target, IOReturn result, void* refcon, void* sender,
                                             UInt32 bufferSize);

typedef struct IOHIDQueueInterface IOHIDQueueInterface;
typedef struct IOHIDOutputTransactionInterface IOHIDOutputTransactionInterface;

#define IOHIDDEVICEINTERFACE_FUNCS_100                                                                       \
 IOReturn (*createAsyncEventSource) (void* self, CFRunLoopSourceRef* source);                                \
 CFRunLoopSourceRef (*getAsyncEventSource) (void* self);                                                     \
 IOReturn (*createAsyncPort) (void* self, mach_port_t* port);                                                \
 mach_port_t (*getAsyncPort) (void* self);                                                                   \
 IOReturn (*open) (void* self, IOOptionBits flags);                                                          \
 IOReturn (*close) (void* self);                                                                             \
 IOReturn (*setRemovalCallback) (void* self, IOHIDCallbackFunction removalCallback, void* removalTarget,     \
                                 void* removalRefcon);                                                       \
 IOReturn (*getElementValue) (void* self, IOHIDElementCookie elementCookie, IOHIDEventStruct* valueEvent);   \
 IOReturn (*setElementValue) (void* self, IOHIDElementCookie elementCookie, IOHIDEventStruct* valueEvent,    \
                              UInt32 timeoutMS, IOHIDElementCallbackFunction callback, void* callbackTarget, \
                              void* callbackRefcon);                                                         \
 IOReturn (*queryElementValue) (void* self, IOHIDElementCookie elementCookie, IOHIDEventStruct* valueEvent,  \
                                UInt32 timeoutMS, IOHIDElementCallbackFunction callback,                     \
                                void* callbackTarget, void* callbackRefcon);                                 \
 IOReturn (*startAllQueues) (void* self);                                                                    \
 IOReturn (*stopAllQueues) (void* self);                                                                     \
 IOHIDQueueInterface** (*allocQueue) (void* self);                                                           \
 IOHIDOutputTransactionInterface** (*allocOutputTransaction) (void* self)

#define IOHIDDEVICEINTERFACE_FUNCS_121                                                                       \
 IOReturn (*setReport) (void* self, IOHIDReportType reportType, UInt32 reportID, void* reportBuffer,         \
                        UInt32 reportBufferSize, UInt32 timeoutMS, IOHIDReportCallbackFunction callback,     \
                        void* callbackTarget, void* callbackRefcon);                                         \
 IOReturn (*getReport) (void* self, IOHIDReportType reportType, UInt32 reportID, void* reportBuffer,         \
                        UInt32* reportBufferSize, UInt32 timeoutMS, IOHIDReportCallbackFunction callback,    \
                        void* callbackTarget, void* callbackRefcon)

#define IOHIDDEVICEINTERFACE_FUNCS_122                                                                       \
 IOReturn (*copyMatchingElements) (void* self, CFDictionaryRef matchingDict, CFArrayRef* elements);          \
 IOReturn (*setInterruptReportHandlerCallback) (void* self, void* reportBuffer, UInt32 reportBufferSize,     \
                                                IOHIDReportCallbackFunction callback, void* callbackTarget,  \
                                                void* callbackRefcon)

typedef struct IOHIDDeviceInterface
{
    IUNKNOWN_C_GUTS;
    IOHIDDEVICEINTERFACE_FUNCS_100;
} IOHIDDeviceInterface;

typedef struct IOHIDDeviceInterface121
{
    IUNKNOWN_C_GUTS;
    IOHIDDEVICEINTERFACE_FUNCS_100;
    IOHIDDEVICEINTERFACE_FUNCS_121;
} IOHIDDeviceInterface121;

typedef struct IOHIDDeviceInterface122
{
    IUNKNOWN_C_GUTS;
    IOHIDDEVICEINTERFACE_FUNCS_100;
    IOHIDDEVICEINTERFACE_FUNCS_121;
    IOHIDDEVICEINTERFACE_FUNCS_122;
} IOHIDDeviceInterface122;

__END_DECLS
