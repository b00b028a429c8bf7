#pragma once

// What the CoreFoundation objects are made of, shared by the parts of the
// simulated macOS platform.

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <functional>
#include <string>

namespace simcf
{
enum TypeIds : CFTypeID
{
    stringType = 7,
    numberType = 22,
    dictionaryType = 18,
    arrayType = 19,
    uuidType = 34,
    runLoopType = 43,
    runLoopSourceType = 46
};

/** The common part of every CoreFoundation object. */
class Object
{
public:
    explicit Object (CFTypeID typeToUse);
    virtual ~Object();

    virtual bool equals (const Object& other) const { return this == &other; }
    virtual CFHashCode hash() const { return (CFHashCode) this; }

    const CFTypeID type;
    std::atomic<long> references{ 1 };
    /** Constants: retain and release do nothing. */
    bool immortal = false;

    Object (const Object&) = delete;
    Object& operator= (const Object&) = delete;
};

/** The object behind cf; stops the program for NULL, as a Mac does. */
Object* toObject (CFTypeRef cf, const char* caller);

/** The object as type T, or the program stops naming the caller. */
template <typename T>
T* as (CFTypeRef cf, CFTypeID expected, const char* caller);

/** Stops the program with a message, like a CoreFoundation precondition. */
[[noreturn]] void fatal (const char* caller, const char* what);

/** The 8-bit text of a CFString. */
std::string textOf (CFStringRef string);

/** A run loop source that the IOKit parts feed: each posted task runs once,
    in posting order, on a thread running a run loop that holds the source.
    Tasks posted while it is in no run loop wait for one. */
CFRunLoopSourceRef createPortSource();

/** Queues task on source and wakes the run loops that hold it; nothing
    happens once the source is invalid. */
void postToPortSource (CFRunLoopSourceRef source, std::function<void()> task);
} // namespace simcf

template <typename T>
T* simcf::as (CFTypeRef cf, CFTypeID expected, const char* caller)
{
    Object* object = toObject (cf, caller);
    if (object->type != expected)
        fatal (caller, "object of the wrong type");
    return static_cast<T*> (object);
}
