// The whole update road from the window: the main component and its update
// controller against simulated controllers, with the program's message boxes
// recorded.

#include "../engine/EngineTestSupport.h"
#include "../ui/UiTestSupport.h"
#include "AppTestSupport.h"
#include "TestPlatform.h"
#include "TestSupport.h"
#include "UpdateFileBuilder.h"

#include <MainComponent.h>
#include <Marquee.h>
#include <SimulatedController.h>
#include <VirtualHidBus.h>

#include <gtest/gtest.h>

#include <memory>

using namespace apptest;
using sim::ControllerIdentity;
using Messages = std::vector<std::string>;

namespace
{
const char* const mismatch = "Error: Update file does not match the device";
const char* const loadFailed = "Load failed. Check the connection, and retry.";

class UpdateRoad : public testing::Test
{
protected:
    ~UpdateRoad() override
    {
        main = nullptr;
        for (auto& c : controllers)
            c->unplug();
        ulktest::pumpFor (50);
        EXPECT_TRUE (ulktest::pumpUntil ([] { return ulktest::platform::openDeviceCount() == 0; }, 10000));
    }

    std::shared_ptr<sim::SimulatedController>
        plug (ControllerIdentity identity = ControllerIdentity::km3300())
    {
        auto c = sim::SimulatedController::create (std::move (identity));
        // Long enough that the host is reading when the execute's answer
        // comes (see the engine tests' controllers), and that the window has
        // heard of the completed execution before the controller is back,
        // also on a busy machine.
        c->setFlashTimeMs (300);
        c->setRebootTimeMs (300);
        c->plugIn();
        controllers.push_back (c);
        // Its arrival goes by before a window that starts later listens.
        if (main == nullptr)
            ulktest::pumpFor (50);
        return c;
    }

    /** Plugs a controller in while the window is up and waits until it is shown. */
    std::shared_ptr<sim::SimulatedController>
        plugAndWait (ControllerIdentity identity = ControllerIdentity::km3300())
    {
        auto c = plug (std::move (identity));
        EXPECT_TRUE (ulktest::pumpUntil ([this] { return isShown (*main, deviceInfo); }));
        return c;
    }

    void start() { main = std::make_unique<MainComponent>(); }

    juce::String file (const ulktest::UpdateFileBuilder& builder, const std::string& name = "update.bin")
    {
        return builder.writeTo (dir.file (name));
    }

    void drop (const juce::String& path) { main->filesDropped (juce::StringArray (path), 0, 0); }

    /** Waits until the main component has taken the engines' last word. */
    void waitUntilIdle (int timeoutMs = 30000)
    {
        ulktest::pumpUntil ([this] { return main->fileAcceptable(); }, timeoutMs);
        ulktest::pumpFor (50);
    }

    MessageBoxes boxes;
    ulktest::TempDirectory dir;
    std::vector<std::shared_ptr<sim::SimulatedController>> controllers;
    std::unique_ptr<MainComponent> main;
};
} // namespace

TEST_F (UpdateRoad, TheInitialViewWithNothingConnected)
{
    start();
    EXPECT_EQ (textOf (*main, statusLabel), "Waiting...");
    EXPECT_TRUE (isShown (*main, deviceStatusLabel));
    EXPECT_EQ (textOf (*main, deviceStatusLabel), "Device is not connected.");
    EXPECT_FALSE (isShown (*main, deviceInfo));
    EXPECT_FALSE (isEnabled (*main, connectionIcon));
    EXPECT_TRUE (isShown (*main, fileStatusLabel));
    EXPECT_EQ (textOf (*main, fileStatusLabel), "File is not ready.");
    EXPECT_FALSE (isShown (*main, fileInfo));
    EXPECT_FALSE (isEnabled (*main, loadButton));
    EXPECT_FALSE (isEnabled (*main, executeButton));
    EXPECT_FALSE (isShown (*main, progressBar));
    EXPECT_TRUE (boxes.shown().empty());
}

TEST_F (UpdateRoad, AControllerConnectedAtStartIsShownAndWarnedAboutWhenNotInUpdateMode)
{
    plug (ControllerIdentity::km3800 (ControllerIdentity::normalMode));
    start();
    EXPECT_TRUE (isShown (*main, deviceInfo));
    EXPECT_FALSE (isShown (*main, deviceStatusLabel));
    EXPECT_TRUE (isEnabled (*main, connectionIcon));
    EXPECT_EQ (boxes.messages(), Messages{ "QM-KM3800 is not ready for version up." });
    EXPECT_EQ (boxes.shown()[0].title, "ULK Updater");
    EXPECT_FALSE (isEnabled (*main, loadButton));
}

TEST_F (UpdateRoad, AHostileModelNameIsWarnedAboutAsTheControllerSentIt)
{
    // Bytes above 0x7F are one character each; a 16-byte name without its
    // terminator ends with the report.
    struct Case
    {
        std::string reported;
        std::string shown; // UTF-8
    };
    const Case cases[] = {
        { "QM-KM3800\xE9\xFF", "QM-KM3800\xC3\xA9\xC3\xBF" },
        { "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP" },
        { std::string (16, '\x80'),
          []
          {
              std::string s;
              for (int i = 0; i < 16; ++i)
                  s += "\xC2\x80";
              return s;
          }() },
    };
    start();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.shown);
        boxes.clear();
        auto identity = ControllerIdentity::km3800 (ControllerIdentity::normalMode);
        identity.modelName = c.reported;
        auto controller = plugAndWait (identity);
        EXPECT_TRUE (ulktest::pumpUntil ([this] { return !boxes.messages().empty(); }));
        EXPECT_EQ (boxes.messages(), Messages{ c.shown + " is not ready for version up." });
        controller->unplug();
        EXPECT_TRUE (ulktest::pumpUntil ([this] { return !isShown (*main, deviceInfo); }));
    }
}

TEST_F (UpdateRoad, FilesAreCheckedAndABadOneNeverReplacesAGoodOne)
{
    start();
    plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (100)));
    EXPECT_TRUE (boxes.shown().empty());
    EXPECT_TRUE (isShown (*main, fileInfo));
    EXPECT_TRUE (isEnabled (*main, loadButton));
    EXPECT_EQ (textOf (*main, statusLabel), "");

    struct Case
    {
        std::string path;
        const char* message;
    };

    const Case cases[] = {
        { dir.file ("missing.bin"), "File can't open." },
        { file (ulktest::UpdateFileBuilder::km3300().imageSize (100).trailerFileSize (99), "length.bin")
              .toStdString(),
          "Error: Invalid file size." },
        { file (ulktest::UpdateFileBuilder::km3300().imageSize (100).wrongCrc(), "crc.bin").toStdString(),
          "Error: CRC error." },
        { file (ulktest::UpdateFileBuilder::legacy (0x0100), "release.bin").toStdString(),
          "Error: Invalid file format." },
    };

    for (const auto& c : cases)
    {
        boxes.clear();
        drop (c.path);
        EXPECT_EQ (boxes.messages(), Messages{ c.message });
        ASSERT_FALSE (boxes.shown().empty());
        EXPECT_EQ (boxes.shown()[0].title, "ULK Updater");
        EXPECT_TRUE (isShown (*main, fileInfo));     // the good file is still held
        EXPECT_TRUE (isEnabled (*main, loadButton)); // and still usable
    }
}

TEST_F (UpdateRoad, AMismatchingFileIsKeptButNotLoadable)
{
    start();
    plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3800().imageSize (100)));
    EXPECT_EQ (boxes.messages(), Messages{ mismatch });
    EXPECT_TRUE (isShown (*main, fileInfo));
    EXPECT_FALSE (isEnabled (*main, loadButton));
}

TEST_F (UpdateRoad, ArrivalsFollowTheKeepOrReplacePolicy)
{
    start();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (100)));
    EXPECT_TRUE (boxes.shown().empty()); // no controller: no match test

    // Not in update mode and not matching: two warnings, in this order.
    plugAndWait (ControllerIdentity::km3800 (ControllerIdentity::normalMode));
    EXPECT_EQ (boxes.messages(), (Messages{ "QM-KM3800 is not ready for version up.", mismatch }));
    EXPECT_FALSE (isEnabled (*main, loadButton));

    // It is replaced by one in update mode, which then stays.
    boxes.clear();
    plug();
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isEnabled (*main, loadButton); }));
    plug (ControllerIdentity::km3800());
    ulktest::pumpFor (200);
    EXPECT_TRUE (boxes.shown().empty());
    EXPECT_TRUE (isEnabled (*main, loadButton));
}

TEST_F (UpdateRoad, ALoadThenAnExecutionCompleteAndTheControllerComesBackUpdated)
{
    start();
    auto controller = plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 200).firmwareVersion (0x0207)));

    // At one report a millisecond the load lasts 200 ms, so it is still
    // running when the view is looked at just after the click; unpaced, a
    // load thread that ran while this one was held up could already be done.
    auto& bus = sim::VirtualHidBus::instance();
    bus.setPacing (true);
    struct Unpace
    {
        sim::VirtualHidBus& bus;
        ~Unpace() { bus.setPacing (false); }
    } unpace{ bus };

    ASSERT_TRUE (click (*main, loadButton));
    EXPECT_FALSE (main->fileAcceptable());
    EXPECT_TRUE (isShown (*main, progressBar));
    EXPECT_EQ (textOf (*main, statusLabel), "Now Loading...");
    EXPECT_FALSE (isEnabled (*main, loadButton));
    EXPECT_FALSE (isEnabled (*main, executeButton));
    waitUntilIdle();

    EXPECT_EQ (boxes.messages(), Messages{ "Load was completed." });
    EXPECT_EQ (boxes.shown()[0].title, "ULK Updater");
    EXPECT_EQ (textOf (*main, statusLabel), "Load was completed.");
    EXPECT_TRUE (isShown (*main, progressBar)); // stays after a load
    EXPECT_TRUE (isEnabled (*main, executeButton));
    EXPECT_EQ (controller->loadedFile().size(), 29u * 200 + 32);

    // Another matching file keeps Execute.
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (100), "other.bin"));
    EXPECT_TRUE (isEnabled (*main, executeButton));
    EXPECT_FALSE (isShown (*main, progressBar));

    boxes.clear();
    ASSERT_TRUE (click (*main, executeButton));
    EXPECT_EQ (textOf (*main, statusLabel), "Executing...");
    EXPECT_TRUE (isShown (*main, marquee));
    waitUntilIdle();

    // The controller reboots: it goes, and comes back in normal mode.
    ASSERT_TRUE (ulktest::pumpUntil (
        [this]
        {
            const auto shown = boxes.messages();
            return std::find (shown.begin(), shown.end(), "QM-KM3300 is not ready for version up.") !=
                   shown.end();
        }))
        << testing::PrintToString (boxes.messages());
    const auto messages = boxes.messages();
    ASSERT_GE (messages.size(), 2u);
    EXPECT_EQ (messages[0], "Version up was completed.");
    EXPECT_FALSE (isEnabled (*main, executeButton)); // a completed execution needs a new load
    EXPECT_FALSE (isEnabled (*main, loadButton));    // not in update mode now
}

TEST_F (UpdateRoad, ExecuteIsOfferedFromACompletedLoadUntilACompletedExecution)
{
    start();
    auto controller = plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
    EXPECT_TRUE (isEnabled (*main, loadButton));
    EXPECT_FALSE (isEnabled (*main, executeButton)) << "nothing loaded yet";

    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle();
    ASSERT_EQ (boxes.messages(), Messages{ "Load was completed." });
    EXPECT_TRUE (isEnabled (*main, executeButton));

    // A later load that the controller refuses takes Execute away again.
    controller->nakLastBlock (3);
    boxes.clear();
    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle (60000);
    ASSERT_EQ (boxes.messages(), Messages{ "Loaded data is invalid. Check the file." });
    EXPECT_TRUE (isEnabled (*main, loadButton));
    EXPECT_FALSE (isEnabled (*main, executeButton));

    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle();
    ASSERT_TRUE (click (*main, executeButton));
    ASSERT_TRUE (ulktest::pumpUntil (
        [this]
        {
            const auto shown = boxes.messages();
            return std::find (shown.begin(), shown.end(), "Version up was completed.") != shown.end();
        },
        30000));

    // The next controller in update mode, with the file still held, can be
    // loaded but not executed: the image went to the one before.
    ASSERT_TRUE (
        ulktest::pumpUntil ([&] { return controller->record().reboots == 1 && controller->isPlugged(); }));
    plug();
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isEnabled (*main, loadButton); }));
    EXPECT_FALSE (isEnabled (*main, executeButton));
}

TEST_F (UpdateRoad, TheExecutionWaitsForTheControllerAsLongAsTheLoadLearnt)
{
    // The last acknowledgement of the load asks for 1 s; the controller then
    // leaves the execute request unanswered.  The second request follows the
    // first after that second and the pause of 1500 ms; the default of 15 s
    // would hold it back for 16.5 s.
    auto c = sim::SimulatedController::create (ControllerIdentity::km3300());
    auto model = std::make_shared<enginetest::InterceptingModel> (c);
    // The window, and with it the execution, ends after this body.
    auto times = std::make_shared<enginetest::ReportTimes>();
    model->setOnReport ([times] (const std::uint8_t* data, std::size_t len) { times->note (data, len); });
    controllers.push_back (c);
    start();
    sim::VirtualHidBus::instance().plug (model, c->description());
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isShown (*main, deviceInfo); }));
    c->setExecuteTimeoutSeconds (1);
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle();
    ASSERT_EQ (boxes.messages(), Messages{ "Load was completed." });

    c->neverConfirmExecute();
    ulktest::StderrCapture err;
    ASSERT_TRUE (click (*main, executeButton));
    EXPECT_TRUE (c->waitUntil ([] (const sim::ControllerRecord& r) { return r.executeRequests == 2; }, 10000))
        << "the second try came later than the learnt time-out and the pause allow";
    const auto text = err.finish();
    EXPECT_GE (times->msFromFirstToNext (sim::RequestKind::execute, sim::RequestKind::execute), 2500 - 20);
    EXPECT_EQ (text.find ("exec timeout(executor): 1000\n") != std::string::npos, ulktest::isMacFlavour())
        << text;
}

TEST_F (UpdateRoad, UnpluggingDuringTheExecutionStopsTheMarqueeAtOnce)
{
    start();
    auto controller = plugAndWait();
    controller->setExecuteTimeoutSeconds (1);
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle();
    controller->neverConfirmExecute();
    boxes.clear();

    ASSERT_TRUE (click (*main, executeButton));
    auto& sweep = dynamic_cast<Marquee&> (child (*main, marquee));
    ASSERT_TRUE (isShown (*main, marquee));
    ASSERT_TRUE (sweep.isTimerRunning());
    ASSERT_TRUE (
        controller->waitUntil ([] (const sim::ControllerRecord& r) { return r.executeRequests == 1; }, 5000));

    // The execution goes on trying, pausing 1500 ms after each failed try,
    // while the view follows the removal.
    controller->unplug();
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isShown (*main, deviceStatusLabel); }));
    EXPECT_FALSE (main->fileAcceptable()) << "the execution has ended already";
    EXPECT_FALSE (isShown (*main, marquee));
    EXPECT_FALSE (sweep.isTimerRunning());
    EXPECT_EQ (textOf (*main, statusLabel), "Waiting...");

    waitUntilIdle (60000);
    EXPECT_EQ (boxes.messages(), Messages{ "Version up was not completed." });
    EXPECT_EQ (textOf (*main, statusLabel), "");
    EXPECT_FALSE (sweep.isTimerRunning());
}

TEST_F (UpdateRoad, AfterACompletedLoadAndUnderTheMarqueeTheProgressBarIsFull)
{
    start();
    auto controller = plugAndWait();
    // Long enough to look at the bar under the running marquee.
    controller->setFlashTimeMs (1500);
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 100)));

    ASSERT_TRUE (click (*main, loadButton));
    waitUntilIdle();
    ASSERT_EQ (boxes.messages(), Messages{ "Load was completed." });
    ulktest::pumpFor (100); // the bar follows the value on its own timer
    EXPECT_TRUE (uitest::isFullStillBar (child (*main, progressBar), juce::Colours::white));

    ASSERT_TRUE (click (*main, executeButton));
    ulktest::pumpFor (100);
    ASSERT_TRUE (isShown (*main, marquee));
    EXPECT_TRUE (uitest::isFullStillBar (child (*main, progressBar), juce::Colours::white));
    waitUntilIdle();
}

TEST_F (UpdateRoad, AfterTheLoadCompletedBoxTheButtonsAreUsable)
{
    // The box blocks until the user has read it; meanwhile the window keeps
    // getting its messages, the load thread's end among them.
    boxes.answerAfter (300);
    start();
    plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 20)));
    ASSERT_TRUE (click (*main, loadButton));
    ASSERT_TRUE (
        ulktest::pumpUntil ([this] { return textOf (*main, statusLabel) == "Load was completed."; }));

    EXPECT_EQ (boxes.messages(), Messages{ "Load was completed." });
    EXPECT_TRUE (isEnabled (*main, executeButton));
    EXPECT_TRUE (isEnabled (*main, loadButton));
}

TEST_F (UpdateRoad, TheViewFollowsTheControllerWhileABoxIsOpen)
{
    start();
    auto controller = plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 20)));

    // The controller goes while "Load was completed." is up; the box stays
    // until the view underneath has shown it.
    bool unplugged = false;
    boxes.answerWhen (
        [&]
        {
            if (!unplugged)
            {
                unplugged = true;
                controller->unplug();
                return false;
            }
            return isShown (*main, deviceStatusLabel);
        });
    ASSERT_TRUE (click (*main, loadButton));
    ASSERT_TRUE (
        ulktest::pumpUntil ([this] { return textOf (*main, statusLabel) == "Load was completed."; }));

    EXPECT_TRUE (unplugged);
    EXPECT_EQ (boxes.messages(), Messages{ "Load was completed." });
    EXPECT_TRUE (isShown (*main, deviceStatusLabel));
    EXPECT_FALSE (isEnabled (*main, executeButton));
    EXPECT_FALSE (isEnabled (*main, loadButton));
}

TEST_F (UpdateRoad, FailedLoadsAndExecutionsAreReported)
{
    struct Case
    {
        const char* name;
        std::function<void (sim::SimulatedController&)> arm;
        bool execute;
        const char* message;
        const char* status;
    };

    const Case cases[] = {
        { "refused image", [] (auto& c) { c.nakLastBlock (3); }, false,
          "Loaded data is invalid. Check the file.", "Waiting..." },
        { "silent controller", [] (auto& c) { c.stopAnswering(); }, false, loadFailed, "Waiting..." },
        { "unconfirmed execute", [] (auto& c) { c.neverConfirmExecute(); }, true,
          "Version up was not completed.", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        start();
        auto controller = plugAndWait();
        drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
        if (c.execute)
        {
            // The controller asks for a short execution time-out.
            controller->setExecuteTimeoutSeconds (1);
            ASSERT_TRUE (click (*main, loadButton));
            waitUntilIdle();
            c.arm (*controller);
            boxes.clear();
            ASSERT_TRUE (click (*main, executeButton));
        }
        else
        {
            c.arm (*controller);
            ASSERT_TRUE (click (*main, loadButton));
        }
        waitUntilIdle (60000);

        ASSERT_FALSE (boxes.shown().empty());
        EXPECT_EQ (boxes.messages().back(), c.message);
        EXPECT_EQ (textOf (*main, statusLabel), c.status);
        EXPECT_FALSE (isShown (*main, marquee) && c.execute);
        boxes.clear();
        main = nullptr;
        controller->unplug();
    }
}

TEST_F (UpdateRoad, RemovingTheControllerDuringALoadClearsTheViewAtOnce)
{
    start();
    auto controller = plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
    controller->stopAnswering();
    ASSERT_TRUE (click (*main, loadButton));

    // A drop during the load is refused without a word.
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (50), "during.bin"));
    EXPECT_TRUE (boxes.shown().empty());

    controller->unplug();
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isShown (*main, deviceStatusLabel); }));
    EXPECT_FALSE (isShown (*main, progressBar));
    EXPECT_EQ (textOf (*main, statusLabel), "Waiting...");
    EXPECT_FALSE (isEnabled (*main, connectionIcon));

    waitUntilIdle (60000);
    EXPECT_EQ (boxes.messages(), Messages{ loadFailed });
    EXPECT_EQ (textOf (*main, statusLabel), "Waiting...");
}

TEST_F (UpdateRoad, OnlyTheFirstDroppedFileCounts)
{
    start();
    plugAndWait();
    const auto good = file (ulktest::UpdateFileBuilder::km3300().imageSize (100));
    main->filesDropped (juce::StringArray (good, dir.file ("missing.bin"), dir.file ("other.bin")), 0, 0);
    EXPECT_TRUE (boxes.shown().empty());
    EXPECT_TRUE (isShown (*main, fileInfo));
}

TEST_F (UpdateRoad, ClosingDuringALoadEndsQuickly)
{
    start();
    auto controller = plugAndWait();
    drop (file (ulktest::UpdateFileBuilder::km3300().imageSize (290)));
    controller->nakSelect (100);
    ASSERT_TRUE (click (*main, loadButton));

    const auto started = juce::Time::getMillisecondCounter();
    main = nullptr;
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 2000u);
}
