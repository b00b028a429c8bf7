#include "MainMenuBar.h"

#include <MainMenu.h>

namespace simmac
{
namespace
{
/** The height of a Mac's menu bar. */
constexpr int barHeight = 24;

/** A borderless window across the top of the main display, holding the bar. */
class MenuBarWindow : public juce::Component
{
public:
    explicit MenuBarWindow (juce::MenuBarModel* model)
        : bar (model)
    {
        setOpaque (true);
        addAndMakeVisible (bar);

        juce::Rectangle<int> area (0, 0, 1024, 768);
        if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
            area = display->totalArea;
        setBounds (area.getX(), area.getY(), area.getWidth(), barHeight);
        setAlwaysOnTop (true);
        // Temporary: no title bar, no task bar entry, like the system's bar.
        addToDesktop (juce::ComponentPeer::windowIsTemporary);
        setVisible (true);
    }

    void paint (juce::Graphics& g) override { g.fillAll (findColour (juce::PopupMenu::backgroundColourId)); }
    void resized() override { bar.setBounds (getLocalBounds()); }

    juce::MenuBarComponent bar;
};

MenuBarWindow* window = nullptr; ///< message thread only
} // namespace

juce::MenuBarComponent* mainMenuBar()
{
    return window != nullptr ? &window->bar : nullptr;
}
} // namespace simmac

void setMainMenu (juce::MenuBarModel* model)
{
    using simmac::window;
    if (window != nullptr && model != nullptr)
    {
        window->bar.setModel (model);
        return;
    }
    delete window;
    window = nullptr;
    if (model != nullptr)
        window = new simmac::MenuBarWindow (model);
}
