#pragma once

// Small synchronisation helpers for the stand-in's tests: a one-shot event,
// a version 0 run loop source that counts what happens to it, and a stop that
// cannot be lost.

#include <CoreFoundation/CoreFoundation.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace standintest
{
/** Waits are generous: they only bound a failing test. */
constexpr int generousMs = 5000;

class Event
{
public:
    void set()
    {
        {
            std::lock_guard<std::mutex> guard (lock);
            flag = true;
        }
        changed.notify_all();
    }

    bool wait (int timeoutMs = generousMs)
    {
        std::unique_lock<std::mutex> held (lock);
        return changed.wait_for (held, std::chrono::milliseconds (timeoutMs), [this] { return flag; });
    }

    bool isSet() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return flag;
    }

private:
    mutable std::mutex lock;
    std::condition_variable changed;
    bool flag = false;
};

/** Makes version 0 sources whose performs, and retains and releases of
    their info, it counts. */
class SourceCounter
{
public:
    CFRunLoopSourceRef makeSource (CFIndex order = 0)
    {
        CFRunLoopSourceContext context{};
        context.info = this;
        context.retain = retain;
        context.release = release;
        context.perform = perform;
        return CFRunLoopSourceCreate (kCFAllocatorDefault, order, &context);
    }

    int performs() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return performCount;
    }

    bool waitForPerforms (int count)
    {
        std::unique_lock<std::mutex> held (lock);
        return changed.wait_for (held, std::chrono::milliseconds (generousMs),
                                 [this, count] { return performCount >= count; });
    }

    std::thread::id lastThread() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return performer;
    }

    int infoRetains() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return retains;
    }

    int infoReleases() const
    {
        std::lock_guard<std::mutex> guard (lock);
        return releases;
    }

private:
    static const void* retain (const void* info)
    {
        auto* self = static_cast<SourceCounter*> (const_cast<void*> (info));
        std::lock_guard<std::mutex> guard (self->lock);
        ++self->retains;
        return info;
    }

    static void release (const void* info)
    {
        auto* self = static_cast<SourceCounter*> (const_cast<void*> (info));
        std::lock_guard<std::mutex> guard (self->lock);
        ++self->releases;
    }

    static void perform (void* info)
    {
        auto* self = static_cast<SourceCounter*> (info);
        {
            std::lock_guard<std::mutex> guard (self->lock);
            ++self->performCount;
            self->performer = std::this_thread::get_id();
        }
        self->changed.notify_all();
    }

    mutable std::mutex lock;
    std::condition_variable changed;
    int performCount = 0;
    int retains = 0;
    int releases = 0;
    std::thread::id performer;
};

/** Stops a loop's run from another thread, whether or not the run has begun:
    CFRunLoopStop alone is lost on a loop that is not running yet.  Add it to
    the loop on its own thread before the run. */
class LoopStopper
{
public:
    LoopStopper()
    {
        CFRunLoopSourceContext context{};
        context.perform = [] (void*) { CFRunLoopStop (CFRunLoopGetCurrent()); };
        source = CFRunLoopSourceCreate (kCFAllocatorDefault, 0, &context);
    }

    ~LoopStopper()
    {
        CFRunLoopSourceInvalidate (source);
        CFRelease (source);
    }

    void addTo (CFRunLoopRef loop) { CFRunLoopAddSource (loop, source, kCFRunLoopDefaultMode); }

    void stop (CFRunLoopRef loop)
    {
        CFRunLoopSourceSignal (source);
        CFRunLoopWakeUp (loop);
    }

    LoopStopper (const LoopStopper&) = delete;
    LoopStopper& operator= (const LoopStopper&) = delete;

private:
    CFRunLoopSourceRef source;
};
} // namespace standintest
