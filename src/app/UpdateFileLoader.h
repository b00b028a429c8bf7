#pragma once

#include "UlkDevice.h"

#include <juce_events/juce_events.h>

#include <atomic>

class UpdateFileLoadThread;

/** The load engine: sends an update file to a controller in update mode on
    its own thread and announces every change of the load status to its
    listener.  Keeps the execution time-out the controller asked for. */
class UpdateFileLoader : public juce::ChangeBroadcaster
{
public:
    enum LoadStatus
    {
        loadStarted = 0,
        loadCompleted = 2,
        loadCancelled = 3,
        loadFailed = 4,
        loadDataRejected = 5
    };

    /** progress is written by the load thread, from 0.0 to 1.0. */
    UpdateFileLoader (juce::ChangeListener* listener, std::atomic<double>& progress);
    ~UpdateFileLoader() override;

    void start (const juce::File& file, UlkDevice::Ptr device);

    /** Asks the load to end and waits up to 3000 ms for it. */
    void stop();

    bool isLoading() const;

    int getRetryCount() const;
    void setRetryCount (int count);
    int getRetryWaitTime() const;
    void setRetryWaitTime (int ms);

    void setLoadStatus (int status);
    int getLoadStatus() const;

    /** Milliseconds; valid once loadCompleted has been announced. */
    int getExecTimeout() const;
    void setExecTimeout (int ms);

private:
    UpdateFileLoadThread* thread;
    std::atomic<int> loadStatus;
    std::atomic<int> execTimeout;

    JUCE_DECLARE_NON_COPYABLE (UpdateFileLoader)
};
