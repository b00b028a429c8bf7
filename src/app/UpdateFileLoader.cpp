#include "UpdateFileLoader.h"

#include "UpdateFileLoadThread.h"

namespace
{
constexpr int stopTimeoutMs = 3000;
} // namespace

UpdateFileLoader::UpdateFileLoader (juce::ChangeListener* listener, std::atomic<double>& progress)
    : thread (nullptr)
    , loadStatus (loadStarted)
    , execTimeout (0)
{
    thread = new UpdateFileLoadThread (this, progress);
    addChangeListener (listener);
}

UpdateFileLoader::~UpdateFileLoader()
{
    removeAllChangeListeners();
    delete thread;
}

void UpdateFileLoader::start (const juce::File& file, UlkDevice::Ptr device)
{
    thread->start (file, device);
}

void UpdateFileLoader::stop()
{
    thread->stopThread (stopTimeoutMs);
}

bool UpdateFileLoader::isLoading() const
{
    return thread->isThreadRunning();
}

int UpdateFileLoader::getRetryCount() const
{
    return thread->retryCount;
}

void UpdateFileLoader::setRetryCount (int count)
{
    thread->retryCount = juce::jlimit (0, 5, count);
}

int UpdateFileLoader::getRetryWaitTime() const
{
    return thread->retryWaitTime;
}

void UpdateFileLoader::setRetryWaitTime (int ms)
{
    thread->retryWaitTime = juce::jlimit (0, 5000, ms);
}

void UpdateFileLoader::setLoadStatus (int status)
{
    if (loadStatus.exchange (status) != status)
        sendChangeMessage();
}

int UpdateFileLoader::getLoadStatus() const
{
    return loadStatus.load();
}

int UpdateFileLoader::getExecTimeout() const
{
    return execTimeout.load();
}

void UpdateFileLoader::setExecTimeout (int ms)
{
    execTimeout.store (ms);
}
