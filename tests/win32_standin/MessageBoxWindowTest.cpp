// The stand-in's message boxes as a person sees them on Linux: a window of
// its own titled with the caption, the icon its flags ask for, the text and
// one OK button, which closes the box and lets MessageBoxA return IDOK.

#include <windows.h>

#include <Win32MessageBridge.h>
#include <sim_win32/Win32StandIn.h>

#include "TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
/** The box window titled caption, or null. */
juce::DocumentWindow* boxWindow (const juce::String& caption)
{
    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
        if (auto* w = dynamic_cast<juce::DocumentWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
            if (w->getName() == caption)
                return w;
    return nullptr;
}

juce::TextButton* okButtonOf (juce::Component& content)
{
    juce::TextButton* found = nullptr;
    int buttons = 0;
    for (auto* child : content.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
        {
            ++buttons;
            found = button;
        }
    return buttons == 1 && found->getButtonText() == "OK" ? found : nullptr;
}

class StandInBoxes : public testing::Test
{
protected:
    StandInBoxes() { simwin::useJuceMessageBoxes(); }
    ~StandInBoxes() override
    {
        simwin::setMessageBoxHandler (nullptr);
        simwin::clearMessageBoxes();
    }
};

TEST_F (StandInBoxes, ABoxIsAWindowWithItsCaptionIconTextAndOneOkButton)
{
    struct Case
    {
        UINT type;
        const char* icon;
    };
    const Case cases[] = {
        { MB_OK, "none" },
        { MB_ICONQUESTION, "question" },
        { MB_ICONWARNING, "warning" },
        { MB_ICONINFORMATION, "information" },
        { MB_ICONERROR, "error" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.icon);
        bool looked = false;
        simwin::setMessageBoxHandler (
            [&] (const simwin::MessageBoxRecord&)
            {
                // A person reads it and presses OK; the click goes through
                // the box's loop like any other input.
                if (looked)
                    return 0;
                looked = true;
                auto* window = boxWindow ("ULK Updater");
                EXPECT_NE (window, nullptr);
                if (window == nullptr)
                    return IDCANCEL;
                EXPECT_TRUE (window->isShowing());
                auto* content = window->getContentComponent();
                EXPECT_EQ (content->getComponentID(), c.icon);
                EXPECT_EQ (content->getName(), "Error: CRC error.");
                auto* ok = okButtonOf (*content);
                EXPECT_NE (ok, nullptr) << "one button, OK";
                if (ok == nullptr)
                    return IDCANCEL;
                ok->triggerClick();
                return 0;
            });
        EXPECT_EQ (MessageBoxA (nullptr, "Error: CRC error.", "ULK Updater", c.type), IDOK);
        EXPECT_TRUE (looked);
        EXPECT_EQ (boxWindow ("ULK Updater"), nullptr) << "the window went with the box";
    }
}

TEST_F (StandInBoxes, TextAndCaptionAreReadInTheAnsiCodePage)
{
    // As MessageBoxA reads them: one character per byte, code page 1252.
    juce::String name, title;
    simwin::setMessageBoxHandler (
        [&] (const simwin::MessageBoxRecord&)
        {
            if (auto* window = boxWindow (juce::String::fromUTF8 ("Caf\xC3\xA9")))
            {
                title = window->getName();
                name = window->getContentComponent()->getName();
            }
            return IDOK;
        });
    EXPECT_EQ (MessageBoxA (nullptr, "\x80 5 \xC3\xA9", "Caf\xE9", MB_OK), IDOK);
    EXPECT_EQ (title, juce::String::fromUTF8 ("Caf\xC3\xA9"));
    EXPECT_EQ (name, juce::String::fromUTF8 ("\xE2\x82\xAC 5 \xC3\x83\xC2\xA9"))
        << "UTF-8 is two characters here";
}

TEST_F (StandInBoxes, ItsCloseButtonAnswersOkToo)
{
    simwin::setMessageBoxHandler (
        [] (const simwin::MessageBoxRecord&)
        {
            if (auto* window = boxWindow ("Closing"))
                window->closeButtonPressed();
            return 0;
        });
    EXPECT_EQ (MessageBoxA (nullptr, "text", "Closing", MB_ICONWARNING), IDOK);
}

TEST_F (StandInBoxes, AWorkersBoxIsShownOnTheMessageThreadWhileTheWorkerWaits)
{
    simwin::setMessageBoxHandler ([] (const simwin::MessageBoxRecord&) { return 0; });
    std::atomic<int> result{ -1 };
    std::thread worker ([&] { result = MessageBoxA (nullptr, "From a worker", "Worker", MB_OK); });

    juce::DocumentWindow* window = nullptr;
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return (window = boxWindow ("Worker")) != nullptr; }));
    EXPECT_EQ (result.load(), -1);
    auto* ok = okButtonOf (*window->getContentComponent());
    ASSERT_NE (ok, nullptr);
    ok->triggerClick();
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return result.load() == IDOK; }));
    worker.join();
    EXPECT_TRUE (ulktest::pumpUntil ([] { return boxWindow ("Worker") == nullptr; }));
}
} // namespace
