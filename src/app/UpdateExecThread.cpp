#include "UpdateExecThread.h"

#include "AppFlavour.h"
#include "UpdateExecutor.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace
{
/** One execute request and the wait for its answer.  The controller may take
    a long time to answer (the time-out it asked for), longer than quitting may
    take: the request runs on a thread of its own, so that the execute thread
    can leave the wait when asked to exit.  Whoever is left at the end closes
    the exchange. */
struct ExecRequest
{
    ExecRequest (UlkDevice::Ptr deviceToUse, int timeoutToUse)
        : device (std::move (deviceToUse))
        , timeoutMs (timeoutToUse)
    {
    }

    UlkDevice::Ptr device;
    const int timeoutMs;

    std::mutex lock;
    std::condition_variable condition;
    bool finished = false;
    bool abandoned = false;
    int result = 0;
};

constexpr auto exitPollInterval = std::chrono::milliseconds (50);

void runRequest (std::shared_ptr<ExecRequest> request)
{
    const int code = request->device->getTransmission().sendVerUpExec (request->timeoutMs);

    bool abandoned;
    {
        std::lock_guard<std::mutex> guard (request->lock);
        request->result = code;
        request->finished = true;
        abandoned = request->abandoned;
    }
    request->condition.notify_all();

    if (abandoned)
    {
        request->device->getTransmission().sendEndOfTransmission();

        // The last reference goes on the message thread, where devices are
        // released; without a message loop any more it goes here.
        juce::MessageManager::callAsync ([device = std::move (request->device)]() mutable
                                         { device = nullptr; });
    }
}
} // namespace

UpdateExecThread::UpdateExecThread (UpdateExecutor* ownerToUse)
    : juce::Thread ("Update Execute Thread")
    , retryCount (2)
    , retryWaitTime (1500)
    , execTimeout (15000)
    , owner (ownerToUse)
{
}

UpdateExecThread::~UpdateExecThread()
{
    device = nullptr;
}

void UpdateExecThread::start (UlkDevice::Ptr deviceToUse)
{
    device = deviceToUse;
    startThread();
}

bool UpdateExecThread::requestExecution (int& code)
{
    auto request = std::make_shared<ExecRequest> (device, execTimeout.load());

    try
    {
        std::thread (runRequest, request).detach();
    }
    catch (const std::system_error&)
    {
        request->device = nullptr;
        code = device->getTransmission().sendVerUpExec (execTimeout.load());
        return true;
    }

    std::unique_lock<std::mutex> guard (request->lock);
    while (!request->finished)
    {
        if (threadShouldExit())
        {
            request->abandoned = true;
            return false;
        }
        request->condition.wait_for (guard, exitPollInterval);
    }

    code = request->result;
    request->device = nullptr; // this thread keeps its own reference
    return true;
}

void UpdateExecThread::run()
{
    if (device == nullptr)
    {
        // Nothing to talk to: fail at once, sending nothing.
        ULK_ASSERT (device != nullptr);
        owner->setExecStatus (UpdateExecutor::execNotCompleted);
        return;
    }

    owner->setExecStatus (UpdateExecutor::execRunning);
    auto& transmission = device->getTransmission();

#if QMHID_MAC_FLAVOUR
    juce::Logger::outputDebugString (
        juce::String::formatted ("exec timeout(executor): %d", execTimeout.load()));
#endif

    bool cancelled = false;
    bool closedByRequest = false;
    int result = 0;

    for (int attempt = 0; attempt <= retryCount.load(); ++attempt)
    {
        if (threadShouldExit())
        {
            cancelled = true;
            break;
        }

        if (!requestExecution (result))
        {
            // The request closes the exchange itself once its wait is over.
            cancelled = true;
            closedByRequest = true;
            break;
        }

        if (result == 0)
            break;

        juce::Logger::outputDebugString (juce::String::formatted ("exec timeouted (%d)", attempt + 1));

        // An exit request cuts the pause short.
        wait (retryWaitTime.load());
    }

    if (!closedByRequest)
        transmission.sendEndOfTransmission();

    owner->setExecStatus (!cancelled && result == 0 ? UpdateExecutor::execCompleted
                                                    : UpdateExecutor::execNotCompleted);
}
