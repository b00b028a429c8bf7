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

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

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

/** The replies of a simulated controller to a whole road over the test
    backend, with a file whose CRC holds or (refused) does not. */
std::vector<sim::SentReply> roadReplies (int fileBytes, bool wrongCrc = false)
{
    struct Deaf : juce::ChangeListener
    {
        void changeListenerCallback (juce::ChangeBroadcaster*) override {}
    } deaf;

    // A file the controller takes: it refuses the last block of an image whose CRC fails.
    const auto path =
        std::filesystem::temp_directory_path() / ("ulk_seed_image_" + std::to_string (getpid()) + ".bin");
    auto file = ulktest::UpdateFileBuilder::km3300().imageSize ((std::size_t) fileBytes -
                                                                ulktest::UpdateFileBuilder::trailerSize);
    if (wrongCrc)
        file.wrongCrc();
    file.writeTo (path.string());

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

    return controller->record().sent;
}

/** As the scripted controller's answers: whole reports, those for the
    execution only when asked. */
Bytes asEntries (const std::vector<sim::SentReply>& replies, bool execution = true)
{
    Bytes out;
    for (const auto& r : replies)
    {
        if (!execution && r.inReplyTo == sim::RequestKind::execute)
            continue;
        out.push_back (4); // a whole report
        out.insert (out.end(), r.bytes.begin(), r.bytes.end());
    }
    return out;
}

/** The window's "plug" step: a QM-KM3300's ids and its answers. */
Bytes plugStep (const Bytes& answers)
{
    Bytes step = { 0, 0, 0, (std::uint8_t) (answers.size() >> 8), (std::uint8_t) answers.size() };
    return cat (step, answers);
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

    // The engines: the file's length, the retry counts, the execute time-out
    // (3: 100 ms), where the load and the execution are stopped (0: never)
    // and the product, then the controller's answers.
    write (root / "fuzz_engine", "road",
           cat ({ (std::uint8_t) fileBytes, 1, 1, 0, 0, 0, 1 }, asEntries (replies)));
    Bytes silent = { (std::uint8_t) fileBytes, 2, 2, 1, 0, 0, 1 };
    for (int i = 0; i < 8; ++i)
        silent.push_back (0); // no reply in time
    write (root / "fuzz_engine", "silent", silent);
    // Stopped in the load's first block, and in the execution's first request.
    write (root / "fuzz_engine", "stopped_load",
           cat ({ (std::uint8_t) fileBytes, 1, 1, 3, 2, 0, 1 }, asEntries (replies)));
    write (root / "fuzz_engine", "stopped_execution",
           cat ({ (std::uint8_t) fileBytes, 1, 1, 3, 0, 1, 1 }, asEntries (replies)));
    // Execute requests of 1 ms that go unanswered: the stop mostly comes
    // after the first has failed, before the next.
    write (
        root / "fuzz_engine", "stopped_between_tries",
        cat (cat ({ (std::uint8_t) fileBytes, 1, 3, 1, 0, 1, 1 }, asEntries (replies, false)), Bytes (4, 0)));

    // The window: plug a QM-KM3300 in, drop its file (four blocks), Load,
    // wait, Execute, wait, unplug it.  Two close the window while a run waits
    // out its pause after a try the controller did not answer; the others
    // end a run with a failure: the file taken away before the load, the
    // image refused on every pass, the execution never confirmed (the long
    // wait, 0xFF, of a patient input outlasts three tries and their pauses).
    const int windowFileBytes = 58 + (int) ulktest::UpdateFileBuilder::trailerSize;
    const auto windowReplies = roadReplies (windowFileBytes);
    const auto refusingReplies = roadReplies (windowFileBytes, true);
    const std::uint8_t drop = 3, takeAway = 0x82, load = 4, execute = 5, pump = 6, wait = 7, waitLong = 0xFF,
                       unplug = 1;
    // The first byte: 0xFF for an input that may wait long.
    const auto window = [&] (const char* name, const Bytes& answers, const Bytes& steps)
    {
        const bool patient = std::find (steps.begin(), steps.end(), waitLong) != steps.end();
        write (root / "fuzz_update_controller", name,
               cat ({ (std::uint8_t) (patient ? 0xFF : 0) }, cat (plugStep (answers), steps)));
    };
    const Bytes unanswered (3, 0); // no report, three times
    window ("road", asEntries (windowReplies), { drop, 0, load, wait, execute, wait, unplug });
    window ("closed_in_load",
            cat (asEntries ({ windowReplies.begin(), windowReplies.begin() + 2 }), unanswered),
            { drop, 0, load, wait, pump, 3 });
    window ("closed_in_execution", cat (asEntries (windowReplies, false), unanswered),
            { drop, 0, load, wait, execute, wait, pump, 3 });
    window ("file_gone", asEntries (windowReplies), { drop, 0, takeAway, 0, load, wait });
    window ("refused", asEntries (refusingReplies, false), { drop, 0, load, waitLong });
    window ("not_confirmed", cat (asEntries (windowReplies, false), unanswered),
            { drop, 0, load, wait, execute, waitLong });
    // A controller that does not answer its caps poll (not in update mode),
    // then a file for another model and one whose CRC fails.
    window ("strangers", {}, { drop, 1, drop, 3 });

    // A controller on the bus: replug (head 0x10: answers follow), the ids and
    // name of a QM-KM3300, 32-byte reports; then sends and gets in turn, and
    // the answers to the sends.
    const Bytes device = { 0, 0, 9, 'Q', 'M', '-', 'K', 'M', '3', '3', '0', '0', 0, 0 };
    Bytes answers;
    for (size_t i = 0; i < replies.size() && i < 3; ++i)
    {
        answers.push_back (0x10); // one report
        answers.push_back (0);
        answers.insert (answers.end(), replies[i].bytes.begin(), replies[i].bytes.end());
    }
    // The middle half: the script, then the rest for the sends and probes.
    auto backend = [&] (std::uint8_t head, const Bytes& operations)
    {
        return cat (cat (cat ({ head }, device), cat ({ (std::uint8_t) operations.size() }, operations)),
                    cat (answers, answers));
    };
    const std::uint8_t send = 0, get = 2, sendNow = 4, service = 5, pull = 0xE6, probe = 0x26, release = 0x77;
    const Bytes road = backend (0x10, { send, get, send, get, service, sendNow, 3 });
    // Pulled out while open: the removal reaches the open device, which is
    // kept (head 0x10) and used, or released at once (head 0x50).
    const Bytes pulled = backend (0x10, { send, get, pull, service, send, get, probe, service });
    const Bytes releasedOnRemoval = backend (0x50, { send, get, pull, service, probe });
    // Probed once the open device is let go, and kept.
    const Bytes probed = backend (0x10, { release, probe, send, get, 0x66 });
    for (const char* target : { "fuzz_mac_backend", "fuzz_win_backend" })
    {
        write (root / target, "road", road);
        write (root / target, "pulled", pulled);
        write (root / target, "released_on_removal", releasedOnRemoval);
        write (root / target, "probed", probed);
    }
    std::printf ("%zu replies recorded\n", replies.size());
    return 0;
}
