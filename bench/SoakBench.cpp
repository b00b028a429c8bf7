// Soak over one backend on its stand-in: load-and-execute cycles and
// plug/unplug cycles of a simulated controller, taken up through the
// program's detector as in the program.  Prints resident memory, threads and
// open descriptors after a warm-up and at the end, and fails when any of them
// grew beyond noise.  Built once per backend: soak_bench_test, _mac, _win.
//
//   soak_bench_<backend> [cycles]        default 1000 of each

#include "BenchSupport.h"

#include <SimulatedController.h>
#include <UlkDeviceDetector.h>
#include <UpdateExecutor.h>
#include <UpdateFileBuilder.h>
#include <UpdateFileLoader.h>

#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include <unistd.h>

namespace
{
struct Quiet : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override {}
};

/** Keeps the controller the detector hands over, as the update controller does. */
struct Current
{
    UlkDevice::Ptr device;
    int arrivals = 0;

    static void arrived (UlkDevice::Ptr d, void* self)
    {
        static_cast<Current*> (self)->device = d;
        ++static_cast<Current*> (self)->arrivals;
    }
    static void removed (qmhid::HIDDeviceIdentifier* identifier, void* self)
    {
        auto& current = static_cast<Current*> (self)->device;
        if (current != nullptr && current->equalId (identifier))
            current = nullptr;
    }
};

void pump()
{
    bench::serviceNotifications();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pump();
    }
    return true;
}

struct Figures
{
    long residentKiB;
    int threads;
    int descriptors;
};

Figures figures()
{
    // Threads that have just finished their work are let go first.
    for (int i = 0; i < 20; ++i)
        pump();
    return { bench::residentKiB(), bench::threadCount(), bench::openDescriptors() };
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true; // their shadow memory and quarantine grow on their own
#else
constexpr bool sanitized = false;
#endif

bool report (const char* what, int cycles, const Figures& start, const Figures& end, double seconds)
{
    // Noise: after the warm-up the allocator's and JUCE's caches move by less
    // than a hundred KiB over a thousand cycles.
    const long residentNoiseKiB = 256;
    const bool ok = (sanitized || end.residentKiB - start.residentKiB <= residentNoiseKiB) &&
                    end.threads <= start.threads && end.descriptors <= start.descriptors;
    std::printf (
        "soak %s %d %s: %.1f s; resident %ld -> %ld KiB, threads %d -> %d, descriptors %d -> %d: %s\n",
        bench::backendName(), cycles, what, seconds, start.residentKiB, end.residentKiB, start.threads,
        end.threads, start.descriptors, end.descriptors, ok ? "steady" : "GROWS");
    return ok;
}

template <typename Cycle>
bool soak (const char* what, int cycles, Cycle&& cycle)
{
    const int warmUp = 50;
    for (int i = 0; i < warmUp; ++i)
        if (const char* failure = cycle())
        {
            std::printf ("soak %s %s: warm-up cycle %d: %s\n", bench::backendName(), what, i, failure);
            return false;
        }
    const auto start = figures();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i)
        if (const char* failure = cycle())
        {
            std::printf ("soak %s %s: cycle %d: %s\n", bench::backendName(), what, i, failure);
            return false;
        }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
    return report (what, cycles, start, figures(), seconds.count());
}
} // namespace

int main (int argc, char** argv)
{
    bench::startPlatform();
    juce::ScopedJuceInitialiser_GUI juce;
    const int cycles = argc > 1 ? std::atoi (argv[1]) : 1000;

    // Named after the process: two soaks started together would otherwise
    // both take the same free name, and the first to end would delete the
    // other's update file.
    const auto dir = juce::File::getSpecialLocation (juce::File::tempDirectory)
                         .getNonexistentChildFile ("ulk-soak-" + juce::String ((int) getpid()), "");
    dir.createDirectory();
    const juce::File file (ulktest::UpdateFileBuilder::km3300().imageSize (29 * 8).writeTo (
        dir.getChildFile ("update.bin").getFullPathName().toStdString()));

    auto controller = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
    // It goes away right after its execute ACK, and an ACK not yet read goes
    // with the device (on Windows too: the HID class driver drops what it
    // queued, and a read after the removal fails).  A real flash takes
    // seconds, so the host is long waiting for the ACK; the soak's flash must
    // still outlast the few milliseconds from the execute to the host's read
    // on a loaded machine, where a thread may run tens of milliseconds late.
    controller->setFlashTimeMs (50);
    controller->setRebootTimeMs (5);

    Current current;
    bool ok = true;
    {
        UlkDeviceDetector detector;
        detector.setDeviceArrivalCallback (&Current::arrived, &current);
        detector.setDeviceRemovalCallback (&Current::removed, &current);
        detector.startDetect();

        Quiet quiet;
        std::atomic<double> progress{ 0.0 };
        UpdateFileLoader loader (&quiet, progress);
        UpdateExecutor executor (&quiet);

        controller->plugIn();
        ok = pumpUntil ([&] { return current.device != nullptr; });

        // Both phases run and print, whatever the first found.
        const bool loads =
            ok && soak ("load-and-execute cycles", cycles,
                        [&]() -> const char*
                        {
                            // The controller comes back from its reboot in normal mode.
                            controller->setIdentity (sim::ControllerIdentity::km3300());
                            if (!pumpUntil ([&] { return current.device != nullptr; }))
                                return "no controller";
                            controller->clearRecord(); // a long run keeps no history
                            loader.start (file, current.device);
                            if (!pumpUntil ([&] { return !loader.isLoading(); }))
                                return "the load does not end";
                            if (loader.getLoadStatus() != UpdateFileLoader::loadCompleted)
                                return "the load failed";
                            executor.setExecTimeout (loader.getExecTimeout());
                            const int arrivals = current.arrivals;
                            executor.start (current.device);
                            // Then the controller reboots: it goes and comes back.
                            if (!pumpUntil ([&] { return !executor.isRunning(); }))
                                return "the execution does not end";
                            if (executor.getExecStatus() != UpdateExecutor::execCompleted)
                            {
                                const auto record = controller->record();
                                std::printf ("soak %s: the controller took %d execute requests and "
                                             "flashed %d times\n",
                                             bench::backendName(), record.executeRequests, record.reboots);
                                return "the execution failed";
                            }
                            if (!pumpUntil (
                                    [&] { return current.arrivals > arrivals && current.device != nullptr; }))
                                return "the controller did not come back";
                            return (const char*) nullptr;
                        });

        const bool plugs = ok && soak ("plug/unplug cycles", cycles,
                                       [&]() -> const char*
                                       {
                                           controller->clearRecord();
                                           controller->unplug();
                                           if (!pumpUntil ([&] { return current.device == nullptr; }))
                                               return "the removal was not heard";
                                           controller->plugIn();
                                           if (!pumpUntil ([&] { return current.device != nullptr; }))
                                               return "the arrival was not heard";
                                           return (const char*) nullptr;
                                       });

        ok = loads && plugs;
        controller->unplug();
        pumpUntil ([&] { return current.device == nullptr; });
        detector.stopDetect();
        // The engines keep the last controller until they go.
    }
    current.device = nullptr;
    dir.deleteRecursively();
    if (bench::openDevices() != 0)
    {
        std::printf ("soak %s: %d devices still open\n", bench::backendName(), bench::openDevices());
        ok = false;
    }
    return ok ? 0 : 1;
}
