// What the Windows program does differently: the menu bar inside the window,
// the file named on the command line, and the icons of its message boxes.

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "UpdateFileBuilder.h"

#include <ApplicationStartUp.h>
#include <MainComponent.h>
#include <MainWindow.h>

#include <gtest/gtest.h>

#include <memory>

#if QMHID_WIN_FLAVOUR

using namespace apptest;

using WindowsStart = ApplicationFixture;

TEST_F (WindowsStart, TheMenuBarLiesInsideTheWindowDarkWithWhiteText)
{
    start ({});
    auto* w = window();
    ASSERT_NE (w, nullptr);
    ASSERT_NE (w->getMenuBarComponent(), nullptr);
    EXPECT_EQ (w->getMenuBarComponent()->getHeight(), 24);
    EXPECT_EQ (content()->getHeight(), 402);
    EXPECT_EQ (content()->getWidth(), 450);

    auto& lookAndFeel = w->getLookAndFeel();
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::backgroundColourId),
               juce::Colour::fromRGB (25, 25, 25));
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::textColourId), juce::Colours::white);
}

TEST_F (WindowsStart, AFileNamedOnTheCommandLineIsOpenedAsIfDropped)
{
    const auto path =
        ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("my update.bin"));
    start ("\"" + juce::String (path) + "\"");
    EXPECT_TRUE (isShown (*content(), fileInfo));
    EXPECT_TRUE (boxes.shown().empty());
}

TEST_F (WindowsStart, ANameThatIsNoFileOpensNothingAndSaysNothing)
{
    for (const juce::String& commandLine :
         { juce::String(), juce::String (dir.path()), juce::String (dir.file ("missing.bin")) })
    {
        SCOPED_TRACE (commandLine);
        start (commandLine);
        EXPECT_FALSE (isShown (*content(), fileInfo));
        EXPECT_TRUE (boxes.shown().empty());
        app->shutdown();
        started = false;
    }
}

TEST_F (WindowsStart, MessageBoxesCarryTheIconOfTheirKind)
{
    start ({});
    commandManager->invokeDirectly (MainWindow::showAbout, false);
    content()->filesDropped (juce::StringArray (juce::String (dir.file ("missing.bin"))), 0, 0);
    content()->showMessageBox (juce::AlertWindow::InfoIcon, "done", {});
    content()->showMessageBox (juce::AlertWindow::QuestionIcon, "asked", {});

    const auto shown = boxes.shown();
    ASSERT_EQ (shown.size(), 4u);
    EXPECT_EQ (shown[0].icon, 0);
    EXPECT_EQ (shown[1].icon, 2);
    EXPECT_EQ (shown[1].message, "File can't open.");
    EXPECT_EQ (shown[2].icon, 3);
    EXPECT_EQ (shown[3].icon, 1);
    for (const auto& box : shown)
        EXPECT_EQ (box.title, "ULK Updater");
}

TEST_F (WindowsStart, ABoxBlocksItsCallerButLeavesTheWindowUsable)
{
    // The box has no owner: nothing of the window is disabled or shut out
    // while it is open, and its caller goes on only once it is closed.
    start ({});
    int rounds = 0;
    bool usable = true;
    boxes.answerWhen (
        [&]
        {
            usable = usable && window()->isEnabled() && content()->isEnabled() &&
                     juce::Component::getNumCurrentlyModalComponents() == 0;
            return ++rounds == 5;
        });
    content()->showMessageBox (juce::AlertWindow::WarningIcon, "Error: CRC error.", {});
    EXPECT_EQ (rounds, 5) << "showMessageBox returned before the box was closed";
    EXPECT_TRUE (usable);
}

TEST_F (WindowsStart, ASecondStartChangesNothing)
{
    start ({});
    const auto path = ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("u.bin"));
    app->anotherInstanceStarted ("\"" + juce::String (path) + "\"");
    EXPECT_FALSE (isShown (*content(), fileInfo));
}

#endif
