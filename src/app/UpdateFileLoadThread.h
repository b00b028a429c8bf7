#pragma once

#include "UlkDevice.h"

#include <juce_core/juce_core.h>

#include <atomic>

class UpdateFileLoader;

/** The thread of one load: select version-up mode, send the file in 29-byte
    blocks, send the whole image again when the controller refuses the last
    block, and end the exchange with an end of transmission. */
class UpdateFileLoadThread : public juce::Thread
{
public:
    UpdateFileLoadThread (UpdateFileLoader* owner, std::atomic<double>& progress);
    ~UpdateFileLoadThread() override;

    /** Keeps device and file (until the next start) and starts the thread. */
    void start (const juce::File& file, UlkDevice::Ptr device);

    void run() override;

    std::atomic<int> retryCount;
    std::atomic<int> retryWaitTime;

private:
    int load (qmhid::HIDTransmission& transmission, juce::InputStream& stream, juce::MemoryBlock& block);

    /** The pause after a failed try; an exit request cuts it short. */
    void pause();

    juce::File file;
    UlkDevice::Ptr device;
    std::atomic<double>& progress;
    UpdateFileLoader* owner;

    JUCE_DECLARE_NON_COPYABLE (UpdateFileLoadThread)
};
