// Quitting: stopping both engines, as the program does when it closes, ends
// within a few seconds in every state, without killing a thread (JUCE's forced
// kill raises an assertion, which fails the test) and without leaving a device
// open.

#include "EngineTestSupport.h"

#include <UpdateExecutor.h>
#include <UpdateFileLoader.h>

#include <juce_core/juce_core.h>

using namespace enginetest;
using sim::RequestKind;

namespace
{
struct State
{
    const char* name;
    std::function<void (sim::SimulatedController&)> arm;
    bool execute;          ///< run the executor rather than the loader
    RequestKind waitUntil; ///< the state is reached once this request arrives
};

class Shutdown : public BusTest
{
};
} // namespace

TEST_F (Shutdown, StoppingBothEnginesEndsQuicklyInEveryState)
{
    const State states[] = {
        { "idle", [] (auto&) {}, false, RequestKind::capsPoll },
        { "select retries", [] (auto& c) { c.nakSelect (100); }, false, RequestKind::select },
        { "block retries", [] (auto& c) { c.nakFirstBlock (100); }, false, RequestKind::firstBlock },
        { "pause after a refused image", [] (auto& c) { c.nakLastBlock (100); }, false,
          RequestKind::lastBlock },
        { "long execute wait", [] (auto& c) { c.neverConfirmExecute(); }, true, RequestKind::execute },
        { "pause after an execute try", [] (auto& c) { c.neverConfirmExecute(); }, true,
          RequestKind::endOfTransmission },
    };

    for (const auto& state : states)
    {
        SCOPED_TRACE (state.name);
        auto controller = plugController();
        auto device = openController (controller->deviceId());
        state.arm (*controller);

        std::atomic<double> progress{ 0.0 };
        StatusRecorder recorder;
        auto loader = std::make_unique<UpdateFileLoader> (&recorder, progress);
        auto executor = std::make_unique<UpdateExecutor> (&recorder);
        loader->setRetryWaitTime (5000);
        executor->setRetryWaitTime (5000);

        // Longer than quitting may take; the abandoned wait ends by itself later.
        executor->setExecTimeout (std::string (state.name) == "pause after an execute try" ? 50 : 4000);

        if (std::string (state.name) != "idle")
        {
            if (state.execute)
                executor->start (device);
            else
                loader->start (juce::File (ulktest::UpdateFileBuilder::km3300().imageSize (290).writeTo (
                                   dir.file ("update.bin"))),
                               device);
        }

        if (std::string (state.name) == "pause after an execute try")
            juce::Thread::sleep (200); // the first try has timed out: the thread pauses
        else
            ASSERT_TRUE (controller->waitUntil (
                [&] (const sim::ControllerRecord& r)
                {
                    for (const auto& received : r.received)
                        if (received.kind == state.waitUntil)
                            return true;
                    return false;
                },
                5000));

        // What the update controller's destructor does.
        const auto started = juce::Time::getMillisecondCounter();
        loader->stop();
        executor->stop();
        loader = nullptr;
        executor = nullptr;
        const auto elapsed = juce::Time::getMillisecondCounter() - started;
        EXPECT_LT (elapsed, 2000u);

        device = nullptr;
        controller->unplug();
    }
}

TEST_F (Shutdown, AnAbandonedExecuteWaitStillClosesTheExchangeAndReleasesTheDevice)
{
    auto controller = plugController();
    auto device = openController (controller->deviceId());
    controller->neverConfirmExecute();

    {
        StatusRecorder recorder;
        UpdateExecutor executor (&recorder);
        executor.setExecTimeout (1000);
        executor.start (device);
        ASSERT_TRUE (controller->waitUntil (
            [] (const sim::ControllerRecord& r) { return r.executeRequests == 1; }, 5000));
        executor.stop();
    }
    device = nullptr;

    // Once the controller's time is up, the request closes the exchange and the
    // last reference goes on the message thread.
    EXPECT_TRUE (ulktest::pumpUntil ([] { return ulktest::platform::openDeviceCount() == 0; }, 10000));
    const auto kinds = requestKinds (*controller);
    EXPECT_EQ (kinds.back(), RequestKind::endOfTransmission);
    EXPECT_EQ (countOf (kinds, RequestKind::execute), 1);
}
