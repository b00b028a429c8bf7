#include "AppTestSupport.h"

#include <VirtualHidBus.h>

#if defined(ULK_FLAVOUR_WIN)
 #include <windows.h>

 #include <Win32MessageBridge.h>
 #include <sim_win32/Win32StandIn.h>

 #include <atomic>
 #include <chrono>
 #include <map>
#endif

namespace apptest
{
#if defined(ULK_FLAVOUR_MAC)
namespace
{
/** Records each alert window it is asked to make. */
struct RecordingLookAndFeel : juce::LookAndFeel_V2
{
    juce::AlertWindow* createAlertWindow (const juce::String& title, const juce::String& message,
                                          const juce::String& button1, const juce::String& button2,
                                          const juce::String& button3, juce::MessageBoxIconType iconType,
                                          int numButtons, juce::Component* associatedComponent) override
    {
        shown.push_back ({ (int) iconType, title.toStdString(), message.toStdString() });
        return juce::LookAndFeel_V2::createAlertWindow (title, message, button1, button2, button3, iconType,
                                                        numButtons, associatedComponent);
    }

    std::vector<Box> shown;
};

/** Closes a modal alert window as soon as one is up and the condition holds. */
struct Closer : juce::Timer
{
    void timerCallback() override
    {
        if (auto* modal = juce::Component::getCurrentlyModalComponent())
            if (dynamic_cast<juce::AlertWindow*> (modal) != nullptr && (condition == nullptr || condition()))
                modal->exitModalState (0);
    }

    std::function<bool()> condition;
};
} // namespace

struct MessageBoxes::Impl
{
    RecordingLookAndFeel lookAndFeel;
    Closer closer;
};

MessageBoxes::MessageBoxes()
    : impl (new Impl())
{
    juce::LookAndFeel::setDefaultLookAndFeel (&impl->lookAndFeel);
    impl->closer.startTimer (10);
}

MessageBoxes::~MessageBoxes()
{
    impl->closer.stopTimer();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    delete impl;
}

void MessageBoxes::watch()
{
    juce::LookAndFeel::setDefaultLookAndFeel (&impl->lookAndFeel);
}

void MessageBoxes::answerAfter (int ms)
{
    impl->closer.startTimer (juce::jmax (10, ms));
}

void MessageBoxes::answerWhen (std::function<bool()> condition)
{
    impl->closer.condition = std::move (condition);
}

const std::vector<Box>& MessageBoxes::shown() const
{
    return impl->lookAndFeel.shown;
}

void MessageBoxes::clear()
{
    impl->lookAndFeel.shown.clear();
}
#else
// The Windows layer's boxes are the platform's: its stand-in records them, and
// each blocks its caller in its modal loop until the knob answers it.
struct MessageBoxes::Impl
{
    std::vector<Box> shown;
    std::atomic<int> answerAfterMs{ 0 };
    std::function<bool()> condition;
    /** Touched by the boxes' threads: the message thread in these tests. */
    std::map<const simwin::MessageBoxRecord*, std::chrono::steady_clock::time_point> openSince;
};

MessageBoxes::MessageBoxes()
    : impl (new Impl())
{
    simwin::clearMessageBoxes();
    simwin::useJuceMessageBoxes();

    // Each box is answered in the first round of its loop once it has been
    // open for the time set.  Boxes can nest (one opens inside another's
    // loop): each is known by its record, which lives while it is open.
    auto* self = impl;
    simwin::setMessageBoxHandler (
        [self] (const simwin::MessageBoxRecord& box)
        {
            const auto now = std::chrono::steady_clock::now();
            const auto opened = self->openSince.emplace (&box, now).first;
            if (now - opened->second < std::chrono::milliseconds (self->answerAfterMs.load()))
                return 0;
            if (self->condition != nullptr && !self->condition())
                return 0;
            self->openSince.erase (opened);
            return IDOK;
        });
}

MessageBoxes::~MessageBoxes()
{
    simwin::setMessageBoxHandler (nullptr);
    simwin::setMessageBoxUi ({});
    simwin::clearMessageBoxes();
    delete impl;
}

void MessageBoxes::answerAfter (int ms)
{
    impl->answerAfterMs = ms;
}

void MessageBoxes::answerWhen (std::function<bool()> condition)
{
    impl->condition = std::move (condition);
}

void MessageBoxes::watch() {}

const std::vector<Box>& MessageBoxes::shown() const
{
    impl->shown.clear();
    for (const auto& box : simwin::messageBoxes())
    {
        const int icon = (box.type & 0xF0) == MB_ICONQUESTION      ? 1
                         : (box.type & 0xF0) == MB_ICONWARNING     ? 2
                         : (box.type & 0xF0) == MB_ICONINFORMATION ? 3
                                                                   : 0;
        impl->shown.push_back ({ icon, box.caption, box.text });
    }
    return impl->shown;
}

void MessageBoxes::clear()
{
    simwin::clearMessageBoxes();
}
#endif

std::vector<std::string> MessageBoxes::messages() const
{
    std::vector<std::string> texts;
    for (const auto& box : shown())
        texts.push_back (box.message);
    return texts;
}

namespace
{
juce::JUCEApplicationBase* makeApplication()
{
    return new ApplicationStartUp();
}
} // namespace

ApplicationFixture::ApplicationFixture()
{
    juce::JUCEApplicationBase::createInstance = &makeApplication;
    app.reset (static_cast<ApplicationStartUp*> (makeApplication()));
}

ApplicationFixture::~ApplicationFixture()
{
    if (started)
        app->shutdown();
    app = nullptr;
    juce::JUCEApplicationBase::createInstance = nullptr;
#if defined(ULK_FLAVOUR_WIN)
    startUpCommandLine = juce::String();
#endif
    sim::VirtualHidBus::instance().unplugAll();
    ulktest::pumpFor (50);
}

void ApplicationFixture::start (const juce::String& commandLine)
{
#if defined(ULK_FLAVOUR_WIN)
    startUpCommandLine = commandLine;
#endif
    app->initialise (commandLine);
    started = true;
    boxes.watch(); // the application set its own look
}

MainWindow* ApplicationFixture::window() const
{
    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
        if (auto* w = dynamic_cast<MainWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
            return w;
    return nullptr;
}

MainComponent* ApplicationFixture::content() const
{
    return dynamic_cast<MainComponent*> (window()->getContentComponent());
}

juce::Component& child (MainComponent& main, Child which)
{
    return *main.getChildComponent ((int) which);
}

juce::String textOf (MainComponent& main, Child label)
{
    if (auto* l = dynamic_cast<juce::Label*> (&child (main, label)))
        return l->getText();
    return "(not a label)";
}

bool isShown (MainComponent& main, Child which)
{
    return child (main, which).isVisible();
}

bool isEnabled (MainComponent& main, Child which)
{
    return child (main, which).isEnabled();
}

bool click (MainComponent& main, Child button)
{
    // As a click does, at once: only an enabled button can be clicked.
    auto* b = dynamic_cast<juce::Button*> (&child (main, button));
    if (b == nullptr || !b->isEnabled())
        return false;
    main.buttonClicked (b);
    return true;
}
} // namespace apptest
