// The application object and the main window: start-up and shutdown order,
// the window's shape, its menus and commands, the About box, documents handed
// over at start, and quitting.

#include "AppTestSupport.h"
#include "TestPlatform.h"
#include "TestSupport.h"
#include "UpdateFileBuilder.h"

#include <ApplicationStartUp.h>
#include <MainComponent.h>
#include <MainWindow.h>
#include <SimulatedController.h>

#include <gtest/gtest.h>

#include <memory>

using namespace apptest;

using Application = ApplicationFixture;

TEST_F (Application, NamesAndSingleInstance)
{
    EXPECT_EQ (app->getApplicationName(), "ULK Updater");
    EXPECT_EQ (app->getApplicationVersion(), "Version 2.0.0");
    EXPECT_FALSE (app->moreThanOneInstanceAllowed());
}

TEST_F (Application, StartingBuildsTheWindowAroundTheMainComponent)
{
    EXPECT_EQ (commandManager, nullptr);
    start();
    ASSERT_NE (commandManager, nullptr);
    ASSERT_NE (window(), nullptr);

    auto* w = window();
    EXPECT_EQ (w->getName(), "ULK Updater");
    EXPECT_TRUE (w->isVisible());
    EXPECT_FALSE (w->isResizable());
    EXPECT_EQ (w->getDesktopWindowStyleFlags() & juce::ComponentPeer::windowHasMaximiseButton, 0);
    EXPECT_NE (w->getDesktopWindowStyleFlags() & juce::ComponentPeer::windowHasMinimiseButton, 0);
    EXPECT_NE (w->getDesktopWindowStyleFlags() & juce::ComponentPeer::windowHasCloseButton, 0);

    // The content area is 450 x 402 whatever the main component asked for.
    ASSERT_NE (content(), nullptr);
    EXPECT_EQ (content()->getWidth(), 450);
    EXPECT_EQ (content()->getHeight(), 402);

    app->shutdown();
    started = false;
    EXPECT_EQ (commandManager, nullptr);
    EXPECT_EQ (window(), nullptr);
}

TEST_F (Application, MenusAndCommands)
{
    start();
    auto* w = window();
    EXPECT_EQ (w->getMenuBarNames(), juce::StringArray ("File", "Help"));

    struct Item
    {
        int id;
        bool separator;
    };
    auto itemsOf = [w] (int index)
    {
        std::vector<Item> items;
        const auto menu = w->getMenuForIndex (index, {});
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            items.push_back ({ it.getItem().itemID, it.getItem().isSeparator });
        return items;
    };

    const auto file = itemsOf (0);
    ASSERT_EQ (file.size(), 3u);
    EXPECT_EQ (file[0].id, MainWindow::openFile);
    EXPECT_TRUE (file[1].separator);
    EXPECT_EQ (file[2].id, juce::StandardApplicationCommandIDs::quit);
    const auto help = itemsOf (1);
    ASSERT_EQ (help.size(), 1u);
    EXPECT_EQ (help[0].id, MainWindow::showAbout);
    EXPECT_TRUE (itemsOf (2).empty());

    const auto* open = commandManager->getCommandForID (MainWindow::openFile);
    ASSERT_NE (open, nullptr);
    EXPECT_EQ (open->shortName, "Open...");
    EXPECT_EQ (open->description, "Opens a update file.");
    EXPECT_EQ (open->categoryName, "File");
    ASSERT_EQ (open->defaultKeypresses.size(), 1);
    EXPECT_EQ (open->defaultKeypresses[0], juce::KeyPress ('o', juce::ModifierKeys::commandModifier, 0));

    const auto* about = commandManager->getCommandForID (MainWindow::showAbout);
    ASSERT_NE (about, nullptr);
    EXPECT_EQ (about->shortName, "About...");
    EXPECT_EQ (about->description, "Shows about the application.");
    EXPECT_EQ (about->categoryName, "Misc");
    EXPECT_TRUE (about->defaultKeypresses.isEmpty());

    EXPECT_NE (commandManager->getCommandForID (juce::StandardApplicationCommandIDs::quit), nullptr);
}

TEST_F (Application, TheAboutBoxNamesTheProgramAndItsVersion)
{
    start();
    EXPECT_TRUE (commandManager->invokeDirectly (MainWindow::showAbout, false));
    ASSERT_EQ (boxes.shown().size(), 1u);
    EXPECT_EQ (boxes.shown()[0].title, "ULK Updater");
    EXPECT_EQ (boxes.shown()[0].message, "ULK Updater Version 2.0.0 (rev 4)\n\n");
}

TEST_F (Application, OpenIsInactiveWhileALoadRuns)
{
    auto controller = sim::SimulatedController::create (sim::ControllerIdentity::km3300());
    controller->plugIn();
    ulktest::pumpFor (50);
    start();
    ASSERT_TRUE (ulktest::pumpUntil ([this] { return isShown (*content(), deviceInfo); }));

    juce::ApplicationCommandInfo info (MainWindow::openFile);
    window()->getCommandInfo (MainWindow::openFile, info);
    EXPECT_EQ (info.flags & juce::ApplicationCommandInfo::isDisabled, 0);

    content()->filesDropped (
        juce::StringArray (ulktest::UpdateFileBuilder::km3300().imageSize (290).writeTo (dir.file ("u.bin"))),
        0, 0);
    controller->nakSelect (100);
    ASSERT_TRUE (click (*content(), loadButton));

    juce::ApplicationCommandInfo during (MainWindow::openFile);
    window()->getCommandInfo (MainWindow::openFile, during);
    EXPECT_NE (during.flags & juce::ApplicationCommandInfo::isDisabled, 0);
    controller->unplug();
}

#if QMHID_MAC_FLAVOUR
TEST_F (Application, OnlyTheFirstDocumentRequestOpensAFile)
{
    start();
    const auto first = ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("first.bin"));
    const auto second =
        ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("second.bin"));

    app->anotherInstanceStarted ("\"" + juce::String (first) + "\"");
    EXPECT_TRUE (isShown (*content(), fileInfo));

    // The file panel would change for a second file; it is not taken.
    const auto before = boxes.shown().size();
    app->anotherInstanceStarted ("\"" + juce::String (dir.file ("missing.bin")) + "\"");
    app->anotherInstanceStarted ("\"" + juce::String (second) + "\"");
    EXPECT_EQ (boxes.shown().size(), before);
}

TEST_F (Application, TwoDocumentsAtOnceOpenNothingAndEndTheOffer)
{
    start();
    const auto a = ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("a.bin"));
    const auto b = ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("b.bin"));

    app->anotherInstanceStarted ("\"" + juce::String (a) + "\" \"" + juce::String (b) + "\"");
    EXPECT_FALSE (isShown (*content(), fileInfo));
    app->anotherInstanceStarted ("\"" + juce::String (a) + "\"");
    EXPECT_FALSE (isShown (*content(), fileInfo));
}
#endif

TEST_F (Application, TheCloseButtonQuitsAtOnce)
{
    // Quitting stops the message loop for good, so it is done in a process of its own.
    EXPECT_EXIT (
        {
            start();
            window()->closeButtonPressed();
            std::_Exit (juce::MessageManager::getInstance()->hasStopMessageBeenSent() ? 0 : 1);
        },
        testing::ExitedWithCode (0), "");
}
