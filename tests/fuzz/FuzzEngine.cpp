// A whole take-up, load and execution against a hostile controller: every
// reply, result code and silence of the scripted controller comes from the
// fuzzer, and so do the file's length, the engines' retry counts and the
// moments at which the load and the execution are asked to stop.  The retry
// pauses are 0, so an input runs in microseconds.  The engines must end every
// run with a final status, whatever the controller says, and once asked to
// stop they send the controller nothing but the end of the exchange.

#include "FuzzSupport.h"
#include "ScriptedAnswers.h"

#include <ScriptedDevice.h>
#include <UlkDevice.h>
#include <UpdateExecutor.h>
#include <UpdateFileLoader.h>

#include <qmhid_EndOfTransmissionMessage.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include <sys/prctl.h>

namespace
{
using fuzz::check;
using Clock = std::chrono::steady_clock;

/** The engines announce to a listener; nobody needs to hear it here. */
struct Deaf : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override {}
};

/** Sleeps rather than spins: with a worker per core, a spinning wait takes
    the core the engine's own threads need. */
void waitWhile (const std::function<bool()>& busy)
{
    while (busy())
        std::this_thread::sleep_for (std::chrono::microseconds (20));
}

bool isEndOfTransmission (const testbackend::SentReport& sent)
{
    qmhid::EndOfTransmissionMessage eot;
    return sent.bytes.size() == QMHID_DATA_SIZE &&
           std::memcmp (sent.bytes.data(), eot.getDataPointer(), QMHID_DATA_SIZE) == 0;
}

/** A stop asked for while the controller is slow to take one of the run's
    sends: the send is held until the run's thread has been told to exit (or
    its time-out is over), so that the stop lands inside a known step. */
class StopInSend
{
public:
    /** at: 0 for no stop, else the run's send (counted from 1) to stop in. */
    StopInSend (testbackend::ScriptedDevice& scriptToUse, int at, std::function<bool()> toldToExit)
        : script (scriptToUse)
    {
        if (at == 0)
            return;
        script.onEachSend (
            [this, at, toldToExit] (std::size_t index, int timeoutMs)
            {
                if ((int) index + 1 != at)
                    return;
                held = true;
                const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);
                while (Clock::now() < end)
                {
                    if (stopAsked && toldToExit())
                    {
                        heldUntilExit = true;
                        return;
                    }
                    std::this_thread::sleep_for (std::chrono::microseconds (20));
                }
            });
    }

    ~StopInSend() { script.onEachSend (nullptr); }

    /** While running() holds, waits for the held send; then stops the run. */
    void stopWhenHeld (const std::function<bool()>& running, const std::function<void()>& stop)
    {
        waitWhile ([&] { return running() && !held; });
        if (!held)
            return;
        sendsAtStop = script.sends().size();
        stopAsked = true;
        stop();
    }

    /** Once asked to stop inside a held send, the run sends nothing but the
        end of the exchange, once. */
    void checkNothingSentAfterTheStop() const
    {
        if (!heldUntilExit)
            return;
        const auto sent = script.sends();
        check (sent.size() <= sendsAtStop + 1, "a stopped run went on talking to the controller");
        check (sent.size() == sendsAtStop || isEndOfTransmission (sent.back()),
               "a stopped run sent the controller more than the end of the exchange");
    }

private:
    testbackend::ScriptedDevice& script;
    std::atomic<bool> held{ false };
    std::atomic<bool> stopAsked{ false };
    std::atomic<bool> heldUntilExit{ false };
    std::size_t sendsAtStop = 0;
};
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Short sleeps end on time (the default slack is 50 us).
    prctl (PR_SET_TIMERSLACK, 1000UL);
    fuzz::initialiseJuce();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // Kept for the whole run: nothing is torn down at exit.
    static auto& deaf = *new Deaf();
    static auto& progress = *new std::atomic<double> (0.0);
    static auto& loader = *new UpdateFileLoader (&deaf, progress);
    static auto& executor = *new UpdateExecutor (&deaf);

    fuzz::Input input (data, size);
    const int fileBytes = input.pick (8 * 29 + 1);
    loader.setRetryCount (input.pick (4));
    executor.setRetryCount (input.pick (4));
    loader.setRetryWaitTime (0);
    executor.setRetryWaitTime (0);
    // The scripted controller answers at once; a time-out only bounds how
    // long a held send may wait for a stop.
    static const int execTimeouts[] = { 0, 1, 2, 100 };
    executor.setExecTimeout (execTimeouts[input.pick (4)]);
    // Mostly no stop, or one past the run's last send: a stop while an
    // execute request waits costs up to the execute thread's 50 ms poll.
    const int stopLoadAt = input.pick (24);
    const int stopExecAt = input.pick (16);
    const int productId = input.flag() ? 0x6102 : 0x6109;

    const std::string path = fuzz::scratchDirectory() + "/image.bin";
    static bool written = false;
    static int writtenBytes = -1;
    if (!written || writtenBytes != fileBytes)
    {
        std::ofstream out (path, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < fileBytes; ++i)
            out.put ((char) i);
        written = true;
        writtenBytes = fileBytes;
    }

    // Not make_shared: the test backend keeps a weak reference to every scripted
    // device it opened, which would keep the whole object's memory.
    std::shared_ptr<testbackend::ScriptedDevice> script (new testbackend::ScriptedDevice());
    fuzz::queueAnswers (*script, input);
    qmhid::HIDDevice* hid = testbackend::openScriptedDevice (script, 0x7A3C, productId);
    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
    check (device != nullptr, "a controller of a known vendor was not taken up");
    check (device->getDeviceInfo().modelName[16] == 0, "the model name is not terminated");

    {
        StopInSend stop (*script, stopLoadAt, [] { return juce::Thread::currentThreadShouldExit(); });
        loader.start (juce::File (path), device);
        stop.stopWhenHeld ([] { return loader.isLoading(); }, [] { loader.stop(); });
        waitWhile ([] { return loader.isLoading(); });
        const int loadStatus = loader.getLoadStatus();
        check (loadStatus == UpdateFileLoader::loadCompleted || loadStatus == UpdateFileLoader::loadFailed ||
                   loadStatus == UpdateFileLoader::loadDataRejected ||
                   loadStatus == UpdateFileLoader::loadCancelled,
               "the load ended without a final status");
        check (!script->sends().empty() && isEndOfTransmission (script->sends().back()),
               "the load did not close the exchange");
        stop.checkNothingSentAfterTheStop();
    }

    {
        // The execute request waits on a thread of its own, which an exit
        // leaves behind: it is held until the execute thread has gone.
        StopInSend stop (*script, stopExecAt, [] { return !executor.isRunning(); });
        executor.start (device);
        stop.stopWhenHeld ([] { return executor.isRunning(); }, [] { executor.stop(); });
        waitWhile ([] { return executor.isRunning(); });
        const int execStatus = executor.getExecStatus();
        check (execStatus == UpdateExecutor::execCompleted || execStatus == UpdateExecutor::execNotCompleted,
               "the execution ended without a final status");
        // A request left behind closes the exchange when its wait is over and
        // hands its reference back to this thread: the engines and this
        // function hold the rest.
        const auto end = Clock::now() + std::chrono::seconds (2);
        while (device->getReferenceCount() > 3 && Clock::now() < end)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        check (device->getReferenceCount() == 3, "a request left behind never let go of the controller");
        check (isEndOfTransmission (script->sends().back()), "the execution did not close the exchange");
        stop.checkNothingSentAfterTheStop();
    }

    // The engines keep the controller until they are started again.
    static auto& previous = *new std::shared_ptr<testbackend::ScriptedDevice>();
    device = nullptr;
    check (previous == nullptr || previous->releaseCount() == 1,
           "a controller was not released exactly once");
    check (script->releaseCount() == 0, "the controller was released while the engines hold it");
    previous = script;

    // The engines' change messages and the devices they hand back to the
    // message thread: undelivered, they would pile up input after input.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (0);
    return 0;
}
