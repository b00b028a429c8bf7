// The execute engine against the simulated controller: completion and the
// controller's reboot, tries and pauses, and cancelling.

#include "EngineTestSupport.h"

#include <UlkDeviceDetector.h>
#include <UpdateExecutor.h>
#include <UpdateFileLoader.h>

#include <juce_core/juce_core.h>

using namespace enginetest;
using sim::RequestKind;

namespace
{
class Executor : public BusTest
{
protected:
    Executor()
    {
        recorder.read = [this] { return executor.getExecStatus(); };
        executor.setRetryWaitTime (5);
    }

    ~Executor() override
    {
        executor.stop();
        device = nullptr;
    }

    /** Loads a valid file, as the program does before it executes. */
    void loadInto (sim::SimulatedController& c, std::uint16_t version = 0x0200)
    {
        std::atomic<double> progress{ 0.0 };
        StatusRecorder loadRecorder;
        UpdateFileLoader loader (&loadRecorder, progress);
        loadRecorder.read = [&] { return loader.getLoadStatus(); };
        loader.start (
            juce::File (
                ulktest::UpdateFileBuilder::km3300().imageSize (29 * 20).firmwareVersion (version).writeTo (
                    dir.file ("update.bin"))),
            device);
        ASSERT_TRUE (ulktest::pumpUntil ([&] { return !loader.isLoading(); }));
        ASSERT_EQ (loader.getLoadStatus(), UpdateFileLoader::loadCompleted);
        ASSERT_FALSE (c.loadedFile().empty());
        executor.setExecTimeout (loader.getExecTimeout());
    }

    int execute()
    {
        executor.start (device);
        EXPECT_TRUE (ulktest::pumpUntil ([this] { return !executor.isRunning(); }, 30000));
        ulktest::pumpFor (10);
        return executor.getExecStatus();
    }

    StatusRecorder recorder;
    UpdateExecutor executor{ &recorder };
    UlkDevice::Ptr device;
};

constexpr int completed = UpdateExecutor::execCompleted;
constexpr int notCompleted = UpdateExecutor::execNotCompleted;

struct Seen
{
    std::vector<int> kinds;
    std::vector<UlkDeviceInfo> arrivals;

    static void arrived (UlkDevice::Ptr device, void* self)
    {
        static_cast<Seen*> (self)->arrivals.push_back (device->getDeviceInfo());
        static_cast<Seen*> (self)->kinds.push_back (0);
    }
    static void removed (qmhid::HIDDeviceIdentifier*, void* self)
    {
        static_cast<Seen*> (self)->kinds.push_back (1);
    }
};
} // namespace

TEST_F (Executor, ACompletedUpdateRebootsTheControllerIntoTheNewFirmware)
{
    UlkDeviceDetector detector;
    Seen seen;
    detector.setDeviceArrivalCallback (Seen::arrived, &seen);
    detector.setDeviceRemovalCallback (Seen::removed, &seen);
    detector.startDetect();

    auto controller = plugController();
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return seen.arrivals.size() == 1; }));
    device = openController (controller->deviceId());
    loadInto (*controller, 0x0321);
    controller->setExecuteTimeoutSeconds (0);

    EXPECT_EQ (execute(), completed);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::execute), 1);

    // The controller goes away and comes back in normal mode with the new version.
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return seen.arrivals.size() == 2; }));
    EXPECT_EQ (seen.kinds, (std::vector<int>{ 0, 1, 0 }));
    EXPECT_EQ (seen.arrivals[1].softwareVersion, 0x0321);
    EXPECT_EQ (seen.arrivals[1].operationMode, sim::ControllerIdentity::normalMode);
}

TEST_F (Executor, AControllerThatNeverConfirmsIsTriedThreeTimes)
{
    auto controller = plugController();
    device = openController (controller->deviceId());
    loadInto (*controller);
    controller->neverConfirmExecute();
    executor.setExecTimeout (50);

    ulktest::StderrCapture err;
    EXPECT_EQ (execute(), notCompleted);
    const auto text = err.finish();

    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::execute), 3);
    EXPECT_EQ (requestKinds (*controller).back(), RequestKind::endOfTransmission);
    for (int attempt = 1; attempt <= 3; ++attempt)
        EXPECT_NE (text.find ("exec timeouted (" + std::to_string (attempt) + ")\n"), std::string::npos)
            << text;
    EXPECT_EQ (text.find ("exec timeouted (4)"), std::string::npos);
    EXPECT_EQ (text.find ("exec timeout(executor): 50\n") != std::string::npos, ulktest::isMacFlavour())
        << text;
}

TEST_F (Executor, ASecondTryCanSucceed)
{
    auto controller = plugController();
    device = openController (controller->deviceId());
    loadInto (*controller);
    // The first request goes unanswered; the controller takes the second
    // (and flashes for less than the time-out).
    controller->neverConfirmExecute();
    executor.setExecTimeout (1000);

    ulktest::StderrCapture err;
    executor.start (device);
    ASSERT_TRUE (
        controller->waitUntil ([] (const sim::ControllerRecord& r) { return r.executeRequests == 1; }, 5000));
    controller->neverConfirmExecute (false);
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return !executor.isRunning(); }, 30000));
    ulktest::pumpFor (10);
    const auto text = err.finish();

    EXPECT_EQ (executor.getExecStatus(), completed);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::execute), 2);
    EXPECT_NE (text.find ("exec timeouted (1)\n"), std::string::npos) << text;
    EXPECT_EQ (text.find ("exec timeouted (2)"), std::string::npos) << text;
}

TEST_F (Executor, WithoutALoadedImageTheControllerRefusesEveryTry)
{
    auto controller = plugController();
    device = openController (controller->deviceId());
    executor.setRetryCount (0);

    EXPECT_EQ (execute(), notCompleted);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::execute), 1);
    EXPECT_EQ (requestKinds (*controller).back(), RequestKind::endOfTransmission);
}

TEST_F (Executor, TwoExecutionsInARowAnnounceRunningAgain)
{
    auto controller = plugController();
    device = openController (controller->deviceId());
    controller->neverConfirmExecute();
    executor.setExecTimeout (20);
    executor.setRetryCount (0);

    EXPECT_EQ (execute(), notCompleted);
    EXPECT_EQ (recorder.seen.back(), notCompleted);

    // The second run's first announcement is execRunning, unless it merged with
    // the final one; either way it ends announced as not completed.
    recorder.seen.clear();
    EXPECT_EQ (execute(), notCompleted);
    ASSERT_FALSE (recorder.seen.empty());
    EXPECT_EQ (recorder.seen.back(), notCompleted);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::execute), 2);
}

TEST_F (Executor, EveryFailedTryIsFollowedByThePause)
{
    // Refused at once (no image loaded) or left unanswered until the time-out:
    // either way the next request, and after the last try the end of
    // transmission, go out only after the pause.
    constexpr int pauseMs = 400;
    struct Case
    {
        const char* name;
        bool unanswered;
        int timeoutMs;
    };

    for (const auto& c : { Case{ "refused", false, 50 }, Case{ "unanswered", true, 150 } })
    {
        SCOPED_TRACE (c.name);
        const auto plugged = plugIntercepted();
        ReportTimes times;
        plugged.model->setOnReport ([&] (const std::uint8_t* data, std::size_t len)
                                    { times.note (data, len); });
        device = openController (plugged.id);
        plugged.controller->neverConfirmExecute (c.unanswered);
        executor.setRetryWaitTime (pauseMs);
        executor.setExecTimeout (c.timeoutMs);

        EXPECT_EQ (execute(), notCompleted);
        const auto gaps = times.gapsMs ({ RequestKind::execute, RequestKind::endOfTransmission });
        ASSERT_EQ (gaps.size(), 3u); // three tries, then the end of transmission
        // Less a tick of slack for the granularity of the system's timers.
        for (const double gap : gaps)
            EXPECT_GE (gap, (c.unanswered ? c.timeoutMs : 0) + pauseMs - 20);

        plugged.model->setOnReport (nullptr);
        device = nullptr;
        sim::VirtualHidBus::instance().unplug (plugged.id);
    }
}

TEST_F (Executor, AStopSendsNoFurtherRequestAndClosesTheExchange)
{
    // Stopped while the controller has yet to answer the first request, or in
    // the pause after a refused try (no image loaded: the request is refused
    // at once).  The pause is longer than a stop waits, so the run ends in
    // time only when the stop cuts it short.  Each case has an engine of its
    // own: the wake-up of a stop that lands in a try stays pending for the
    // engine's next run (the program stops an engine only to delete it).
    struct Case
    {
        const char* name;
        bool refused;
    };

    for (const auto& c : { Case{ "during the first try", false }, Case{ "in the pause after a try", true } })
    {
        SCOPED_TRACE (c.name);
        StatusRecorder listener;
        UpdateExecutor run (&listener);
        listener.read = [&] { return run.getExecStatus(); };
        run.setRetryWaitTime (5000);
        run.setExecTimeout (400);
        auto controller = plugController();
        device = openController (controller->deviceId());
        controller->neverConfirmExecute (!c.refused);

        run.start (device);
        ASSERT_TRUE (controller->waitUntil (
            [&] (const sim::ControllerRecord& r)
            {
                return c.refused ? !r.sent.empty() && r.sent.back().inReplyTo == RequestKind::execute
                                 : r.executeRequests == 1;
            },
            5000));
        // Time for the refusal to reach the thread and its pause to begin.
        if (c.refused)
            ulktest::pumpFor (200);

        run.stop();
        EXPECT_FALSE (run.isRunning());
        ulktest::pumpFor (10);
        EXPECT_EQ (run.getExecStatus(), notCompleted);

        // Closed at once, or once the abandoned request's wait is over; a
        // request sent after the stop would come before that.
        EXPECT_TRUE (controller->waitUntil (
            [] (const sim::ControllerRecord& r)
            { return !r.received.empty() && r.received.back().kind == RequestKind::endOfTransmission; },
            5000));
        const auto kinds = requestKinds (*controller);
        EXPECT_EQ (countOf (kinds, RequestKind::execute), 1);
        EXPECT_EQ (countOf (kinds, RequestKind::endOfTransmission), 1);

        device = nullptr;
        controller->unplug();
    }
}

TEST_F (Executor, TheExecutionTimeOutPersistsAndBoundsEachTry)
{
    UpdateExecutor fresh (&recorder);
    EXPECT_EQ (fresh.getExecTimeout(), 15000);
    EXPECT_EQ (fresh.getRetryCount(), 2);
    EXPECT_EQ (fresh.getRetryWaitTime(), 1500);

    auto controller = plugController();
    device = openController (controller->deviceId());
    controller->neverConfirmExecute();
    executor.setRetryCount (0);

    {
        ulktest::StderrCapture err;
        executor.setExecTimeout (300);
        EXPECT_EQ (err.finish().find ("exec timeout: 300\n") != std::string::npos, ulktest::isMacFlavour());
    }
    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_EQ (execute(), notCompleted);
    EXPECT_GE (juce::Time::getMillisecondCounter() - started, 300u);
    EXPECT_EQ (executor.getExecTimeout(), 300);
}

TEST_F (Executor, WithoutADeviceNothingIsSent)
{
    ulktest::ExpectJuceAssertions expected;
    EXPECT_EQ (execute(), notCompleted);
    EXPECT_EQ (expected.count(), ulktest::isMacFlavour() ? 1 : 0);
}
