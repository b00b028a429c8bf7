// A whole take-up, load and execution against a hostile controller: every
// reply, result code and silence of the scripted controller comes from the
// fuzzer, and so do the file's length and the engines' retry counts.  The
// retry pauses are 0, so an input runs in microseconds.  The engines must end
// every run with a final status, whatever the controller says.

#include "FuzzSupport.h"

#include <ScriptedDevice.h>
#include <UlkDevice.h>
#include <UpdateExecutor.h>
#include <UpdateFileLoader.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <sys/prctl.h>

namespace
{
using fuzz::check;

/** The engines announce to a listener; nobody needs to hear it here. */
struct Deaf : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override {}
};

void queue (testbackend::ScriptedDevice& script, fuzz::Input& input)
{
    while (!input.empty())
    {
        const std::uint8_t kind = input.byte();
        switch (kind % 8)
        {
            case 0:
                script.queueNoReport();
                break;
            case 1:
                script.queueCode ((int) (std::int8_t) input.byte());
                break;
            case 2:
                script.queueSendFailure (input.flag() ? testbackend::writeTimeoutCode
                                                      : testbackend::goneCode);
                break;
            case 3:
            {
                // An ACK, a NAK or a caps reply with a hostile body.
                testbackend::Report report{};
                static const std::uint8_t heads[][3] = {
                    { 0x00, 0x0B, 0x06 }, { 0x00, 0x0E, 0x06 }, { 0x00, 0x0B, 0x15 }, { 0x41, 0x04, 0x21 }
                };
                const auto& head = heads[input.pick (4)];
                std::copy (std::begin (head), std::end (head), report.begin());
                const auto body = input.bytes (29);
                std::copy (body.begin(), body.end(), report.begin() + 3);
                script.queueReply (report);
                break;
            }
            default:
            {
                testbackend::Report report{};
                const auto bytes = input.bytes (report.size());
                std::copy (bytes.begin(), bytes.end(), report.begin());
                script.queueReply (report);
                break;
            }
        }
    }
}

/** Sleeps rather than spins: with a worker per core, a spinning wait takes
    the core the engine's own threads need. */
void waitWhile (const std::function<bool()>& busy)
{
    while (busy())
        std::this_thread::sleep_for (std::chrono::microseconds (20));
}
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
    executor.setExecTimeout (input.pick (3));

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
    queue (*script, input);
    qmhid::HIDDevice* hid = testbackend::openScriptedDevice (script, 0x7A3C, input.flag() ? 0x6102 : 0x6109);
    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
    check (device != nullptr, "a controller of a known vendor was not taken up");
    check (device->getDeviceInfo().modelName[16] == 0, "the model name is not terminated");

    loader.start (juce::File (path), device);
    waitWhile ([] { return loader.isLoading(); });
    const int loadStatus = loader.getLoadStatus();
    check (loadStatus == UpdateFileLoader::loadCompleted || loadStatus == UpdateFileLoader::loadFailed ||
               loadStatus == UpdateFileLoader::loadDataRejected,
           "the load ended without a final status");

    executor.start (device);
    waitWhile ([] { return executor.isRunning(); });
    const int execStatus = executor.getExecStatus();
    check (execStatus == UpdateExecutor::execCompleted || execStatus == UpdateExecutor::execNotCompleted,
           "the execution ended without a final status");

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
