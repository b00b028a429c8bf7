#include "ApplicationStartUp.h"

#include "MainComponent.h"
#include "MainWindow.h"

juce::ApplicationCommandManager* commandManager = nullptr;

#if QMHID_WIN_FLAVOUR
juce::String startUpCommandLine;
#endif

namespace
{
constexpr int windowWidth = 450;
constexpr int contentHeight = 402;
} // namespace

ApplicationStartUp::ApplicationStartUp()
    : mainWindow (nullptr)
    , mainComponent (nullptr)
{
}

ApplicationStartUp::~ApplicationStartUp() = default;

void ApplicationStartUp::initialise (const juce::String&)
{
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    commandManager = new juce::ApplicationCommandManager();

    // The controller probes for a connected controller in here; a warning it
    // gives comes before the window exists.
    mainComponent = new MainComponent();

    mainWindow = new MainWindow (mainComponent);
    mainWindow->centreWithSize (windowWidth, getWindowHeight());
    mainWindow->setVisible (true);

#if QMHID_WIN_FLAVOUR
    openStartUpFile (startUpCommandLine);
#endif
}

int ApplicationStartUp::getWindowHeight()
{
#if QMHID_WIN_FLAVOUR
    // The menu bar lies inside the window there.
    return contentHeight + (mainWindow != nullptr
                                ? mainWindow->getLookAndFeel().getDefaultMenuBarHeight()
                                : juce::LookAndFeel::getDefaultLookAndFeel().getDefaultMenuBarHeight());
#else
    return contentHeight;
#endif
}

void ApplicationStartUp::openStartUpFile (const juce::String& commandLine)
{
    const auto path = commandLine.unquoted();
    if (path.isEmpty())
        return;

    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (path);
    if (file.existsAsFile())
        mainComponent->filesDropped (juce::StringArray (file.getFullPathName()), 0, 0);
}

void ApplicationStartUp::shutdown()
{
    // The window takes the main component with it, and that the controller.
    delete mainWindow;
    mainWindow = nullptr;

    delete commandManager;
    commandManager = nullptr;

    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

const juce::String ApplicationStartUp::getApplicationName()
{
    return "ULK Updater";
}

const juce::String ApplicationStartUp::getApplicationVersion()
{
    return "Version 2.0.0";
}

bool ApplicationStartUp::moreThanOneInstanceAllowed()
{
    return false;
}

void ApplicationStartUp::anotherInstanceStarted (const juce::String& commandLine)
{
#if QMHID_MAC_FLAVOUR
    // Only the first request of the process may open a document.
    static bool isFirstTime = true;
    if (isFirstTime && mainComponent != nullptr)
        openStartUpFile (commandLine);
    isFirstTime = false;
#else
    (void) commandLine;
#endif
}
