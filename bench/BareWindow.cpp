// The yardstick of the start-up figures: a bare JUCE application with one
// window of the program's size (450 x 500, native title bar, not resizable)
// and a component that fills itself with one colour; built the same way as
// the programs, on the same JUCE library.

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
class Plain : public juce::Component
{
public:
    Plain() { setSize (450, 500); }
    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::lightgrey); }
};

class Window : public juce::DocumentWindow
{
public:
    Window()
        : juce::DocumentWindow ("bare", juce::Colours::lightgrey, juce::DocumentWindow::closeButton)
    {
        setUsingNativeTitleBar (true);
        setResizable (false, false);
        setContentOwned (new Plain(), true);
        centreWithSize (getWidth(), getHeight());
        setVisible (true);
    }
    void closeButtonPressed() override { juce::JUCEApplication::quit(); }
};

class Bare : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "bare"; }
    const juce::String getApplicationVersion() override { return "1"; }
    void initialise (const juce::String&) override { window = std::make_unique<Window>(); }
    void shutdown() override { window = nullptr; }

private:
    std::unique_ptr<Window> window;
};

juce::JUCEApplicationBase* createApplication()
{
    return new Bare();
}
} // namespace

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
