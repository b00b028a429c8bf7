#include "UpdateFileLoadThread.h"

#include "AppFlavour.h"
#include "UpdateFileLoader.h"

#include <memory>

namespace
{
constexpr int defaultExecTimeoutMs = 15000;
constexpr int nak = 3;
} // namespace

UpdateFileLoadThread::UpdateFileLoadThread (UpdateFileLoader* ownerToUse, std::atomic<double>& progressToUse)
    : juce::Thread ("Update File Load Thread")
    , retryCount (2)
    , retryWaitTime (1500)
    , progress (progressToUse)
    , owner (ownerToUse)
{
}

UpdateFileLoadThread::~UpdateFileLoadThread()
{
    device = nullptr;
}

void UpdateFileLoadThread::start (const juce::File& fileToLoad, UlkDevice::Ptr deviceToUse)
{
    device = deviceToUse;
    file = fileToLoad;
    startThread();
}

void UpdateFileLoadThread::pause()
{
    wait (retryWaitTime.load());
}

void UpdateFileLoadThread::run()
{
    if (device == nullptr)
    {
        ULK_ASSERT (device != nullptr);
        owner->setLoadStatus (UpdateFileLoader::loadFailed);
        return;
    }

    auto& transmission = device->getTransmission();

    // Cleared once, so that a block past the end of a file that shrank since
    // it was checked carries zeros rather than stale memory.
    juce::MemoryBlock block ((size_t) qmhid::HIDTransmission::getVersionUpDataSize(), true);

    owner->setLoadStatus (UpdateFileLoader::loadStarted);
    progress.store (0.0);

    std::unique_ptr<juce::FileInputStream> stream (file.createInputStream());
    if (stream == nullptr)
    {
        ULK_ASSERT (stream != nullptr);
        owner->setLoadStatus (UpdateFileLoader::loadFailed);
    }
    else
    {
        owner->setLoadStatus (load (transmission, *stream, block));
    }

    // The status is announced before the exchange is closed.
    transmission.sendEndOfTransmission();
}

int UpdateFileLoadThread::load (qmhid::HIDTransmission& transmission, juce::InputStream& stream,
                                juce::MemoryBlock& block)
{
    const int tries = retryCount.load() + 1;

    for (int attempt = 0;; ++attempt)
    {
        if (transmission.sendVerUpSelect() == 0)
            break;

        pause();

        if (attempt + 1 >= tries)
            return UpdateFileLoader::loadFailed;

        // Quitting must not wait for the remaining tries.
        if (threadShouldExit())
            return UpdateFileLoader::loadCancelled;
    }

    const int blockSize = (int) block.getSize();
    auto* data = static_cast<const qmhid::uint8*> (block.getData());

    for (int pass = 0;; ++pass)
    {
        auto type = qmhid::HIDTransmission::Start;

        for (;;)
        {
            if (threadShouldExit())
                return UpdateFileLoader::loadCancelled;

            // The block always goes out whole; after a short read its tail
            // keeps the bytes of the block before.
            stream.read (block.getData(), blockSize);

            if (stream.isExhausted())
                type = qmhid::HIDTransmission::End;

            const auto total = stream.getTotalLength();
            progress.store (total > 0 ? (double) stream.getPosition() / (double) total : 1.0);

            qmhid::VersionUpDataResult result{};
            int code = 0;
            bool stoppedForExit = false;

            for (int attempt = 0; attempt < tries; ++attempt)
            {
                code = transmission.sendVersionUpData (type, data, blockSize, &result);
                if (code == 0)
                    break;

                pause();

                if (code == nak && type == qmhid::HIDTransmission::End)
                    break;

                if (attempt + 1 < tries && threadShouldExit())
                {
                    stoppedForExit = true;
                    break;
                }
            }

            if (type == qmhid::HIDTransmission::End && code == nak)
            {
                // The controller refused the image: send all of it again.
                if (pass < retryCount.load())
                {
                    stream.setPosition (0);
                    break;
                }
                return UpdateFileLoader::loadDataRejected;
            }

            if (code != 0)
                return stoppedForExit ? UpdateFileLoader::loadCancelled : UpdateFileLoader::loadFailed;

            if (type == qmhid::HIDTransmission::End)
            {
#if QMHID_MAC_FLAVOUR
                juce::Logger::outputDebugString (
                    juce::String::formatted ("exec timeout(raw): %d", result.execTimeout));
#endif
                owner->setExecTimeout (result.execTimeout == 0 ? defaultExecTimeoutMs : result.execTimeout);
                return UpdateFileLoader::loadCompleted;
            }

            type = qmhid::HIDTransmission::Intermediate;
        }
    }
}
