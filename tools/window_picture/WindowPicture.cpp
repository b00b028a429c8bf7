// Draws the program's window as it looks during a load and writes it as a
// PNG file, off-screen (no display needed):
//
//     window_picture <file.png>
//
// The window is the program's own MainComponent (Windows flavour) on the
// simulated Windows platform: a simulated QM-KM3300 is connected and a
// matching update file is chosen, as a person would; only the load itself is
// staged (40 %, both buttons disabled, as while the load thread runs), so the
// picture comes out the same on every run.  The README shows it, from
// docs/window-loading.png.

#include <MainComponent.h>
#include <SimulatedController.h>
#include <UpdateFileBuilder.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>

namespace
{
constexpr int contentWidth = 450;
constexpr int contentHeight = 402;
constexpr double shownProgress = 0.4;
// The main component's children in their stacking order (Load, Execute).
constexpr int loadButtonIndex = 1;
constexpr int executeButtonIndex = 2;

int drawWindow (const juce::File& target)
{
    // Plugged in before the window is built: the window's own probe finds it.
    auto identity = sim::ControllerIdentity::km3300();
    identity.firmwareVersion = 0x1000;
    auto controller = sim::SimulatedController::create (identity);
    controller->plugIn();

    const auto dir = juce::File::createTempFile ("window_picture");
    dir.createDirectory();
    const auto file = dir.getChildFile ("QM-KM3300-1.010.bin");
    ulktest::UpdateFileBuilder::km3300()
        .imageSize (ulktest::UpdateFileBuilder::legacyFileSize - ulktest::UpdateFileBuilder::trailerSize)
        .firmwareVersion (0x1010)
        .writeTo (file.getFullPathName().toStdString());

    bool written = false;
    {
        MainComponent main;
        main.setSize (contentWidth, contentHeight);
        main.filesDropped (juce::StringArray (file.getFullPathName()), 0, 0);

        main.setProgressBarVisible (true);
        main.setStatusLabel ("Now Loading...");
        main.progress = shownProgress;
        main.getChildComponent (loadButtonIndex)->setEnabled (false);
        main.getChildComponent (executeButtonIndex)->setEnabled (false);

        // The progress bar follows the value on its own timer.
        juce::MessageManager::getInstance()->runDispatchLoopUntil (600);

        const auto snapshot = main.createComponentSnapshot (main.getLocalBounds(), true, 1.0f);
        const auto picture = snapshot.convertedToFormat (juce::Image::RGB);
        target.deleteFile();
        juce::FileOutputStream out (target);
        juce::PNGImageFormat png;
        written = out.openedOk() && png.writeImageToStream (picture, out);
    }

    controller->unplug();
    dir.deleteRecursively();
    return written ? 0 : 1;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: window_picture <file.png>\n");
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juce;
    // The program's look, as its application object sets it.
    juce::LookAndFeel_V2 look;
    juce::LookAndFeel::setDefaultLookAndFeel (&look);
    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const int result = drawWindow (target);
    if (result != 0)
        std::fprintf (stderr, "window_picture: could not write %s\n", argv[1]);
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    return result;
}
