#pragma once

#include <qmhid_Flavour.h>

#include <juce_gui_basics/juce_gui_basics.h>

class MainComponent;

namespace CommandCategories
{
static const wchar_t* const general = L"File";
static const wchar_t* const misc = L"Misc";
} // namespace CommandCategories

/** The program's one window: it carries the main component, the "File" and
    "Help" menus with the "Open..." and "About..." commands, and quits the
    program when its close button is pressed. */
class MainWindow : public juce::DocumentWindow,
                   public juce::ApplicationCommandTarget,
                   public juce::MenuBarModel
{
public:
    enum CommandIDs
    {
        openFile = 0x20001,
        showAbout = 0x30001
    };

    explicit MainWindow (MainComponent* component);
    ~MainWindow() override;

    void closeButtonPressed() override;

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform (const juce::ApplicationCommandTarget::InvocationInfo& info) override;

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected (int menuItemID, int topLevelMenuIndex) override;

    /** Lets the user choose an update file and hands it on as if dropped. */
    void loadFileFromDialog();

    /** The About box's text. */
    static juce::String getAboutText();

private:
    MainComponent* mainComponent;

    JUCE_DECLARE_NON_COPYABLE (MainWindow)
};
