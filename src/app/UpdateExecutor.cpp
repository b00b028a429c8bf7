#include "UpdateExecutor.h"

#include "AppFlavour.h"
#include "UpdateExecThread.h"

namespace
{
constexpr int stopTimeoutMs = 3000;
} // namespace

UpdateExecutor::UpdateExecutor (juce::ChangeListener* listener)
    : thread (nullptr)
    , execStatus (execRunning)
{
    thread = new UpdateExecThread (this);
    addChangeListener (listener);
}

UpdateExecutor::~UpdateExecutor()
{
    removeAllChangeListeners();
    delete thread;
}

void UpdateExecutor::start (UlkDevice::Ptr device)
{
    thread->start (device);
}

void UpdateExecutor::stop()
{
    thread->stopThread (stopTimeoutMs);
}

bool UpdateExecutor::isRunning() const
{
    return thread->isThreadRunning();
}

int UpdateExecutor::getRetryCount() const
{
    return thread->retryCount;
}

void UpdateExecutor::setRetryCount (int count)
{
    thread->retryCount = juce::jlimit (0, 5, count);
}

int UpdateExecutor::getRetryWaitTime() const
{
    return thread->retryWaitTime;
}

void UpdateExecutor::setRetryWaitTime (int ms)
{
    thread->retryWaitTime = juce::jlimit (0, 5000, ms);
}

void UpdateExecutor::setExecStatus (int status)
{
    if (execStatus.exchange (status) != status)
        sendChangeMessage();
}

int UpdateExecutor::getExecStatus() const
{
    return execStatus.load();
}

void UpdateExecutor::setExecTimeout (int ms)
{
#if QMHID_MAC_FLAVOUR
    juce::Logger::outputDebugString (juce::String::formatted ("exec timeout: %d", ms));
#endif
    thread->execTimeout = ms;
}

int UpdateExecutor::getExecTimeout() const
{
    return thread->execTimeout;
}
