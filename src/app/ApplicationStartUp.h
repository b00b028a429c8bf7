#pragma once

#include <qmhid_Flavour.h>

#include <juce_gui_basics/juce_gui_basics.h>

class MainComponent;
class MainWindow;

/** The program's one command manager, made by initialise and deleted by shutdown. */
extern juce::ApplicationCommandManager* commandManager;

/** The application object: names the program, forbids a second instance,
    builds the command manager, the main component and the window in that
    order and tears them down in order at the end. */
class ApplicationStartUp : public juce::JUCEApplication
{
public:
    ApplicationStartUp();
    ~ApplicationStartUp() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;

    /** The window's height for a content area of 402 pixels. */
    int getWindowHeight();

private:
    /** Opens commandLine, taken as one path, as if it had been dropped. */
    void openStartUpFile (const juce::String& commandLine);

    MainWindow* mainWindow;
    MainComponent* mainComponent;

    /** JUCE's classic look: dark text on light controls, as the window and
        its pictures are drawn for. */
    juce::LookAndFeel_V2 lookAndFeel;

    JUCE_DECLARE_NON_COPYABLE (ApplicationStartUp)
};

#if QMHID_WIN_FLAVOUR
/** The start-up command line as the Windows entry made it: the process's one
    argument, or empty. */
extern juce::String startUpCommandLine;
#endif
