#pragma once

#include "UlkDevice.h"

#include <juce_core/juce_core.h>

#include <atomic>

class UpdateExecutor;

/** The thread of one execution: the execute request with the execution
    time-out, retried, then an end of transmission. */
class UpdateExecThread : public juce::Thread
{
public:
    explicit UpdateExecThread (UpdateExecutor* owner);
    ~UpdateExecThread() override;

    /** Keeps device (until the next start) and starts the thread. */
    void start (UlkDevice::Ptr device);

    void run() override;

    std::atomic<int> retryCount;
    std::atomic<int> retryWaitTime;
    std::atomic<int> execTimeout;

private:
    /** One execute request.  False when an exit request came while waiting
        for the controller's answer; the wait then goes on without this thread. */
    bool requestExecution (int& code);

    UpdateExecutor* owner;
    UlkDevice::Ptr device;

    JUCE_DECLARE_NON_COPYABLE (UpdateExecThread)
};
