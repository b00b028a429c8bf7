#pragma once

// CoreFoundation for the simulated macOS platform: reference-counted objects,
// strings, numbers, dictionaries, arrays, UUIDs, run loops and the COM glue of
// plug-ins, as far as the program's HID backend uses them.
//
// Where it differs from a Mac: see the list in <sim_macos/MacStandIn.h>.

#include <MacTypes.h>
#include <stddef.h>

#ifdef __cplusplus
 #define CF_EXTERN_C_BEGIN                                                                                   \
  extern "C"                                                                                                 \
  {
 #define CF_EXTERN_C_END }
#else
 #define CF_EXTERN_C_BEGIN
 #define CF_EXTERN_C_END
#endif

CF_EXTERN_C_BEGIN

typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef double CFTimeInterval;

typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;
typedef const struct __CFUUID* CFUUIDRef;
typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;

/** NULL: the only allocator there is. */
extern const CFAllocatorRef kCFAllocatorDefault;

//==============================================================================
// Every object

CFTypeRef CFRetain (CFTypeRef cf);
void CFRelease (CFTypeRef cf);
CFIndex CFGetRetainCount (CFTypeRef cf);
CFTypeID CFGetTypeID (CFTypeRef cf);
Boolean CFEqual (CFTypeRef cf1, CFTypeRef cf2);
CFHashCode CFHash (CFTypeRef cf);

//==============================================================================
// Strings

typedef UInt32 CFStringEncoding;

enum
{
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100
};

CFTypeID CFStringGetTypeID (void);
CFStringRef CFStringCreateWithCString (CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
/** False when the text and its NUL do not fit in bufferSize bytes. */
Boolean CFStringGetCString (CFStringRef theString, char* buffer, CFIndex bufferSize,
                            CFStringEncoding encoding);
const char* CFStringGetCStringPtr (CFStringRef theString, CFStringEncoding encoding);
CFIndex CFStringGetLength (CFStringRef theString);

/** The string behind CFSTR: one immortal object per text. */
CFStringRef __CFStringMakeConstantString (const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString ("" cStr "")

//==============================================================================
// Numbers

typedef CFIndex CFNumberType;

enum
{
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10, ///< the platform's long, 64 bits as on a 64-bit Mac
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
    kCFNumberNSIntegerType = 15,
    kCFNumberCGFloatType = 16,
    kCFNumberMaxType = 16
};

CFTypeID CFNumberGetTypeID (void);
CFNumberRef CFNumberCreate (CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
CFNumberType CFNumberGetType (CFNumberRef number);
/** Stores the value converted to theType; false when the conversion lost
    something (out of range, or a fraction dropped). */
Boolean CFNumberGetValue (CFNumberRef number, CFNumberType theType, void* valuePtr);

//==============================================================================
// Dictionaries

typedef const void* (*CFDictionaryRetainCallBack) (CFAllocatorRef allocator, const void* value);
typedef void (*CFDictionaryReleaseCallBack) (CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFDictionaryCopyDescriptionCallBack) (const void* value);
typedef Boolean (*CFDictionaryEqualCallBack) (const void* value1, const void* value2);
typedef CFHashCode (*CFDictionaryHashCallBack) (const void* value);

typedef struct
{
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
    CFDictionaryHashCallBack hash;
} CFDictionaryKeyCallBacks;

typedef struct
{
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
} CFDictionaryValueCallBacks;

extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFTypeID CFDictionaryGetTypeID (void);
CFDictionaryRef CFDictionaryCreate (CFAllocatorRef allocator, const void** keys, const void** values,
                                    CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                    const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutable (CFAllocatorRef allocator, CFIndex capacity,
                                                  const CFDictionaryKeyCallBacks* keyCallBacks,
                                                  const CFDictionaryValueCallBacks* valueCallBacks);
CFIndex CFDictionaryGetCount (CFDictionaryRef theDict);
const void* CFDictionaryGetValue (CFDictionaryRef theDict, const void* key);
Boolean CFDictionaryGetValueIfPresent (CFDictionaryRef theDict, const void* key, const void** value);
Boolean CFDictionaryContainsKey (CFDictionaryRef theDict, const void* key);
/** Fills keys and values (either may be NULL) with CFDictionaryGetCount entries. */
void CFDictionaryGetKeysAndValues (CFDictionaryRef theDict, const void** keys, const void** values);
void CFDictionarySetValue (CFMutableDictionaryRef theDict, const void* key, const void* value);
void CFDictionaryAddValue (CFMutableDictionaryRef theDict, const void* key, const void* value);
void CFDictionaryRemoveValue (CFMutableDictionaryRef theDict, const void* key);

//==============================================================================
// Arrays

typedef const void* (*CFArrayRetainCallBack) (CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack) (CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack) (const void* value);
typedef Boolean (*CFArrayEqualCallBack) (const void* value1, const void* value2);

typedef struct
{
    CFIndex version;
    CFArrayRetainCallBack retain;
    CFArrayReleaseCallBack release;
    CFArrayCopyDescriptionCallBack copyDescription;
    CFArrayEqualCallBack equal;
} CFArrayCallBacks;

extern const CFArrayCallBacks kCFTypeArrayCallBacks;

CFTypeID CFArrayGetTypeID (void);
CFArrayRef CFArrayCreate (CFAllocatorRef allocator, const void** values, CFIndex numValues,
                          const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutable (CFAllocatorRef allocator, CFIndex capacity,
                                        const CFArrayCallBacks* callBacks);
CFIndex CFArrayGetCount (CFArrayRef theArray);
/** idx outside the array stops the program, as a Mac's CoreFoundation does. */
const void* CFArrayGetValueAtIndex (CFArrayRef theArray, CFIndex idx);
void CFArrayAppendValue (CFMutableArrayRef theArray, const void* value);

//==============================================================================
// UUIDs

typedef struct
{
    UInt8 byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7;
    UInt8 byte8, byte9, byte10, byte11, byte12, byte13, byte14, byte15;
} CFUUIDBytes;

CFTypeID CFUUIDGetTypeID (void);
/** One immortal object per value, never to be released. */
CFUUIDRef CFUUIDGetConstantUUIDWithBytes (CFAllocatorRef alloc, UInt8 byte0, UInt8 byte1, UInt8 byte2,
                                          UInt8 byte3, UInt8 byte4, UInt8 byte5, UInt8 byte6, UInt8 byte7,
                                          UInt8 byte8, UInt8 byte9, UInt8 byte10, UInt8 byte11, UInt8 byte12,
                                          UInt8 byte13, UInt8 byte14, UInt8 byte15);
CFUUIDRef CFUUIDCreateFromUUIDBytes (CFAllocatorRef alloc, CFUUIDBytes bytes);
CFUUIDBytes CFUUIDGetUUIDBytes (CFUUIDRef uuid);

//==============================================================================
// Run loops

typedef CFStringRef CFRunLoopMode;

typedef SInt32 CFRunLoopRunResult;

enum
{
    kCFRunLoopRunFinished = 1,
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4
};

extern const CFStringRef kCFRunLoopDefaultMode;
extern const CFStringRef kCFRunLoopCommonModes;

typedef struct
{
    CFIndex version; ///< 0: a source that someone signals
    void* info;
    const void* (*retain) (const void* info);
    void (*release) (const void* info);
    CFStringRef (*copyDescription) (const void* info);
    Boolean (*equal) (const void* info1, const void* info2);
    CFHashCode (*hash) (const void* info);
    void (*schedule) (void* info, CFRunLoopRef rl, CFStringRef mode);
    void (*cancel) (void* info, CFRunLoopRef rl, CFStringRef mode);
    void (*perform) (void* info);
} CFRunLoopSourceContext;

CFTypeID CFRunLoopGetTypeID (void);
CFRunLoopRef CFRunLoopGetCurrent (void);
CFRunLoopRef CFRunLoopGetMain (void);
void CFRunLoopRun (void);
CFRunLoopRunResult CFRunLoopRunInMode (CFStringRef mode, CFTimeInterval seconds,
                                       Boolean returnAfterSourceHandled);
Boolean CFRunLoopIsWaiting (CFRunLoopRef rl);
void CFRunLoopWakeUp (CFRunLoopRef rl);
void CFRunLoopStop (CFRunLoopRef rl);
Boolean CFRunLoopContainsSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
void CFRunLoopAddSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
void CFRunLoopRemoveSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);

CFTypeID CFRunLoopSourceGetTypeID (void);
CFRunLoopSourceRef CFRunLoopSourceCreate (CFAllocatorRef allocator, CFIndex order,
                                          CFRunLoopSourceContext* context);
void CFRunLoopSourceSignal (CFRunLoopSourceRef source);
void CFRunLoopSourceInvalidate (CFRunLoopSourceRef source);
Boolean CFRunLoopSourceIsValid (CFRunLoopSourceRef source);

//==============================================================================
// The COM conventions of plug-in interfaces

typedef SInt32 HRESULT;
typedef UInt32 ULONG;
typedef void* LPVOID;
typedef CFUUIDBytes REFIID;

#define STDMETHODCALLTYPE

#define S_OK ((HRESULT) 0x00000000L)
#define S_FALSE ((HRESULT) 0x00000001L)
#define E_NOTIMPL ((HRESULT) 0x80000001L)
#define E_OUTOFMEMORY ((HRESULT) 0x80000002L)
#define E_INVALIDARG ((HRESULT) 0x80000003L)
#define E_NOINTERFACE ((HRESULT) 0x80000004L)
#define E_POINTER ((HRESULT) 0x80000005L)
#define E_FAIL ((HRESULT) 0x80000008L)
#define E_UNEXPECTED ((HRESULT) 0x8000FFFFL)
#define SUCCEEDED(status) ((HRESULT) (status) >= 0)
#define FAILED(status) ((HRESULT) (status) < 0)

/** The first members of every plug-in interface; each function takes the
    interface pointer itself first. */
#define IUNKNOWN_C_GUTS                                                                                      \
 void* _reserved;                                                                                            \
 HRESULT (STDMETHODCALLTYPE* QueryInterface) (void* thisPointer, REFIID iid, LPVOID* ppv);                   \
 ULONG (STDMETHODCALLTYPE* AddRef) (void* thisPointer);                                                      \
 ULONG (STDMETHODCALLTYPE* Release) (void* thisPointer)

typedef struct IUnknownVTbl
{
    IUNKNOWN_C_GUTS;
} IUnknownVTbl;

#define IUnknownUUID                                                                                         \
 CFUUIDGetConstantUUIDWithBytes (kCFAllocatorDefault, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,  \
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

CF_EXTERN_C_END
