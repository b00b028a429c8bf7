// Run loops of the simulated platform: worker threads running and being
// stopped from elsewhere, the results of a timed run, what a loop holds on
// to, and the message thread's loop serviced by JUCE's own dispatch loop.

#include "TestSync.h"

#include <CoreFoundation/CoreFoundation.h>
#include <MacRunLoopBridge.h>
#include <sim_macos/MacStandIn.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using standintest::Event;
using standintest::SourceCounter;

namespace
{
/** Joins a thread that should have set done; one that hangs is left behind
    as a failure instead of hanging the test program. */
void joinWhenDone (std::thread& thread, Event& done, CFRunLoopRef loopToStop = nullptr)
{
    if (done.wait())
    {
        thread.join();
        return;
    }
    ADD_FAILURE() << "the thread did not finish";
    if (loopToStop != nullptr)
        CFRunLoopStop (loopToStop);
    thread.detach();
}

TEST (RunLoop, AWorkerServesItsSourcesUntilStoppedFromAnotherThread)
{
    SourceCounter counter;
    CFRunLoopSourceRef source = counter.makeSource();
    std::atomic<CFRunLoopRef> loop{ nullptr };
    Event published, returned;

    std::thread worker (
        [&]
        {
            CFRunLoopRef mine = CFRunLoopGetCurrent();
            CFRunLoopAddSource (mine, source, kCFRunLoopDefaultMode);
            loop = mine;
            published.set();
            CFRunLoopRun();
            returned.set();
        });
    ASSERT_TRUE (published.wait());

    CFRunLoopSourceSignal (source);
    CFRunLoopWakeUp (loop);
    EXPECT_TRUE (counter.waitForPerforms (1));
    EXPECT_EQ (counter.lastThread(), worker.get_id());
    EXPECT_FALSE (returned.isSet());

    CFRunLoopStop (loop);
    joinWhenDone (worker, returned, loop);
    CFRelease (source);
}

TEST (RunLoop, AStopBeforeTheLoopRunsIsLost)
{
    SourceCounter counter;
    CFRunLoopSourceRef source = counter.makeSource();
    std::atomic<CFRunLoopRef> loop{ nullptr };
    Event published, go, done;
    std::atomic<SInt32> result{ 0 };

    std::thread worker (
        [&]
        {
            CFRunLoopRef mine = CFRunLoopGetCurrent();
            CFRunLoopAddSource (mine, source, kCFRunLoopDefaultMode);
            loop = mine;
            published.set();
            go.wait();
            result = CFRunLoopRunInMode (kCFRunLoopDefaultMode, 0.05, false);
            done.set();
        });
    ASSERT_TRUE (published.wait());

    // The loop is not running: the stop is not kept for the run to come.
    CFRunLoopStop (loop);
    go.set();
    joinWhenDone (worker, done, loop);
    EXPECT_EQ (result.load(), kCFRunLoopRunTimedOut);
    CFRelease (source);
}

TEST (RunLoop, AStopEndsTheInnermostRunOnly)
{
    // The outer run's source runs an inner run, whose own source stops the
    // loop; the outer run goes on to its time-out.
    struct Nested
    {
        CFRunLoopSourceRef inner = nullptr;
        SInt32 innerResult = 0;
    } nested;

    CFRunLoopSourceContext outerContext{};
    outerContext.info = &nested;
    outerContext.perform = [] (void* info)
    {
        auto* n = static_cast<Nested*> (info);
        CFRunLoopSourceSignal (n->inner);
        n->innerResult = CFRunLoopRunInMode (kCFRunLoopDefaultMode, 5.0, false);
    };
    CFRunLoopSourceContext innerContext{};
    innerContext.perform = [] (void*) { CFRunLoopStop (CFRunLoopGetCurrent()); };
    CFRunLoopSourceRef outer = CFRunLoopSourceCreate (kCFAllocatorDefault, 0, &outerContext);
    nested.inner = CFRunLoopSourceCreate (kCFAllocatorDefault, 0, &innerContext);
    SInt32 outerResult = 0;

    std::thread worker (
        [&]
        {
            CFRunLoopRef mine = CFRunLoopGetCurrent();
            CFRunLoopAddSource (mine, outer, kCFRunLoopDefaultMode);
            CFRunLoopAddSource (mine, nested.inner, kCFRunLoopDefaultMode);
            CFRunLoopSourceSignal (outer);
            outerResult = CFRunLoopRunInMode (kCFRunLoopDefaultMode, 0.05, false);
        });
    worker.join();

    EXPECT_EQ (nested.innerResult, kCFRunLoopRunStopped);
    EXPECT_EQ (outerResult, kCFRunLoopRunTimedOut);
    CFRelease (outer);
    CFRelease (nested.inner);
}

TEST (RunLoop, TheHookRunsOnTheReaderJustBeforeItsRun)
{
    std::atomic<int> calls{ 0 };
    std::thread::id hookThread;
    simmac::setBeforeRunHook (
        [&]
        {
            hookThread = std::this_thread::get_id();
            ++calls;
        });
    std::thread worker ([] { CFRunLoopRun(); }); // no source: the run finishes at once
    const auto workerId = worker.get_id();
    worker.join();
    simmac::setBeforeRunHook (nullptr);

    EXPECT_EQ (calls.load(), 1);
    EXPECT_EQ (hookThread, workerId);
    std::thread after ([] { CFRunLoopRun(); });
    after.join();
    EXPECT_EQ (calls.load(), 1) << "removed, the hook is not called";
}

enum class Mode
{
    none,
    defaultMode,
    otherMode,
    commonModes
};

struct RunCase
{
    const char* name;
    Mode addedIn;
    bool signalled;
    bool invalidated;
    bool stoppedFirst;
    double seconds;
    bool returnAfterSourceHandled;
    SInt32 expected;
    int performs;
};

/** gtest prints a case by its name, not by its bytes. */
void PrintTo (const RunCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunInMode : public testing::TestWithParam<RunCase>
{
};

TEST_P (RunInMode, ReturnsWhyItEnded)
{
    const auto& c = GetParam();
    SourceCounter counter;
    CFRunLoopSourceRef source = counter.makeSource();
    SInt32 result = 0;

    // A fresh thread, so that no other test's sources are in the loop.
    std::thread worker (
        [&]
        {
            CFRunLoopRef loop = CFRunLoopGetCurrent();
            if (c.addedIn != Mode::none)
                CFRunLoopAddSource (loop, source,
                                    c.addedIn == Mode::defaultMode ? kCFRunLoopDefaultMode
                                    : c.addedIn == Mode::otherMode ? CFSTR ("OtherMode")
                                                                   : kCFRunLoopCommonModes);
            if (c.signalled)
                CFRunLoopSourceSignal (source);
            if (c.invalidated)
                CFRunLoopSourceInvalidate (source);
            if (c.stoppedFirst)
                CFRunLoopStop (loop);
            result = CFRunLoopRunInMode (kCFRunLoopDefaultMode, c.seconds, c.returnAfterSourceHandled);
        });
    worker.join();

    EXPECT_EQ (result, c.expected);
    EXPECT_EQ (counter.performs(), c.performs);
    CFRelease (source);
}

INSTANTIATE_TEST_SUITE_P (RunLoop, RunInMode,
                          testing::Values (RunCase{ "NoSourceFinishesAtOnce", Mode::none, false, false, false,
                                                    5.0, false, kCFRunLoopRunFinished, 0 },
                                           RunCase{ "OnlyAnotherModesSourceFinishes", Mode::otherMode, true,
                                                    false, false, 5.0, false, kCFRunLoopRunFinished, 0 },
                                           RunCase{ "InvalidatedSourceIsGone", Mode::defaultMode, true, true,
                                                    false, 5.0, false, kCFRunLoopRunFinished, 0 },
                                           RunCase{ "NothingToDoTimesOut", Mode::defaultMode, false, false,
                                                    false, 0.02, false, kCFRunLoopRunTimedOut, 0 },
                                           RunCase{ "HandledSourceReturnsWhenAsked", Mode::defaultMode, true,
                                                    false, false, 5.0, true, kCFRunLoopRunHandledSource, 1 },
                                           RunCase{ "HandledSourceRunsOnToTheTimeOut", Mode::defaultMode,
                                                    true, false, false, 0.02, false, kCFRunLoopRunTimedOut,
                                                    1 },
                                           RunCase{ "CommonModesServeTheDefaultMode", Mode::commonModes, true,
                                                    false, false, 5.0, true, kCFRunLoopRunHandledSource, 1 },
                                           RunCase{ "AStopBeforeTheRunIsLost", Mode::defaultMode, true, false,
                                                    true, 5.0, true, kCFRunLoopRunHandledSource, 1 }),
                          [] (const testing::TestParamInfo<RunCase>& info)
                          { return std::string (info.param.name); });

TEST (RunLoop, ALoopHoldsItsSourcesUntilItsThreadEnds)
{
    SourceCounter counter;
    CFRunLoopSourceRef source = counter.makeSource();
    ASSERT_EQ (counter.infoRetains(), 1);
    Event added, mayEnd;

    std::thread worker (
        [&]
        {
            CFRunLoopAddSource (CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
            added.set();
            mayEnd.wait();
        });
    ASSERT_TRUE (added.wait());
    CFRelease (source);
    EXPECT_EQ (counter.infoReleases(), 0);

    mayEnd.set();
    worker.join();
    EXPECT_EQ (counter.infoReleases(), 1);
}

//==============================================================================
TEST (MessageThreadRunLoop, ItsSourcesRunInsideJucesDispatchLoop)
{
    ASSERT_TRUE (simmac::startMessageThreadRunLoop());
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    EXPECT_EQ (CFRunLoopGetMain(), loop);

    SourceCounter counter;
    CFRunLoopSourceRef source = counter.makeSource();
    CFRunLoopAddSource (loop, source, kCFRunLoopDefaultMode);

    std::thread poster (
        [source]
        {
            CFRunLoopSourceSignal (source);
            CFRunLoopWakeUp (CFRunLoopGetMain());
        });
    poster.join();
    EXPECT_EQ (counter.performs(), 0) << "ran before the message loop did";

    EXPECT_TRUE (ulktest::pumpUntil ([&counter] { return counter.performs() == 1; }));
    EXPECT_EQ (counter.lastThread(), std::this_thread::get_id());

    CFRunLoopRemoveSource (loop, source, kCFRunLoopDefaultMode);
    CFRelease (source);
}

TEST (MessageThreadRunLoop, StartsOnlyOnTheMessageThread)
{
    bool started = true;
    std::thread other ([&started] { started = simmac::startMessageThreadRunLoop(); });
    other.join();
    EXPECT_FALSE (started);
    EXPECT_TRUE (simmac::startMessageThreadRunLoop()); // again on the message thread: still fine
}
} // namespace
