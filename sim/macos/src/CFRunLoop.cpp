// Run loops and run loop sources for the simulated macOS platform.
//
// Every thread has its own run loop, made on first use and released when the
// thread ends.  A loop sleeps on a condition variable; the main run loop can
// also be serviced from a foreign event loop through an eventfd that becomes
// readable whenever the loop has work.  One lock guards every loop and
// source, and no callback runs while it is held.

#include "CFInternal.h"

#include <sim_macos/MacStandIn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

using simcf::as;
using simcf::fatal;
using simcf::Object;

struct __CFRunLoopSource;

struct __CFRunLoop final : Object
{
    __CFRunLoop()
        : Object (simcf::runLoopType)
        , owner (std::this_thread::get_id())
    {
    }

    ~__CFRunLoop() override;

    struct Entry
    {
        __CFRunLoopSource* source; ///< retained by the entry
        std::string mode;
    };

    /** The thread the loop belongs to; the main thread takes over a main
        loop that another thread asked for first. */
    std::thread::id owner;
    std::condition_variable wake;
    std::vector<Entry> entries;
    /** One flag per run in progress on the loop's thread, innermost last:
        CFRunLoopStop ends the innermost run, and only a run in progress. */
    std::vector<bool> stops;
    bool wakePending = false;
    bool waiting = false;
    int eventFd = -1;
};

struct __CFRunLoopSource final : Object
{
    explicit __CFRunLoopSource (bool isPort)
        : Object (simcf::runLoopSourceType)
        , port (isPort)
    {
    }

    ~__CFRunLoopSource() override
    {
        if (!port && context.release != nullptr)
            context.release (context.info);
    }

    const bool port;
    CFRunLoopSourceContext context{};
    CFIndex order = 0;
    bool valid = true;
    bool signalled = false;
    std::deque<std::function<void()>> tasks;
    /** The loops with an entry for this source, each once. */
    std::vector<__CFRunLoop*> loops;
};

namespace
{
using Clock = std::chrono::steady_clock;

const char* const commonModesName = "kCFRunLoopCommonModes";

struct Globals
{
    std::mutex lock;
    __CFRunLoop* main = nullptr; ///< holds one reference

    std::mutex hookLock;
    std::shared_ptr<const simmac::RunHook> beforeRun;
};

/** Never destroyed: threads may end after the process's static objects. */
Globals& globals()
{
    static auto* g = new Globals();
    return *g;
}

/** A run in progress on a loop; the global lock is held when one is made or
    ends. */
class RunInProgress
{
public:
    explicit RunInProgress (__CFRunLoop& loopToUse)
        : loop (loopToUse)
        , depth (loopToUse.stops.size())
    {
        loop.stops.push_back (false);
    }

    ~RunInProgress() { loop.stops.pop_back(); }

    bool stopped() const { return loop.stops[depth]; }

    RunInProgress (const RunInProgress&) = delete;
    RunInProgress& operator= (const RunInProgress&) = delete;

private:
    __CFRunLoop& loop;
    const std::size_t depth;
};

bool isProcessMainThread()
{
    return gettid() == getpid();
}

/** The calling thread's loop; its reference goes when the thread ends. */
struct CurrentLoop
{
    ~CurrentLoop()
    {
        if (loop != nullptr)
            CFRelease (loop);
    }

    __CFRunLoop* loop = nullptr;
};

thread_local CurrentLoop current;

__CFRunLoop* currentLoop()
{
    if (current.loop == nullptr)
    {
        if (isProcessMainThread())
        {
            auto& g = globals();
            std::lock_guard<std::mutex> guard (g.lock);
            if (g.main == nullptr)
                g.main = new __CFRunLoop();
            g.main->owner = std::this_thread::get_id();
            current.loop = g.main;
            current.loop->references.fetch_add (1);
        }
        else
        {
            current.loop = new __CFRunLoop();
        }
    }
    return current.loop;
}

bool modeMatches (const std::string& entryMode, const std::string& runMode)
{
    return entryMode == runMode || entryMode == commonModesName;
}

bool isReady (const __CFRunLoopSource& source)
{
    return source.valid && (source.port ? !source.tasks.empty() : source.signalled);
}

// The functions below want the global lock held.

void notify (__CFRunLoop& loop)
{
    loop.wake.notify_all();
    if (loop.eventFd >= 0)
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write (loop.eventFd, &one, sizeof (one));
    }
}

bool hasSources (const __CFRunLoop& loop, const std::string& mode)
{
    for (auto& entry : loop.entries)
        if (modeMatches (entry.mode, mode))
            return true;
    return false;
}

bool hasReadySource (const __CFRunLoop& loop, const std::string& mode)
{
    for (auto& entry : loop.entries)
        if (modeMatches (entry.mode, mode) && isReady (*entry.source))
            return true;
    return false;
}

/** Takes one unit of work from the ready source of the mode that comes first
    by order; returns that source, retained, or null. */
__CFRunLoopSource* takeWork (__CFRunLoop& loop, const std::string& mode, std::function<void()>& work)
{
    __CFRunLoopSource* best = nullptr;
    for (auto& entry : loop.entries)
        if (modeMatches (entry.mode, mode) && isReady (*entry.source) &&
            (best == nullptr || entry.source->order < best->order))
            best = entry.source;

    if (best == nullptr)
        return nullptr;

    if (best->port)
    {
        work = std::move (best->tasks.front());
        best->tasks.pop_front();
    }
    else
    {
        best->signalled = false;
        work = [perform = best->context.perform, info = best->context.info]
        {
            if (perform != nullptr)
                perform (info);
        };
    }
    best->references.fetch_add (1);
    return best;
}

void removeLoopFrom (__CFRunLoopSource& source, const __CFRunLoop* loop)
{
    for (auto it = source.loops.begin(); it != source.loops.end(); ++it)
    {
        if (*it == loop)
        {
            source.loops.erase (it);
            return;
        }
    }
}

/** Runs one unit of work outside the lock; false when there was none. */
bool performOne (std::unique_lock<std::mutex>& held, __CFRunLoop& loop, const std::string& mode)
{
    std::function<void()> work;
    auto* source = takeWork (loop, mode, work);
    if (source == nullptr)
        return false;
    held.unlock();
    work();
    work = nullptr;
    CFRelease (source);
    held.lock();
    return true;
}

const std::string defaultModeName = "kCFRunLoopDefaultMode";
} // namespace

__CFRunLoop::~__CFRunLoop()
{
    std::vector<Entry> held;
    {
        std::lock_guard<std::mutex> guard (globals().lock);
        held.swap (entries);
        for (auto& entry : held)
            removeLoopFrom (*entry.source, this);
    }
    for (auto& entry : held)
        CFRelease (entry.source);
    if (eventFd >= 0)
        close (eventFd);
}

namespace simcf
{
CFRunLoopSourceRef createPortSource()
{
    return new __CFRunLoopSource (true);
}

void postToPortSource (CFRunLoopSourceRef source, std::function<void()> task)
{
    auto* s = as<__CFRunLoopSource> (source, runLoopSourceType, "postToPortSource");
    std::unique_lock<std::mutex> guard (globals().lock);
    if (!s->valid)
    {
        guard.unlock();
        return; // the task dies outside the lock
    }
    s->tasks.push_back (std::move (task));
    for (auto* loop : s->loops)
        notify (*loop);
}
} // namespace simcf

// The functions keep the C linkage of their declarations.
const CFStringRef kCFRunLoopDefaultMode = __CFStringMakeConstantString ("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = __CFStringMakeConstantString ("kCFRunLoopCommonModes");

CFTypeID CFRunLoopGetTypeID (void)
{
    return simcf::runLoopType;
}

namespace
{
std::atomic<void (*)()> currentLoopHook{ nullptr };

std::shared_ptr<const simmac::RunHook> beforeRunHook()
{
    auto& g = globals();
    std::lock_guard<std::mutex> guard (g.hookLock);
    return g.beforeRun;
}
} // namespace

CFRunLoopRef CFRunLoopGetCurrent (void)
{
    auto* loop = currentLoop();
    if (auto hook = currentLoopHook.load())
        hook();
    return loop;
}

CFRunLoopRef CFRunLoopGetMain (void)
{
    auto& g = globals();
    {
        std::lock_guard<std::mutex> guard (g.lock);
        if (g.main != nullptr)
            return g.main;
        if (!isProcessMainThread())
        {
            // The main thread adopts it when it first asks for its loop.
            g.main = new __CFRunLoop();
            return g.main;
        }
    }
    return currentLoop();
}

CFRunLoopRunResult CFRunLoopRunInMode (CFStringRef modeRef, CFTimeInterval seconds,
                                       Boolean returnAfterSourceHandled)
{
    auto& loop = *currentLoop();
    const std::string mode = simcf::textOf (modeRef);
    const bool forever = !(seconds < 1.0e9);
    const auto deadline =
        forever ? Clock::time_point::max()
                : Clock::now() + std::chrono::duration_cast<Clock::duration> (
                                     std::chrono::duration<double> (seconds > 0 ? seconds : 0.0));

    std::unique_lock<std::mutex> held (globals().lock);
    // Every run starts unstopped; the guard ends before the lock is let go.
    const RunInProgress run (loop);
    if (!hasSources (loop, mode))
        return kCFRunLoopRunFinished;

    for (;;)
    {
        if (run.stopped())
            return kCFRunLoopRunStopped;
        if (performOne (held, loop, mode))
        {
            if (returnAfterSourceHandled)
                return kCFRunLoopRunHandledSource;
            continue;
        }
        if (!hasSources (loop, mode))
            return kCFRunLoopRunFinished;
        if (!forever && Clock::now() >= deadline)
            return kCFRunLoopRunTimedOut;

        loop.wakePending = false;
        loop.waiting = true;
        const auto due = [&loop, &mode, &run] {
            return loop.wakePending || run.stopped() || hasReadySource (loop, mode) ||
                   !hasSources (loop, mode);
        };
        if (forever)
            loop.wake.wait (held, due);
        else
            loop.wake.wait_until (held, deadline, due);
        loop.waiting = false;
    }
}

void CFRunLoopRun (void)
{
    if (!isProcessMainThread())
        if (auto hook = beforeRunHook())
            (*hook)();

    for (;;)
    {
        const auto result = CFRunLoopRunInMode (kCFRunLoopDefaultMode, 1.0e10, false);
        if (result == kCFRunLoopRunStopped || result == kCFRunLoopRunFinished)
            return;
    }
}

Boolean CFRunLoopIsWaiting (CFRunLoopRef rl)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopIsWaiting");
    std::lock_guard<std::mutex> guard (globals().lock);
    return loop->waiting;
}

void CFRunLoopWakeUp (CFRunLoopRef rl)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopWakeUp");
    std::lock_guard<std::mutex> guard (globals().lock);
    loop->wakePending = true;
    notify (*loop);
}

void CFRunLoopStop (CFRunLoopRef rl)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopStop");
    std::lock_guard<std::mutex> guard (globals().lock);
    // A loop that is not running has nothing to stop: the stop is lost.
    if (loop->stops.empty())
        return;
    loop->stops.back() = true;
    notify (*loop);
}

Boolean CFRunLoopContainsSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef modeRef)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopContainsSource");
    const std::string mode = simcf::textOf (modeRef);
    std::lock_guard<std::mutex> guard (globals().lock);
    for (auto& entry : loop->entries)
        if (entry.source == source && entry.mode == mode)
            return true;
    return false;
}

void CFRunLoopAddSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef modeRef)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopAddSource");
    auto* s = as<__CFRunLoopSource> (source, simcf::runLoopSourceType, "CFRunLoopAddSource");
    const std::string mode = simcf::textOf (modeRef);
    std::lock_guard<std::mutex> guard (globals().lock);
    if (!s->valid)
        return;
    for (auto& entry : loop->entries)
        if (entry.source == s && entry.mode == mode)
            return;
    s->references.fetch_add (1);
    loop->entries.push_back ({ s, mode });
    bool known = false;
    for (auto* l : s->loops)
        known = known || l == loop;
    if (!known)
        s->loops.push_back (loop);
    if (isReady (*s))
        notify (*loop);
}

void CFRunLoopRemoveSource (CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef modeRef)
{
    auto* loop = as<__CFRunLoop> (rl, simcf::runLoopType, "CFRunLoopRemoveSource");
    auto* s = as<__CFRunLoopSource> (source, simcf::runLoopSourceType, "CFRunLoopRemoveSource");
    const std::string mode = simcf::textOf (modeRef);
    {
        std::lock_guard<std::mutex> guard (globals().lock);
        auto it = loop->entries.begin();
        while (it != loop->entries.end() && !(it->source == s && it->mode == mode))
            ++it;
        if (it == loop->entries.end())
            return;
        loop->entries.erase (it);
        bool stillThere = false;
        for (auto& entry : loop->entries)
            stillThere = stillThere || entry.source == s;
        if (!stillThere)
            removeLoopFrom (*s, loop);
        // A loop whose mode just went empty must see it.
        notify (*loop);
    }
    CFRelease (s);
}

CFTypeID CFRunLoopSourceGetTypeID (void)
{
    return simcf::runLoopSourceType;
}

CFRunLoopSourceRef CFRunLoopSourceCreate (CFAllocatorRef, CFIndex order, CFRunLoopSourceContext* context)
{
    if (context == nullptr || context->version != 0)
        fatal ("CFRunLoopSourceCreate", "only version 0 sources are supported");
    auto* s = new __CFRunLoopSource (false);
    s->context = *context;
    s->order = order;
    if (s->context.retain != nullptr)
        s->context.info = const_cast<void*> (s->context.retain (s->context.info));
    return s;
}

void CFRunLoopSourceSignal (CFRunLoopSourceRef source)
{
    auto* s = as<__CFRunLoopSource> (source, simcf::runLoopSourceType, "CFRunLoopSourceSignal");
    std::lock_guard<std::mutex> guard (globals().lock);
    if (s->valid && !s->port)
        s->signalled = true;
}

void CFRunLoopSourceInvalidate (CFRunLoopSourceRef source)
{
    auto* s = as<__CFRunLoopSource> (source, simcf::runLoopSourceType, "CFRunLoopSourceInvalidate");
    std::deque<std::function<void()>> dropped;
    int releases = 0;
    {
        std::lock_guard<std::mutex> guard (globals().lock);
        s->valid = false;
        s->signalled = false;
        dropped.swap (s->tasks);
        for (auto* loop : s->loops)
        {
            for (auto it = loop->entries.begin(); it != loop->entries.end();)
            {
                if (it->source == s)
                {
                    it = loop->entries.erase (it);
                    ++releases;
                }
                else
                {
                    ++it;
                }
            }
            notify (*loop);
        }
        s->loops.clear();
    }
    while (releases-- > 0)
        CFRelease (s);
}

Boolean CFRunLoopSourceIsValid (CFRunLoopSourceRef source)
{
    auto* s = as<__CFRunLoopSource> (source, simcf::runLoopSourceType, "CFRunLoopSourceIsValid");
    std::lock_guard<std::mutex> guard (globals().lock);
    return s->valid;
}

namespace simmac
{
void setCurrentLoopHook (void (*hook)())
{
    currentLoopHook.store (hook);
}

void setBeforeRunHook (RunHook hook)
{
    auto made = hook ? std::make_shared<const RunHook> (std::move (hook)) : nullptr;
    auto& g = globals();
    std::lock_guard<std::mutex> guard (g.hookLock);
    g.beforeRun = std::move (made);
}

int attachMainRunLoop()
{
    auto* loop = currentLoop();
    auto& g = globals();
    std::lock_guard<std::mutex> guard (g.lock);
    if (g.main != loop)
    {
        loop->references.fetch_add (1);
        g.main = loop; // a main loop made before for another thread stays with it
    }
    if (loop->eventFd < 0)
    {
        loop->eventFd = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (loop->eventFd < 0)
            fatal ("attachMainRunLoop", "no eventfd");
        if (hasReadySource (*loop, defaultModeName))
            notify (*loop);
    }
    return loop->eventFd;
}

void serviceMainRunLoop (CFStringRef modeRef)
{
    const std::string mode = simcf::textOf (modeRef);
    auto& g = globals();
    std::unique_lock<std::mutex> held (g.lock);
    auto* loop = g.main;
    if (loop == nullptr || loop->owner != std::this_thread::get_id())
        fatal ("serviceMainRunLoop", "not on the main run loop's thread");

    if (loop->eventFd >= 0)
    {
        std::uint64_t count;
        while (read (loop->eventFd, &count, sizeof (count)) > 0)
        {
        }
    }

    // A bounded batch, so that work that keeps posting work cannot starve the
    // event loop that services this one.
    for (int i = 0; i < 64 && performOne (held, *loop, mode); ++i)
    {
    }

    // Work of other modes waits, without a wake-up, for a service in its mode.
    if (hasReadySource (*loop, mode))
        notify (*loop);
}

bool mainRunLoopHasWork (CFStringRef modeRef)
{
    const std::string mode = simcf::textOf (modeRef);
    auto& g = globals();
    std::lock_guard<std::mutex> guard (g.lock);
    return g.main != nullptr && hasReadySource (*g.main, mode);
}

void detachMainRunLoop()
{
    auto& g = globals();
    std::lock_guard<std::mutex> guard (g.lock);
    if (g.main != nullptr && g.main->eventFd >= 0)
    {
        close (g.main->eventFd);
        g.main->eventFd = -1;
    }
}
} // namespace simmac
