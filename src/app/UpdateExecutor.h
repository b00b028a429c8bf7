#pragma once

#include "UlkDevice.h"

#include <juce_events/juce_events.h>

#include <atomic>

class UpdateExecThread;

/** The execute engine: after a completed load, tells the controller on its own
    thread to execute the loaded image and announces every change of the
    execution status to its listener. */
class UpdateExecutor : public juce::ChangeBroadcaster
{
public:
    enum ExecStatus
    {
        execRunning = 0,
        execCompleted = 1,
        execNotCompleted = 2
    };

    explicit UpdateExecutor (juce::ChangeListener* listener);
    ~UpdateExecutor() override;

    void start (UlkDevice::Ptr device);

    /** Asks the execution to end and waits up to 3000 ms for it. */
    void stop();

    bool isRunning() const;

    int getRetryCount() const;
    void setRetryCount (int count);
    int getRetryWaitTime() const;
    void setRetryWaitTime (int ms);

    void setExecStatus (int status);
    int getExecStatus() const;

    /** The time-out of each execute request, in milliseconds. */
    void setExecTimeout (int ms);
    int getExecTimeout() const;

private:
    UpdateExecThread* thread;
    std::atomic<int> execStatus;

    JUCE_DECLARE_NON_COPYABLE (UpdateExecutor)
};
