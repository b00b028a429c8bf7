// Soak over one backend on its stand-in: load-and-execute cycles of the
// engines and plug/unplug cycles of a simulated controller, taken up through
// the program's detector as in the program, and then the window's own road
// (the main component and its update controller: plug, Load, Execute, the
// controller's reboot, unplug) where the flavour's message boxes need no
// display (the Windows flavour: soak_bench_test and _win).  After a warm-up it samples the process every
// few cycles: the heap in use, resident memory, threads, open descriptors, the
// devices the backend has open and whatever the backend's platform counts of
// its own objects.  It fails when the heap or resident memory grow by more
// than noise a cycle, judged by the slope of a line fitted through the
// samples of the whole run (a one-off step of a cache moves it little, a leak
// of every cycle moves it by its size), or when a count ends above where it
// started.  Built once per backend: soak_bench_test, _mac, _win.
//
//   soak_bench_<backend> [cycles]        default 1000 of each road

#include "BenchSupport.h"

#include <MainComponent.h>
#include <SimulatedController.h>
#include <UlkDeviceDetector.h>
#include <UpdateExecutor.h>
#include <UpdateFileBuilder.h>
#include <UpdateFileLoader.h>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
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

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true; // their shadow memory and quarantine grow on their own
#else
constexpr bool sanitized = false;
#endif

//==============================================================================
/** What the soak watches.  Memory is judged by its growth over the run; a
    count must end no higher than it started. */
struct Figure
{
    std::string name;
    /** Bytes: the growth a cycle, and once in the whole run, let pass as
        noise.  0: a count of objects. */
    double noisePerCycle;
    double noiseOnce;
    std::function<long()> read;

    bool isMemory() const { return noisePerCycle > 0; }
    /** The slope, in bytes a cycle, above which a run of cycles grows. */
    double growthLimit (int cycles) const { return noisePerCycle + noiseOnce / cycles; }
};

std::vector<Figure> watchedFigures()
{
    // Noise, from clean runs of every road and backend: over 1000 cycles the
    // heap's slope stays within 7 bytes a cycle, resident memory's within 20;
    // over 60, a cache's one-off growth of a few KiB gives more.  A leak of
    // one block a cycle adds at least the 32 bytes of the allocator's
    // smallest chunk.
    std::vector<Figure> figures = {
        { "heap", 16.0, 8 * 1024.0, [] { return bench::heapInUseBytes(); } },
        { "resident", 64.0, 64 * 1024.0, [] { return bench::residentKiB() * 1024; } },
        { "threads", 0, 0, [] { return (long) bench::threadCount(); } },
        { "descriptors", 0, 0, [] { return (long) bench::openDescriptors(); } },
        { "devices", 0, 0, [] { return (long) bench::openDevices(); } },
    };
    for (const auto& count : bench::platformCounts())
    {
        const std::string name = count.name;
        figures.push_back ({ name, 0, 0,
                             [name]
                             {
                                 for (const auto& c : bench::platformCounts())
                                     if (c.name == name)
                                         return c.value;
                                 return -1L;
                             } });
    }
    return figures;
}

/** The samples of a run, in room taken before the first: the soak's own
    bookkeeping must not grow the heap it watches. */
class Samples
{
public:
    Samples (size_t figures, size_t samples)
        : width (figures)
        , values (figures * samples)
        , cycles (samples)
    {
    }

    void take (const std::vector<Figure>& figures, int cycle)
    {
        // Threads that have just finished their work are let go first.
        for (int i = 0; i < 20; ++i)
            pump();
        for (size_t i = 0; i < width; ++i)
            values[taken * width + i] = figures[i].read();
        cycles[taken++] = cycle;
    }

    size_t size() const { return taken; }
    int cycle (size_t sample) const { return cycles[sample]; }
    long value (size_t sample, size_t figure) const { return values[sample * width + figure]; }

    /** The slope of the least-squares line through figure's samples, in its
        unit a cycle. */
    double slope (size_t figure) const
    {
        double meanX = 0, meanY = 0;
        for (size_t k = 0; k < taken; ++k)
        {
            meanX += cycles[k];
            meanY += (double) value (k, figure);
        }
        meanX /= (double) taken;
        meanY /= (double) taken;
        double sxy = 0, sxx = 0;
        for (size_t k = 0; k < taken; ++k)
        {
            sxy += (cycles[k] - meanX) * ((double) value (k, figure) - meanY);
            sxx += (cycles[k] - meanX) * (cycles[k] - meanX);
        }
        return sxx > 0 ? sxy / sxx : 0.0;
    }

private:
    size_t width;
    std::vector<long> values;
    std::vector<int> cycles;
    size_t taken = 0;
};

/** Executions of the current run whose ACK went with the controller as it
    rebooted, before the host read it: the controller flashes for a fixed
    time and goes at once, so a host thread that runs late on a crowded
    machine misses the ACK.  Counted, not failed, up to one in twenty. */
int lateReads = 0;

/** Prints the figures and says whether they held. */
bool judge (const char* what, int cycles, const std::vector<Figure>& figures, const Samples& samples,
            double seconds)
{
    bool ok = lateReads * 20 <= cycles;
    std::string line;
    char text[160];
    const size_t last = samples.size() - 1;
    for (size_t i = 0; i < figures.size(); ++i)
    {
        const long first = samples.value (0, i);
        if (figures[i].isMemory())
        {
            const double growth = samples.slope (i);
            const bool steady = sanitized || growth <= figures[i].growthLimit (cycles);
            ok = ok && steady;
            std::snprintf (text, sizeof (text), "%s %ld -> %ld KiB (%+.1f B/cycle%s)",
                           figures[i].name.c_str(), first / 1024, samples.value (last, i) / 1024, growth,
                           steady ? "" : ", GROWS");
        }
        else
        {
            // The last samples' least: one that is only late to go is let off.
            long end = samples.value (last, i);
            for (size_t k = last >= 2 ? last - 2 : 0; k <= last; ++k)
                end = std::min (end, samples.value (k, i));
            const bool steady = end <= first;
            ok = ok && steady;
            std::snprintf (text, sizeof (text), "%s %ld -> %ld%s", figures[i].name.c_str(), first, end,
                           steady ? "" : " GROWS");
        }
        line += (i == 0 ? "" : ", ") + std::string (text);
    }
    if (lateReads > 0)
        line += ", " + std::to_string (lateReads) +
                " execute ACKs gone with the reboot before the host read them";
    std::printf ("soak %s %d %s: %.1f s; %s: %s\n", bench::backendName(), cycles, what, seconds, line.c_str(),
                 ok ? "steady" : "GROWS");
    return ok;
}

template <typename Cycle>
bool soak (const char* what, int cycles, Cycle&& cycle)
{
    const int warmUp = 50;
    lateReads = 0;
    for (int i = 0; i < warmUp; ++i)
        if (const char* failure = cycle())
        {
            std::printf ("soak %s %s: warm-up cycle %d: %s\n", bench::backendName(), what, i, failure);
            return false;
        }

    const auto figures = watchedFigures();
    // About fifty samples, whatever the length of the run.
    const int every = std::max (1, cycles / 50);
    Samples samples (figures.size(), (size_t) (cycles / every + 2));
    samples.take (figures, 0);
    const auto started = std::chrono::steady_clock::now();
    lateReads = 0;
    for (int i = 0; i < cycles; ++i)
    {
        if (const char* failure = cycle())
        {
            std::printf ("soak %s %s: cycle %d: %s\n", bench::backendName(), what, i, failure);
            return false;
        }
        if ((i + 1) % every == 0 || i + 1 == cycles)
            samples.take (figures, i + 1);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
    return judge (what, cycles, figures, samples, seconds.count());
}

//==============================================================================
/** The engines' road and the detector's, as before the window existed. */
bool engineRoads (int cycles, const juce::File& file, sim::SimulatedController& controller)
{
    Current current;
    UlkDeviceDetector detector;
    detector.setDeviceArrivalCallback (&Current::arrived, &current);
    detector.setDeviceRemovalCallback (&Current::removed, &current);
    detector.startDetect();

    Quiet quiet;
    std::atomic<double> progress{ 0.0 };
    UpdateFileLoader loader (&quiet, progress);
    UpdateExecutor executor (&quiet);

    controller.plugIn();
    bool ok = pumpUntil ([&] { return current.device != nullptr; });

    // Both roads run and print, whatever the first found.
    const bool loads =
        ok &&
        soak ("load-and-execute cycles", cycles,
              [&]() -> const char*
              {
                  // The controller comes back from its reboot in normal mode.
                  controller.setIdentity (sim::ControllerIdentity::km3300());
                  if (!pumpUntil ([&] { return current.device != nullptr; }))
                      return "no controller";
                  controller.clearRecord(); // a long run keeps no history
                  loader.start (file, current.device);
                  if (!pumpUntil ([&] { return !loader.isLoading(); }))
                      return "the load does not end";
                  if (loader.getLoadStatus() != UpdateFileLoader::loadCompleted)
                      return "the load failed";
                  executor.setExecTimeout (loader.getExecTimeout());
                  const int arrivals = current.arrivals;
                  executor.start (current.device);
                  // Then the controller reboots: it goes and comes back.
                  // A missed ACK costs three tries and their pauses.
                  if (!pumpUntil ([&] { return !executor.isRunning(); }, 15000))
                      return "the execution does not end";
                  const auto record = controller.record();
                  if (executor.getExecStatus() != UpdateExecutor::execCompleted && record.reboots > 0)
                      ++lateReads;
                  else if (executor.getExecStatus() != UpdateExecutor::execCompleted)
                  {
                      std::printf ("soak %s: the controller took %d execute requests and "
                                   "flashed %d times\n",
                                   bench::backendName(), record.executeRequests, record.reboots);
                      return "the execution failed";
                  }
                  if (!pumpUntil ([&] { return current.arrivals > arrivals && current.device != nullptr; }))
                      return "the controller did not come back";
                  return (const char*) nullptr;
              });

    const bool plugs = ok && soak ("plug/unplug cycles", cycles,
                                   [&]() -> const char*
                                   {
                                       controller.clearRecord();
                                       controller.unplug();
                                       if (!pumpUntil ([&] { return current.device == nullptr; }))
                                           return "the removal was not heard";
                                       controller.plugIn();
                                       if (!pumpUntil ([&] { return current.device != nullptr; }))
                                           return "the arrival was not heard";
                                       return (const char*) nullptr;
                                   });

    controller.unplug();
    pumpUntil ([&] { return current.device == nullptr; });
    detector.stopDetect();
    // The engines keep the last controller until they go.
    return loads && plugs;
}

//==============================================================================
// The window's children in their stacking order.
enum Child
{
    deviceInfo,
    loadButton,
    executeButton
};

bool isShown (MainComponent& main, Child which)
{
    return main.getChildComponent ((int) which)->isVisible();
}

bool isEnabled (MainComponent& main, Child which)
{
    return main.getChildComponent ((int) which)->isEnabled();
}

/** As a click does, at once. */
void click (MainComponent& main, Child which)
{
    main.buttonClicked (dynamic_cast<juce::Button*> (main.getChildComponent ((int) which)));
}

/** The window's road, with its message boxes answered at once. */
bool applicationRoad (int cycles, const juce::File& file, sim::SimulatedController& controller)
{
    std::string reason;
    if (!bench::canShowMessageBoxes (reason))
    {
        std::printf ("soak %s %d application cycles: not run: %s\n", bench::backendName(), cycles,
                     reason.c_str());
        return true;
    }
    std::vector<std::string> expected = { "Load was completed.", "Version up was completed.",
                                          "QM-KM3300 is not ready for version up." };
    std::sort (expected.begin(), expected.end());
    std::vector<std::string> missedAck = { "Load was completed.", "Version up was not completed.",
                                           "QM-KM3300 is not ready for version up." };
    std::sort (missedAck.begin(), missedAck.end());

    bool ok;
    {
        MainComponent main;
        // The box of a completed load is answered once the load thread has
        // ended: the window offers Execute only then (a click before it
        // would leave Execute off until something else happens).
        bench::answerMessageBoxes (true, [&main] { return main.fileAcceptable(); });
        main.filesDropped (juce::StringArray (file.getFullPathName()), 0, 0);
        std::vector<std::string> boxes;
        const auto boxesShown = [&]
        {
            for (auto& text : bench::takeMessageBoxes())
                boxes.push_back (std::move (text));
            return boxes.size();
        };
        const auto cycle = [&]() -> const char*
        {
            boxesShown();
            boxes.clear();
            controller.clearRecord();
            controller.setIdentity (sim::ControllerIdentity::km3300());
            controller.plugIn();
            if (!pumpUntil ([&] { return isEnabled (main, loadButton); }))
                return "Load is not offered for the controller";
            click (main, loadButton);
            if (!pumpUntil ([&] { return isEnabled (main, executeButton); }))
                return "Execute is not offered after the load";
            click (main, executeButton);
            // It flashes, goes, and comes back in normal mode, of which the
            // window warns.
            const auto said = [&]
            {
                boxesShown();
                auto distinct = boxes;
                std::sort (distinct.begin(), distinct.end());
                distinct.erase (std::unique (distinct.begin(), distinct.end()), distinct.end());
                return distinct;
            };
            if (!pumpUntil ([&] { return said().size() >= expected.size() && main.fileAcceptable(); }, 15000))
                return "the execution and the controller's return were not both told";
            // A status that changes while its announcement is being delivered
            // is announced twice, and its box shows twice: each message counts once.
            if (said() == missedAck && controller.record().reboots > 0)
                ++lateReads;
            else if (said() != expected)
                return "the window said something else";
            controller.unplug();
            if (!pumpUntil ([&] { return !isShown (main, deviceInfo); }))
                return "the removal was not shown";
            return nullptr;
        };
        ok = soak ("application cycles", cycles,
                   [&]
                   {
                       const char* failure = cycle();
                       if (failure != nullptr)
                       {
                           boxesShown();
                           for (const auto& text : boxes)
                               std::printf ("soak %s: the window said \"%s\"\n", bench::backendName(),
                                            text.c_str());
                       }
                       return failure;
                   });
        bench::answerMessageBoxes (false);
    }
    return ok;
}
} // namespace

int main (int argc, char** argv)
{
    // One arena for every thread: a thread that starts later may otherwise
    // get an arena of its own, which grows resident memory and the heap's
    // bookkeeping by steps that say nothing of leaks.
    mallopt (M_ARENA_MAX, 1);
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
    // on a loaded machine, where a thread may run tens of milliseconds late
    // (50 ms lost an ACK now and then with the machine at a load of 15).
    controller->setFlashTimeMs (150);
    controller->setRebootTimeMs (5);

    // Every road runs and prints, whatever the one before found.
    const bool engines = engineRoads (cycles, file, *controller);
    const bool window = applicationRoad (cycles, file, *controller);
    bool ok = engines && window;

    dir.deleteRecursively();
    if (bench::openDevices() != 0)
    {
        std::printf ("soak %s: %d devices still open\n", bench::backendName(), bench::openDevices());
        ok = false;
    }
    return ok ? 0 : 1;
}
