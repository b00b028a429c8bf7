// The load engine against the simulated controller: whole loads, every fault,
// passes, cancelling, and the statuses it announces.

#include "EngineTestSupport.h"

#include <UpdateFileLoader.h>

#include <juce_core/juce_core.h>

#include <atomic>

using namespace enginetest;
using sim::RequestKind;

namespace
{
class Loader : public BusTest
{
protected:
    Loader()
    {
        recorder.read = [this] { return loader.getLoadStatus(); };
        loader.setRetryWaitTime (5);
    }

    ~Loader() override
    {
        loader.stop();
        device = nullptr;
    }

    juce::File writeFile (const ulktest::UpdateFileBuilder& builder, const char* name = "update.bin")
    {
        fileBytes = builder.bytes();
        return juce::File (builder.writeTo (dir.file (name)));
    }

    /** Runs one load to its end and returns its final status. */
    int load (const juce::File& file)
    {
        loader.start (file, device);
        EXPECT_TRUE (ulktest::pumpUntil ([this] { return !loader.isLoading(); }, 30000));
        ulktest::pumpFor (10); // the last announcement
        return loader.getLoadStatus();
    }

    void useController (std::shared_ptr<sim::SimulatedController> c)
    {
        controller = std::move (c);
        device = openController (controller->deviceId());
        ASSERT_NE (device, nullptr);
    }

    std::atomic<double> progress{ -1.0 };
    StatusRecorder recorder;
    UpdateFileLoader loader{ &recorder, progress };
    std::shared_ptr<sim::SimulatedController> controller;
    UlkDevice::Ptr device;
    std::vector<std::uint8_t> fileBytes;
};

constexpr int completed = UpdateFileLoader::loadCompleted;
constexpr int failed = UpdateFileLoader::loadFailed;
constexpr int rejected = UpdateFileLoader::loadDataRejected;
constexpr int cancelled = UpdateFileLoader::loadCancelled;
} // namespace

TEST_F (Loader, AWholeLoadDeliversTheFileByteForByte)
{
    // Lengths around the block size: a multiple of 29, one more, one less,
    // and a file that is all trailer (one End block only).
    for (std::size_t imageSize : { 29u * 40 - 32, 29u * 40 - 31, 29u * 40 - 33, 0u, 1000u })
    {
        SCOPED_TRACE (imageSize);
        useController (plugController());
        controller->setExecuteTimeoutSeconds (30);
        const auto file = writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (imageSize));

        EXPECT_EQ (load (file), completed);
        EXPECT_EQ (controller->loadedFile(), fileBytes);
        EXPECT_EQ (loader.getExecTimeout(), 30000);
        EXPECT_EQ (progress.load(), 1.0);

        const auto kinds = requestKinds (*controller);
        const int blocks = (int) ((fileBytes.size() + 28) / 29);
        std::vector<RequestKind> expected{ RequestKind::capsPoll, RequestKind::select };
        for (int i = 0; i < blocks; ++i)
            expected.push_back (i == blocks - 1
                                    ? RequestKind::lastBlock
                                    : (i == 0 ? RequestKind::firstBlock : RequestKind::middleBlock));
        expected.push_back (RequestKind::endOfTransmission);
        EXPECT_EQ (kinds, expected);

        // Every block goes out whole; the image received is the file and filler.
        EXPECT_EQ (controller->record().image.size(), (size_t) blocks * 29);
        device = nullptr;
        controller->unplug();
    }
}

TEST_F (Loader, ProgressRisesToOneAndTheStatusesAreAnnounced)
{
    const auto plugged = plugIntercepted();
    const auto& model = plugged.model;
    controller = plugged.controller;
    device = openController (plugged.id);
    const auto file = writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 3000));

    // Each run's select waits until the message thread has heard loadStarted,
    // so that the announcement cannot merge with the final one.
    std::atomic<bool> heardStart{ false };
    recorder.read = [&]
    {
        const int status = loader.getLoadStatus();
        if (status == UpdateFileLoader::loadStarted)
            heardStart = true;
        return status;
    };
    model->setOnReport (
        [&] (const std::uint8_t* data, std::size_t)
        {
            if (data[1] == 0xF8 && data[2] == 0x40)
                for (int i = 0; i < 5000 && !heardStart; ++i)
                    juce::Thread::sleep (1);
        });

    // Two loads in a row: the second announces loadStarted again (the first
    // starts from loadStarted, so it announces only its end).
    for (int run = 0; run < 2; ++run)
    {
        recorder.seen.clear();
        heardStart = run == 0;
        progress = -1.0;
        const int passesBefore = controller->record().passes;
        loader.start (file, device);
        std::vector<double> samples;
        ASSERT_TRUE (ulktest::pumpUntil (
            [&]
            {
                samples.push_back (progress.load());
                return !loader.isLoading();
            },
            30000));
        ulktest::pumpFor (10);

        EXPECT_EQ (loader.getLoadStatus(), completed);
        // It falls back only when a pass begins again from the first byte: on
        // a loaded machine an acknowledgement can come after its time-out,
        // and the last block sent again is refused.
        int falls = 0;
        for (std::size_t i = 1; i < samples.size(); ++i)
            falls += samples[i] < samples[i - 1] ? 1 : 0;
        EXPECT_LE (falls, controller->record().passes - passesBefore - 1);
        EXPECT_EQ (progress.load(), 1.0);
        const std::vector<int> expected = run == 0
                                              ? std::vector<int>{ completed }
                                              : std::vector<int>{ UpdateFileLoader::loadStarted, completed };
        EXPECT_EQ (recorder.seen, expected);
    }
    model->setOnReport (nullptr);
}

TEST_F (Loader, ExecutionTimeOutFromTheLastAcknowledgement)
{
    struct Case
    {
        std::uint16_t seconds;
        int expectedMs;
    };

    for (const auto& c : { Case{ 0, 15000 }, Case{ 1, 1000 }, Case{ 300, 300000 }, Case{ 65535, 65535000 } })
    {
        useController (plugController());
        controller->setExecuteTimeoutSeconds (c.seconds);
        EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3800().imageSize (100))), completed);
        EXPECT_EQ (loader.getExecTimeout(), c.expectedMs) << c.seconds;
        device = nullptr;
        controller->unplug();
    }
}

TEST_F (Loader, FaultsEndInTheirStatusesAndTheExchangeIsClosed)
{
    struct Case
    {
        const char* name;
        std::function<void (sim::SimulatedController&)> arm;
        int status;
        int selects;
        int passes; ///< accepted first blocks
    };

    const Case cases[] = {
        { "select refused twice", [] (auto& c) { c.nakSelect (2); }, completed, 3, 1 },
        { "select refused on every try", [] (auto& c) { c.nakSelect (3); }, failed, 3, 0 },
        { "select unanswered once", [] (auto& c) { c.dropReply (RequestKind::select); }, completed, 2, 1 },
        { "select answered late", [] (auto& c) { c.replyLate (RequestKind::select, 300); }, completed, 2, 1 },
        { "select answered wrongly", [] (auto& c) { c.replyWrongKind (RequestKind::select); }, completed, 2,
          1 },
        { "first block refused on every try", [] (auto& c) { c.nakFirstBlock (3); }, failed, 1, 0 },
        { "first block refused twice", [] (auto& c) { c.nakFirstBlock (2); }, completed, 1, 1 },
        { "first block answered with garbage", [] (auto& c) { c.replyGarbage (RequestKind::firstBlock); },
          completed, 1, 2 },
        { "image refused once", [] (auto& c) { c.nakLastBlock (1); }, completed, 1, 2 },
        { "image refused twice", [] (auto& c) { c.nakLastBlock (2); }, completed, 1, 3 },
        { "image refused on every pass", [] (auto& c) { c.nakLastBlock (3); }, rejected, 1, 3 },
        { "last acknowledgement lost", [] (auto& c) { c.dropReply (RequestKind::lastBlock); }, completed, 1,
          2 },
        { "last block unanswered on every try", [] (auto& c) { c.dropReply (RequestKind::lastBlock, 3); },
          failed, 1, 1 },
        { "controller stops answering", [] (auto& c) { c.stopAnswering(); }, failed, 3, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        useController (plugController());
        c.arm (*controller);

        EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 10))), c.status);

        const auto kinds = requestKinds (*controller);
        EXPECT_EQ (countOf (kinds, RequestKind::select), c.selects);
        EXPECT_EQ (controller->record().passes, c.passes);
        ASSERT_FALSE (kinds.empty());
        EXPECT_EQ (kinds.back(), RequestKind::endOfTransmission);
        EXPECT_EQ (countOf (kinds, RequestKind::endOfTransmission), 1);
        if (c.status == completed)
        {
            EXPECT_EQ (controller->loadedFile(), fileBytes);
        }

        device = nullptr;
        controller->unplug();
    }
}

TEST_F (Loader, ALateAcknowledgementNeverStandsInForTheRefusalOfTheImage)
{
    // The first block's acknowledgement comes after its reply time-out, during
    // the pause before the block is sent again; every pass ends in a NAK.
    useController (plugController());
    loader.setRetryWaitTime (300);
    controller->replyLate (RequestKind::firstBlock, 150);
    controller->nakLastBlock (3);

    EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 10))), rejected);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::lastBlock), 3);
}

TEST_F (Loader, RefusedImagesAreSentAgainFromTheFirstByte)
{
    useController (plugController());
    controller->nakLastBlock (3);
    loader.setRetryCount (2);

    EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 5))), rejected);

    // Three passes of Start, middles and End; the End block is tried once per pass.
    const auto kinds = requestKinds (*controller);
    EXPECT_EQ (countOf (kinds, RequestKind::firstBlock), 3);
    EXPECT_EQ (countOf (kinds, RequestKind::lastBlock), 3);
    EXPECT_EQ (countOf (kinds, RequestKind::select), 1);

    // Every pass starts again from the file's first byte.
    const std::vector<std::uint8_t> firstBytes (fileBytes.begin(), fileBytes.begin() + 29);
    for (const auto& r : controller->record().received)
    {
        if (r.kind == RequestKind::firstBlock)
        {
            EXPECT_EQ (std::vector<std::uint8_t> (r.bytes.begin() + 3, r.bytes.end()), firstBytes);
        }
    }
}

TEST_F (Loader, RetryCountBoundsTriesAndPasses)
{
    struct Case
    {
        int retryCount;
        std::function<void (sim::SimulatedController&)> arm;
        int status;
        RequestKind counted;
        int count;
    };

    const Case cases[] = {
        { 0, [] (auto& c) { c.nakSelect (1); }, failed, RequestKind::select, 1 },
        { 0, [] (auto& c) { c.nakLastBlock (1); }, rejected, RequestKind::firstBlock, 1 },
        { 5, [] (auto& c) { c.nakSelect (10); }, failed, RequestKind::select, 6 },
        { 5, [] (auto& c) { c.nakLastBlock (5); }, completed, RequestKind::firstBlock, 6 },
        { -3, [] (auto& c) { c.nakSelect (10); }, failed, RequestKind::select, 1 }, // clamped to 0
        { 99, [] (auto& c) { c.nakSelect (10); }, failed, RequestKind::select, 6 }, // clamped to 5
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.retryCount);
        useController (plugController());
        c.arm (*controller);
        loader.setRetryCount (c.retryCount);
        EXPECT_EQ (loader.getRetryCount(), juce::jlimit (0, 5, c.retryCount));

        EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (100))), c.status);
        EXPECT_EQ (countOf (requestKinds (*controller), c.counted), c.count);
        device = nullptr;
        controller->unplug();
    }

    loader.setRetryWaitTime (-1);
    EXPECT_EQ (loader.getRetryWaitTime(), 0);
    loader.setRetryWaitTime (6000);
    EXPECT_EQ (loader.getRetryWaitTime(), 5000);
}

TEST_F (Loader, TheDefaultsAreThreeTriesWithPausesOf1500ms)
{
    UpdateFileLoader fresh (&recorder, progress);
    EXPECT_EQ (fresh.getRetryCount(), 2);
    EXPECT_EQ (fresh.getRetryWaitTime(), 1500);

    useController (plugController());
    controller->nakSelect (3);
    const auto file = writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (100));

    const auto started = juce::Time::getMillisecondCounter();
    fresh.start (file, device);
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !fresh.isLoading(); }, 20000));
    const auto elapsed = juce::Time::getMillisecondCounter() - started;

    EXPECT_EQ (fresh.getLoadStatus(), failed);
    EXPECT_EQ (countOf (requestKinds (*controller), RequestKind::select), 3);
    EXPECT_GE (elapsed, 3u * 1500u - 100u); // a pause after every failed try, the last one included
}

TEST_F (Loader, AFailedStepPausesBeforeItsNextTryOrPass)
{
    // The report that follows a failure goes out only after the pause: the
    // select or the block again, or, after a refused image, the next pass.
    constexpr int pauseMs = 400;
    struct Case
    {
        const char* name;
        std::function<void (sim::SimulatedController&)> arm;
        RequestKind failed;
        RequestKind next;
    };

    const Case cases[] = {
        { "refused select", [] (auto& c) { c.nakSelect (1); }, RequestKind::select, RequestKind::select },
        { "refused first block", [] (auto& c) { c.nakFirstBlock (1); }, RequestKind::firstBlock,
          RequestKind::firstBlock },
        { "unanswered last block", [] (auto& c) { c.dropReply (RequestKind::lastBlock); },
          RequestKind::lastBlock, RequestKind::lastBlock },
        { "refused image", [] (auto& c) { c.nakLastBlock (1); }, RequestKind::lastBlock,
          RequestKind::firstBlock },
    };

    loader.setRetryWaitTime (pauseMs);
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto plugged = plugIntercepted();
        ReportTimes times;
        plugged.model->setOnReport ([&] (const std::uint8_t* data, std::size_t len)
                                    { times.note (data, len); });
        controller = plugged.controller;
        device = openController (plugged.id);
        c.arm (*controller);

        EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 10))), completed);
        // Less a tick of slack for the granularity of the system's timers.
        EXPECT_GE (times.msFromFirstToNext (c.failed, c.next), pauseMs - 20);

        plugged.model->setOnReport (nullptr);
        device = nullptr;
        sim::VirtualHidBus::instance().unplug (plugged.id);
    }
}

TEST_F (Loader, AnUnpluggedControllerFailsTheLoad)
{
    useController (plugController());
    controller->unplugAfterBlock (3);

    EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 10))), failed);
    EXPECT_FALSE (controller->isPlugged());
    EXPECT_EQ (controller->record().image.size(), 3u * 29);
}

TEST_F (Loader, AStopRequestCancelsAtTheNextBlock)
{
    const auto plugged = plugIntercepted();
    const auto& model = plugged.model;
    controller = plugged.controller;
    device = openController (plugged.id);

    // On the fifth middle block the load thread itself is asked to exit.
    std::atomic<int> middles{ 0 };
    model->setOnReport (
        [&] (const std::uint8_t* data, std::size_t)
        {
            if ((data[1] & 7) == 5 && ++middles == 5)
                juce::Thread::getCurrentThread()->signalThreadShouldExit();
        });

    EXPECT_EQ (load (writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 50))), cancelled);

    const auto kinds = requestKinds (*controller);
    EXPECT_EQ (countOf (kinds, RequestKind::middleBlock), 5);
    EXPECT_EQ (countOf (kinds, RequestKind::lastBlock), 0);
    EXPECT_EQ (kinds.back(), RequestKind::endOfTransmission);
    model->setOnReport (nullptr);
}

TEST_F (Loader, NoDeviceOrNoFileFails)
{
    {
        ulktest::ExpectJuceAssertions expected;
        EXPECT_EQ (load (juce::File (dir.file ("update.bin"))), failed);
        EXPECT_EQ (expected.count(), ulktest::isMacFlavour() ? 1 : 0);
    }

    useController (plugController());
    ulktest::ExpectJuceAssertions expected;
    EXPECT_EQ (load (juce::File (dir.file ("missing.bin"))), failed);
    EXPECT_EQ (expected.count(), ulktest::isMacFlavour() ? 1 : 0);
    // The exchange is still closed, and nothing else was sent.
    EXPECT_EQ (requestKinds (*controller),
               (std::vector<RequestKind>{ RequestKind::capsPoll, RequestKind::endOfTransmission }));
}

TEST_F (Loader, AFileThatShrankToNothingEndsWithoutDividingByZero)
{
    useController (plugController());
    juce::File empty (dir.file ("empty.bin"));
    empty.create();

    EXPECT_EQ (load (empty), rejected);
    EXPECT_EQ (progress.load(), 1.0);
    // One zero-filled block per pass: nothing of the process's memory goes out.
    int endBlocks = 0;
    for (const auto& r : controller->record().received)
    {
        if (r.kind != RequestKind::lastBlock)
            continue;
        ++endBlocks;
        EXPECT_EQ (std::vector<std::uint8_t> (r.bytes.begin() + 3, r.bytes.end()),
                   std::vector<std::uint8_t> (29, 0));
    }
    EXPECT_EQ (endBlocks, 3);
}

TEST_F (Loader, TheThreadKeepsItsControllerUntilTheNextStart)
{
    useController (plugController());
    const auto file = writeFile (ulktest::UpdateFileBuilder::km3300().imageSize (100));
    EXPECT_EQ (load (file), completed);

    // The test lets go and the controller goes; the thread object still holds it.
    device = nullptr;
    controller->unplug();
    ulktest::pumpFor (20);
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);

    // The next start takes another device and lets the old one go.
    useController (plugController());
    EXPECT_EQ (load (file), completed);
    device = nullptr;
    EXPECT_EQ (ulktest::platform::openDeviceCount(), 1);
}
