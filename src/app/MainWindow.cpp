#include "MainWindow.h"

#include "ApplicationStartUp.h"
#include "MainComponent.h"

#if QMHID_MAC_FLAVOUR
 #include "MainMenu.h"
#endif

namespace
{
const char* const names[] = { "File", "Help" };
const juce::CommandID ids[] = { MainWindow::openFile, MainWindow::showAbout };

constexpr int minimiseAndClose = juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton;
} // namespace

MainWindow::MainWindow (MainComponent* component)
    : juce::DocumentWindow ("ULK Updater", juce::Colours::lightgrey, minimiseAndClose, true)
    , mainComponent (component)
{
    // The window owns the content but keeps its own size: the content takes
    // the window's content area.
    setContentOwned (component, false);

#if QMHID_MAC_FLAVOUR
    setMainMenu (this);
#else
    getLookAndFeel().setColour (juce::PopupMenu::backgroundColourId, juce::Colour::fromRGB (25, 25, 25));
    getLookAndFeel().setColour (juce::PopupMenu::textColourId, juce::Colours::white);
    setMenuBar (this, 0);
#endif

    setApplicationCommandManagerToWatch (commandManager);
    commandManager->registerAllCommandsForTarget (juce::JUCEApplication::getInstance());
    commandManager->registerAllCommandsForTarget (this);
    addKeyListener (commandManager->getKeyMappings());

    setUsingNativeTitleBar (true);
    setResizable (false, false);
}

MainWindow::~MainWindow()
{
#if QMHID_MAC_FLAVOUR
    setMainMenu (nullptr);
#else
    setMenuBar (nullptr, 0);
#endif
}

void MainWindow::closeButtonPressed()
{
    // Quits at once: nothing is asked, a running load is stopped on the way out.
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}

juce::ApplicationCommandTarget* MainWindow::getNextCommandTarget()
{
    return nullptr;
}

void MainWindow::getAllCommands (juce::Array<juce::CommandID>& commands)
{
    commands.addArray (ids, juce::numElementsInArray (ids));
}

void MainWindow::getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    switch (commandID)
    {
        case openFile:
            result.setInfo ("Open...", "Opens a update file.", CommandCategories::general, 0);
            result.addDefaultKeypress ('o', juce::ModifierKeys::commandModifier);
            result.setActive (mainComponent->fileAcceptable());
            break;
        case showAbout:
            result.setInfo ("About...", "Shows about the application.", CommandCategories::misc, 0);
            break;
        default:
            break;
    }
}

bool MainWindow::perform (const juce::ApplicationCommandTarget::InvocationInfo& info)
{
    switch (info.commandID)
    {
        case openFile:
            loadFileFromDialog();
            return true;
        case showAbout:
            mainComponent->showMessageBox (juce::AlertWindow::NoIcon, getAboutText(), juce::String());
            return true;
        default:
            return false;
    }
}

juce::String MainWindow::getAboutText()
{
    auto* app = juce::JUCEApplication::getInstance();
    const auto name = app != nullptr ? app->getApplicationName() : juce::String ("ULK Updater");
    const auto version = app != nullptr ? app->getApplicationVersion() : juce::String ("Version 2.0.0");
    return name + " " + version + " (rev 4)\n\n";
}

juce::StringArray MainWindow::getMenuBarNames()
{
    return juce::StringArray (names, juce::numElementsInArray (names));
}

juce::PopupMenu MainWindow::getMenuForIndex (int topLevelMenuIndex, const juce::String&)
{
    juce::PopupMenu menu;
    if (topLevelMenuIndex == 0)
    {
        menu.addCommandItem (commandManager, openFile, juce::String());
        menu.addSeparator();
        menu.addCommandItem (commandManager, juce::StandardApplicationCommandIDs::quit, juce::String());
    }
    else if (topLevelMenuIndex == 1)
    {
        menu.addCommandItem (commandManager, showAbout, juce::String());
    }
    return menu;
}

void MainWindow::menuItemSelected (int, int) {}

void MainWindow::loadFileFromDialog()
{
    juce::FileChooser chooser ("Please select the update file you want to load...", juce::File(),
                               juce::String(), true);
    if (chooser.browseForFileToOpen())
        mainComponent->filesDropped (juce::StringArray (chooser.getResult().getFullPathName()), 0, 0);
}
