// How long a whole load takes over the virtual bus, with and without the
// pacing of a USB full-speed interrupt endpoint (one report per millisecond).
// With pacing the load should take about one millisecond per block: the engine
// adds no pause of its own between blocks.
//
//   load_bench [kilobytes...]      default: 64 512

#include <SimulatedController.h>
#include <TestBackend.h>
#include <UlkDevice.h>
#include <UpdateFileBuilder.h>
#include <UpdateFileLoader.h>

#include <juce_events/juce_events.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{
struct Quiet : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override {}
};

UlkDevice::Ptr open (sim::DeviceId id)
{
    qmhid::HIDDeviceIdentifier identifier;
    std::string path = testbackend::identifierPathOf (id);
    identifier.init (path.data());
    qmhid::HIDDevice* hid = nullptr;
    if (qmhid::HIDDevice::createFrom (&identifier, &hid) != 0)
        return nullptr;
    return UlkDevice::createFromHidDevice (hid);
}

/** One load; the seconds it took, or a negative value when it failed. */
double timeLoad (const juce::File& file, bool paced)
{
    auto controller = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
    controller->plugIn();
    auto device = open (controller->deviceId());

    Quiet quiet;
    std::atomic<double> progress{ 0.0 };
    UpdateFileLoader loader (&quiet, progress);

    sim::VirtualHidBus::instance().setPacing (paced);
    const auto started = std::chrono::steady_clock::now();
    loader.start (file, device);
    while (loader.isLoading())
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    sim::VirtualHidBus::instance().setPacing (false);

    const bool ok = loader.getLoadStatus() == UpdateFileLoader::loadCompleted;
    device = nullptr;
    controller->unplug();
    return ok ? elapsed.count() : -1.0;
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back (std::atoi (argv[i]));
    if (sizes.empty())
        sizes = { 64, 512 };

    const auto dir =
        juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("ulk-bench", "");
    dir.createDirectory();

    std::printf ("%10s %8s %12s %12s %14s %12s\n", "file KiB", "blocks", "unpaced s", "paced s",
                 "paced ms/blk", "ideal s");
    for (int kib : sizes)
    {
        const auto path = ulktest::UpdateFileBuilder::km3300()
                              .imageSize ((size_t) kib * 1024 - 32)
                              .writeTo (dir.getChildFile ("update.bin").getFullPathName().toStdString());
        const juce::File file (path);
        const auto blocks = (file.getSize() + 28) / 29;

        const double unpaced = timeLoad (file, false);
        const double paced = timeLoad (file, true);
        if (unpaced < 0 || paced < 0)
        {
            std::printf ("load of %d KiB failed\n", kib);
            return 1;
        }
        // Three more reports than blocks: the caps poll, the select and the end of transmission.
        std::printf ("%10d %8lld %12.3f %12.3f %14.3f %12.3f\n", kib, (long long) blocks, unpaced, paced,
                     paced * 1000.0 / (double) blocks, (double) (blocks + 2) / 1000.0);
    }

    dir.deleteRecursively();
    return 0;
}
