// The window and its update controller against hostile controllers: the
// fuzzer plugs scripted controllers in and out (their ids and every answer
// its own), drops update files and takes them away again, clicks Load and
// Execute, lets the message loop run, and closes the window whenever the
// input ends, in the middle of a load or an execution too.  The Windows flavour, whose message boxes are
// the Windows stand-in's: they are answered at once and need no display.
// Whatever happens, the window never offers Load or Execute while a run
// goes on, says nothing but its own messages, and once closed has let go of
// every controller it opened.

#include "FuzzSupport.h"
#include "ScriptedAnswers.h"

#include <MainComponent.h>
#include <ScriptedDevice.h>
#include <TestBackend.h>
#include <UpdateFileBuilder.h>

#include <qmhid_HIDDeviceIdentifier.h>

#include <windows.h>

#include <sim_win32/Win32StandIn.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{
using fuzz::check;
using Clock = std::chrono::steady_clock;

/** An update file an input may drop, and may take away again. */
struct UpdateFile
{
    std::string path;
    std::vector<std::uint8_t> bytes; ///< none: there is no such file
};

/** The files, each back in place (an input may have taken it away). */
const std::vector<UpdateFile>& updateFiles()
{
    using Builder = ulktest::UpdateFileBuilder;
    static const auto* files = []
    {
        const std::string dir = fuzz::scratchDirectory();
        // 58 image bytes and the trailer: four blocks, the last one short.
        return new std::vector<UpdateFile>{
            { dir + "/km3300.bin", Builder::km3300().imageSize (58).bytes() },
            { dir + "/km3800.bin", Builder::km3800().imageSize (58).bytes() },
            { dir + "/km3300-1.010.bin", Builder::km3300().imageSize (58).firmwareVersion (0x1010).bytes() },
            { dir + "/wrong-crc.bin", Builder::km3300().imageSize (29).wrongCrc().bytes() },
            { dir + "/wrong-size.bin", Builder::km3300().imageSize (29).trailerFileSize (1).bytes() },
            { dir + "/missing.bin", {} },
        };
    }();
    for (const auto& file : *files)
        if (!file.bytes.empty() && !juce::File (file.path).existsAsFile())
            juce::File (file.path).replaceWithData (file.bytes.data(), file.bytes.size());
    return *files;
}

/** The main component's children that the checks look at, by their place
    in its stacking order. */
enum Child
{
    deviceInfo = 0,
    loadButton = 1,
    executeButton = 2,
    deviceStatusLabel = 5
};

juce::Component& child (MainComponent& main, Child which)
{
    return *main.getChildComponent ((int) which);
}

/** As a click does, at once; a disabled button takes no click. */
void click (MainComponent& main, Child which)
{
    auto* button = dynamic_cast<juce::Button*> (&child (main, which));
    if (button != nullptr && button->isEnabled())
        main.buttonClicked (button);
}

/** What the platform would tell the detector, on this (the message) thread. */
void notify (int kind, const std::string& path)
{
    if (qmhid::deviceNotificationCallback == nullptr)
        return;
    qmhid::HIDDeviceIdentifier identifier;
    std::string copy = path;
    identifier.init (copy.data());
    qmhid::deviceNotificationCallback (kind, &identifier, qmhid::deviceNotificationData);
}

struct Plugged
{
    std::shared_ptr<testbackend::ScriptedDevice> script;
    std::string path;
    bool removed = false;
};

Plugged plug (fuzz::Input& input)
{
    static const int vendors[] = { 0x7A3C, 0xFF00, 0x1234 };
    static const int products[] = { 0x6102, 0x6109 };
    const int vendorId = vendors[input.pick (3)];
    const int p = input.pick (3);
    const int productId = p < 2 ? products[p] : input.u16();
    const auto answers = input.bytes (input.u16() % 512);
    fuzz::Input answerInput (answers.data(), answers.size());

    // Not make_shared: the test backend keeps a weak reference to every scripted
    // device it opened, which would keep the whole object's memory.
    Plugged plugged{ std::shared_ptr<testbackend::ScriptedDevice> (new testbackend::ScriptedDevice()),
                     {},
                     false };
    fuzz::queueAnswers (*plugged.script, answerInput);
    plugged.path = testbackend::addScriptedDevice (plugged.script, vendorId, productId);
    notify (0, plugged.path);
    return plugged;
}

void pumpFor (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

/** The window's view agrees with itself after every step. */
void checkView (MainComponent& main)
{
    const bool load = child (main, loadButton).isEnabled();
    const bool execute = child (main, executeButton).isEnabled();
    check (main.fileAcceptable() || (!load && !execute), "Load or Execute offered while a run goes on");
    check (!execute || load, "Execute offered without Load");
    check (child (main, deviceInfo).isVisible() != child (main, deviceStatusLabel).isVisible(),
           "the device panel and its status line disagree");
}

/** Every box the window showed says one of its own messages. */
void checkBoxes()
{
    static const std::set<std::string> known = {
        "Load was completed.",
        "Load failed. Check the connection, and retry.",
        "Loaded data is invalid. Check the file.",
        "Version up was completed.",
        "Version up was not completed.",
        "Error: Update file does not match the device",
        "File can't open.",
        "Error: Invalid file size.",
        "Error: CRC error.",
        "Error: Invalid file format.",
    };
    const std::string notReady = " is not ready for version up.";
    for (const auto& box : simwin::messageBoxes())
    {
        const bool isNotReady =
            box.text.size() >= notReady.size() &&
            box.text.compare (box.text.size() - notReady.size(), notReady.size(), notReady) == 0;
        check (known.count (box.text) == 1 || isNotReady, "a message box said something of its own");
        check (box.caption == "ULK Updater", "a message box is not titled with the program's name");
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzz::initialiseJuce();
    // A person who presses OK at once.
    simwin::setMessageBoxHandler ([] (const simwin::MessageBoxRecord&) { return IDOK; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input (data, size);
    // Only a patient input (first byte 0xFF) may wait out a failing run's
    // three tries and their pauses, some 4.5 s: most inputs take milliseconds.
    const bool patient = input.byte() == 0xFF;
    simwin::clearMessageBoxes();
    const int devicesBefore = testbackend::openDeviceCount();
    std::vector<Plugged> plugged;
    const auto& files = updateFiles();
    bool waitedLong = false;
    {
        MainComponent main;
        // Bounded, so that an input of waits cannot hold the fuzzer for long.
        for (int step = 0; step < 48 && !input.empty(); ++step)
        {
            const std::uint8_t op = input.byte();
            switch (op % 8)
            {
                case 0:
                    plugged.push_back (plug (input));
                    break;
                case 1:
                    // A device goes once, and its removal is told once.
                    if (!plugged.empty())
                    {
                        auto& gone = plugged[(size_t) input.pick ((int) plugged.size())];
                        if (!gone.removed)
                        {
                            gone.removed = true;
                            gone.script->unplug();
                            notify (1, gone.path);
                        }
                    }
                    break;
                case 2:
                    if ((op & 0x80) != 0)
                        juce::File (files[(size_t) input.pick ((int) files.size())].path).deleteFile();
                    else
                        notify (1, "scripted:0"); // a device nobody opened
                    break;
                case 3:
                    main.filesDropped (juce::StringArray (juce::String (
                                           files[(size_t) input.pick ((int) files.size())].path)),
                                       0, 0);
                    break;
                case 4:
                    click (main, loadButton);
                    break;
                case 5:
                    click (main, executeButton);
                    break;
                case 6:
                    pumpFor (input.pick (4));
                    break;
                default:
                {
                    // Until the window takes files again, as a person waits for
                    // a run to end; for a patient input once long enough for
                    // a run's three tries and their pauses.
                    const bool longWait = patient && op == 0xFF && !waitedLong;
                    waitedLong = waitedLong || longWait;
                    const auto end = Clock::now() + std::chrono::milliseconds (longWait ? 6000 : 10);
                    while (!main.fileAcceptable() && Clock::now() < end)
                        pumpFor (1);
                    pumpFor (0);
                    break;
                }
            }
            checkView (main);
        }
        // The window closes, whatever runs.
    }

    // A request the closing left behind hands its controller back to this thread.
    const auto end = Clock::now() + std::chrono::seconds (2);
    while (testbackend::openDeviceCount() > devicesBefore && Clock::now() < end)
        pumpFor (1);
    check (testbackend::openDeviceCount() == devicesBefore,
           "a controller stayed open after the window closed");
    for (const auto& p : plugged)
        check (p.script->releaseCount() <= 1, "a controller was released twice");
    checkBoxes();
    return 0;
}
