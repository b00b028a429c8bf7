// A whole 512 KiB load through one backend on its stand-in, over the virtual
// bus paced at one report per millisecond (a USB full-speed interrupt
// endpoint), against the floor of one millisecond per block.  The CPU figure
// is that of the load thread and of the backend's own threads, from their
// thread clocks, without the simulated controller's share (timed inside its
// report handler, which runs on the writer's thread).  Built once per backend:
// load_bench_test, load_bench_mac, load_bench_win.
//
//   load_bench_<backend> [KiB]        default 512
//   load_bench_<backend> --unpaced [KiB]
//   ULK_BENCH_FRAMES=1 load_bench_<backend>    also times the frame waits alone

#include "BenchSupport.h"

#include <SimulatedController.h>
#include <UlkDevice.h>
#include <UpdateFileBuilder.h>
#include <UpdateFileLoader.h>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace
{
struct Quiet : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override {}
};

/** Passes everything to the controller and keeps, per thread, the thread's CPU
    clock at its first and last report and the CPU spent inside the controller. */
class TimedController : public sim::DeviceModel
{
public:
    explicit TimedController (std::shared_ptr<sim::SimulatedController> c)
        : controller (std::move (c))
    {
    }

    void plugged (sim::DeviceLink& link) override { controller->plugged (link); }
    void unplugged() override { controller->unplugged(); }

    bool outputReport (sim::DeviceLink& link, const std::uint8_t* data, std::size_t len) override
    {
        const double entered = bench::currentThreadCpuSeconds();
        const bool taken = controller->outputReport (link, data, len);
        const double inside = bench::currentThreadCpuSeconds() - entered;

        std::lock_guard<std::mutex> guard (lock);
        auto& t = threads[std::this_thread::get_id()];
        if (t.reports++ == 0)
            t.first = entered;
        t.lastEntered = entered;
        t.lastInside = inside;
        t.inside += inside;
        return taken;
    }

    /** The CPU the busiest writer (the load thread) spent between its first
        and its last report outside the controller. */
    double writerCpu() const
    {
        std::lock_guard<std::mutex> guard (lock);
        const Writer* busiest = nullptr;
        for (const auto& [id, t] : threads)
            if (busiest == nullptr || t.reports > busiest->reports)
                busiest = &t;
        if (busiest == nullptr)
            return 0.0;
        return (busiest->lastEntered - busiest->first) - (busiest->inside - busiest->lastInside);
    }

    void clear()
    {
        std::lock_guard<std::mutex> guard (lock);
        threads.clear();
    }

private:
    struct Writer
    {
        long reports = 0;
        double first = 0, lastEntered = 0, lastInside = 0, inside = 0;
    };

    std::shared_ptr<sim::SimulatedController> controller;
    mutable std::mutex lock;
    std::map<std::thread::id, Writer> threads;
};

struct Result
{
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    int backendThreads = 0;
};

/** What pacing alone costs here: one wait for the next 1 ms frame per block,
    as the bus makes every write wait, with nothing else done. */
Result timeFramesAlone (long long blocks)
{
    using Clock = std::chrono::steady_clock;
    const double cpuBefore = bench::currentThreadCpuSeconds();
    const auto started = Clock::now();
    auto last = Clock::time_point();
    for (long long i = 0; i < blocks; ++i)
    {
        const auto now = Clock::now();
        const auto next =
            Clock::time_point (std::chrono::ceil<std::chrono::milliseconds> (now.time_since_epoch()));
        last = std::max (next, last + std::chrono::milliseconds (1));
        std::this_thread::sleep_until (last);
    }
    Result r;
    r.ok = true;
    r.seconds = std::chrono::duration<double> (Clock::now() - started).count();
    r.cpu = bench::currentThreadCpuSeconds() - cpuBefore;
    return r;
}

Result timeLoad (const juce::File& file, bool paced)
{
    auto controller = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
    auto timed = std::make_shared<TimedController> (controller);
    const auto id = sim::VirtualHidBus::instance().plug (timed, controller->description());
    bench::serviceNotifications();

    // The threads that opening starts are the backend's own.
    const auto before = bench::threadIds();
    qmhid::HIDDevice* hid = bench::openDevice (id);
    if (hid == nullptr)
        return {};
    auto after = bench::threadIds();
    std::vector<int> backendThreads;
    for (int tid : after)
        if (std::find (before.begin(), before.end(), tid) == before.end())
            backendThreads.push_back (tid);

    UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
    Quiet quiet;
    std::atomic<double> progress{ 0.0 };
    UpdateFileLoader loader (&quiet, progress);
    timed->clear();

    double backendCpu = 0;
    for (int tid : backendThreads)
        backendCpu -= bench::threadCpuSeconds (tid);

    sim::VirtualHidBus::instance().setPacing (paced);
    const auto started = std::chrono::steady_clock::now();
    loader.start (file, device);
    while (loader.isLoading())
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    sim::VirtualHidBus::instance().setPacing (false);

    for (int tid : backendThreads)
        backendCpu += bench::threadCpuSeconds (tid);

    Result r;
    r.ok = loader.getLoadStatus() == UpdateFileLoader::loadCompleted;
    r.seconds = elapsed.count();
    r.cpu = timed->writerCpu() + backendCpu;
    r.backendThreads = (int) backendThreads.size();
    device = nullptr;
    sim::VirtualHidBus::instance().unplug (id);
    bench::serviceNotifications();
    return r;
}
} // namespace

int main (int argc, char** argv)
{
    bench::startPlatform();
    juce::ScopedJuceInitialiser_GUI juce;

    bool paced = true;
    int kib = 512;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp (argv[i], "--unpaced") == 0)
            paced = false;
        else
            kib = std::atoi (argv[i]);
    }

    const auto dir =
        juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("ulk-bench", "");
    dir.createDirectory();
    const auto path = ulktest::UpdateFileBuilder::km3300()
                          .imageSize ((size_t) kib * 1024 - 32)
                          .writeTo (dir.getChildFile ("update.bin").getFullPathName().toStdString());
    const juce::File file (path);
    const auto blocks = (file.getSize() + 28) / 29;
    const double floor = (double) blocks * 0.001;

    const Result r = timeLoad (file, paced);
    dir.deleteRecursively();
    if (!r.ok)
    {
        std::printf ("load %s %d KiB: failed\n", bench::backendName(), kib);
        return 1;
    }
    std::printf ("load %s %d KiB: %.3f s %s, floor %.3f s, ratio %.4f, cpu %.3f s\n", bench::backendName(),
                 kib, r.seconds, paced ? "paced" : "unpaced", floor, r.seconds / floor, r.cpu);
    std::fprintf (stderr, "  (%lld blocks, %d backend thread(s), cpu %.2f%% of wall)\n", (long long) blocks,
                  r.backendThreads, 100.0 * r.cpu / r.seconds);
    if (paced && std::getenv ("ULK_BENCH_FRAMES") != nullptr)
    {
        const Result frames = timeFramesAlone (blocks);
        std::printf ("frames alone %lld: %.3f s, floor %.3f s, ratio %.4f, cpu %.3f s\n", (long long) blocks,
                     frames.seconds, floor, frames.seconds / floor, frames.cpu);
    }
    return 0;
}
