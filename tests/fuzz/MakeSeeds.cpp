// Writes the seed corpora of the fuzz targets (tests/fuzz/corpus) from the
// project's fixtures: update files from the file builder, and the replies a
// simulated controller gives during a whole take-up, load and execution.
//
//   make_fuzz_seeds DIR      (scripts/fuzz --seeds runs it)

#include <SimulatedController.h>
#include <TestBackend.h>
#include <UlkDevice.h>
#include <UpdateExecutor.h>
#include <UpdateFileBuilder.h>
#include <UpdateFileLoader.h>

#include <qmhid_HIDDeviceIdentifier.h>

#include <juce_events/juce_events.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace
{
using Bytes = std::vector<std::uint8_t>;

void write (const std::filesystem::path& dir, const std::string& name, const Bytes& bytes)
{
    std::filesystem::create_directories (dir);
    std::ofstream out (dir / name, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (bytes.data()), (std::streamsize) bytes.size());
}

Bytes cat (Bytes a, const Bytes& b)
{
    a.insert (a.end(), b.begin(), b.end());
    return a;
}

/** The replies of a simulated controller to a whole road over the test backend. */
std::vector<sim::HidReport> roadReplies (int fileBytes)
{
    struct Deaf : juce::ChangeListener
    {
        void changeListenerCallback (juce::ChangeBroadcaster*) override {}
    } deaf;

    const auto path = std::filesystem::temp_directory_path() / "ulk_seed_image.bin";
    {
        std::ofstream out (path, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < fileBytes; ++i)
            out.put ((char) i);
    }

    auto controller = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
    controller->setFlashTimeMs (0);
    controller->setRebootTimeMs (0);
    const auto id = controller->plugIn();
    qmhid::HIDDeviceIdentifier identifier;
    std::string busPath = testbackend::identifierPathOf (id);
    identifier.init (busPath.data());
    qmhid::HIDDevice* hid = nullptr;
    qmhid::HIDDevice::createFrom (&identifier, &hid);
    {
        UlkDevice::Ptr device (UlkDevice::createFromHidDevice (hid));
        std::atomic<double> progress{ 0.0 };
        UpdateFileLoader loader (&deaf, progress);
        UpdateExecutor executor (&deaf);
        loader.setRetryWaitTime (0);
        executor.setRetryWaitTime (0);
        loader.start (juce::File (path.string()), device);
        while (loader.isLoading())
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        executor.start (device);
        while (executor.isRunning())
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    controller->unplug();
    std::filesystem::remove (path);

    std::vector<sim::HidReport> replies;
    for (const auto& sent : controller->record().sent)
        replies.push_back (sent.bytes);
    return replies;
}

Bytes asEntries (const std::vector<sim::HidReport>& replies)
{
    Bytes out;
    for (const auto& r : replies)
    {
        out.push_back (4); // a whole report
        out.insert (out.end(), r.begin(), r.end());
    }
    return out;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    juce::ScopedJuceInitialiser_GUI juce;

    // Update files: the mode byte (1 mends the CRC, 8 the stated length, 0xFF a
    // legacy image named by its prefix), name picks, then the file.
    using Builder = ulktest::UpdateFileBuilder;
    const Bytes name3300 = { 0, 0, 0 };                 // "KM3300_" + "" + ".bin"
    const Bytes plainName = { 4, 3, 'a', 'b', 'c', 0 }; // "abc.bin"
    write (root / "fuzz_update_file", "current",
           cat (cat ({ 0 }, plainName), Builder::km3300().imageSize (58).bytes()));
    write (root / "fuzz_update_file", "full_name",
           cat (cat ({ 0 }, plainName),
                Builder::km3800().imageSize (29).modelName ("ABCDEFGHIJKLMNOP").byte16 (0x7F).bytes()));
    write (root / "fuzz_update_file", "wrong_crc",
           cat (cat ({ 0 }, plainName), Builder::km3300().imageSize (3).wrongCrc().bytes()));
    write (root / "fuzz_update_file", "mended",
           cat (cat ({ 9 }, plainName), Builder::km3300().imageSize (0).trailerFileSize (1).bytes()));
    write (root / "fuzz_update_file", "legacy", cat (cat ({ 0xFF }, name3300), Bytes (40, 0x11)));

    // The road's replies: ACKs, the caps reply, the last block's ACK with its time-out.
    const int fileBytes = 2 * 29;
    const auto replies = roadReplies (fileBytes);
    write (root / "fuzz_replies", "road", cat ({ 0xFF, 0, 28 }, asEntries (replies)));
    write (root / "fuzz_engine", "road", cat ({ (std::uint8_t) fileBytes, 1, 1, 0 }, asEntries (replies)));
    Bytes silent = { (std::uint8_t) fileBytes, 2, 2, 1 };
    for (int i = 0; i < 8; ++i)
        silent.push_back (0); // no reply in time
    write (root / "fuzz_engine", "silent", silent);

    // A controller on the bus: replug (head 0x10: answers follow), the ids and
    // name of a QM-KM3300, 32-byte reports; then sends and gets in turn, and
    // the answers to the sends.
    Bytes device = { 0x10, 0, 0, 9, 'Q', 'M', '-', 'K', 'M', '3', '3', '0', '0', 0, 0 };
    Bytes operations = { 0, 2, 0, 2, 5, 4, 3 };
    Bytes backend = cat (device, cat ({ (std::uint8_t) operations.size() }, operations));
    Bytes answers;
    for (size_t i = 0; i < replies.size() && i < 3; ++i)
    {
        answers.push_back (0x10); // one report
        answers.push_back (0);
        answers.insert (answers.end(), replies[i].begin(), replies[i].end());
    }
    backend = cat (backend, answers);
    backend = cat (backend, answers); // the middle half: the script, then the rest for the sends
    write (root / "fuzz_mac_backend", "road", backend);
    write (root / "fuzz_win_backend", "road", backend);
    std::printf ("%zu replies recorded\n", replies.size());
    return 0;
}
