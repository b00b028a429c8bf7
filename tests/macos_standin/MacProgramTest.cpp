// The macOS program over the simulated macOS platform: its main menu in the
// bar that stands in for the system's, and its message boxes holding back the
// device notifications as a Mac's alerts do.

#include "AppTestSupport.h"
#include "TestPlatform.h"
#include "TestSupport.h"
#include "TestSync.h"
#include "UpdateFileBuilder.h"

#include <CoreFoundation/CoreFoundation.h>
#include <MainComponent.h>
#include <MainMenuBar.h>
#include <MainWindow.h>
#include <SimulatedController.h>
#include <sim_macos/MacStandIn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace apptest;
using sim::ControllerIdentity;

namespace
{
using MainMenu = ApplicationFixture;

struct Item
{
    std::string text;
    juce::CommandID id;
    std::string keys;
    bool separator;

    bool operator== (const Item& other) const
    {
        return text == other.text && id == other.id && keys == other.keys && separator == other.separator;
    }
};

std::ostream& operator<< (std::ostream& out, const Item& item)
{
    return out << (item.separator ? "(separator)" : "\"" + item.text + "\" [" + item.keys + "]");
}

/** What the bar's menu at index shows, item by item; the keys are those the
    drop-down menu prints beside an item, the ones the command manager maps to it. */
std::vector<Item> itemsOf (juce::MenuBarComponent& bar, int index)
{
    std::vector<Item> items;
    const auto menu = bar.getModel()->getMenuForIndex (index, {});
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();
        juce::StringArray keys;
        if (item.commandManager != nullptr && item.itemID != 0)
            for (const auto& key :
                 item.commandManager->getKeyMappings()->getKeyPressesAssignedToCommand (item.itemID))
                keys.add (key.getTextDescriptionWithIcons());
        items.push_back ({ item.text.toStdString(), item.itemID, keys.joinIntoString (", ").toStdString(),
                           item.isSeparator });
    }
    return items;
}

std::string keysOf (char key)
{
    return juce::KeyPress (key, juce::ModifierKeys::commandModifier, 0)
        .getTextDescriptionWithIcons()
        .toStdString();
}

/** The drop-down menu on screen, besides the given windows. */
juce::Component* openMenuWindow (const std::vector<juce::Component*>& others)
{
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
    {
        auto* c = desktop.getComponent (i);
        if (c->isShowing() && std::find (others.begin(), others.end(), c) == others.end())
            return c;
    }
    return nullptr;
}
} // namespace

TEST_F (MainMenu, TheMenusAreInABarOfTheirOwnAlongTheTopOfTheScreen)
{
    EXPECT_EQ (simmac::mainMenuBar(), nullptr);
    start();
    auto* bar = simmac::mainMenuBar();
    ASSERT_NE (bar, nullptr);
    EXPECT_EQ (bar->getModel(), static_cast<juce::MenuBarModel*> (window()));

    // Its own window, across the top of the screen, clear of the program's
    // window, which keeps its 450 x 402 content and has no bar of its own.
    auto* barWindow = bar->getTopLevelComponent();
    EXPECT_NE (barWindow, static_cast<juce::Component*> (window()));
    EXPECT_TRUE (barWindow->isOnDesktop());
    EXPECT_TRUE (bar->isShowing());
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->totalArea;
    const auto barArea = bar->getScreenBounds();
    EXPECT_EQ (barArea.getTopLeft(), screen.getTopLeft());
    EXPECT_EQ (barArea.getWidth(), screen.getWidth());
    EXPECT_GT (barArea.getHeight(), 0);
    EXPECT_FALSE (barArea.intersects (window()->getScreenBounds()));
    EXPECT_EQ (window()->getMenuBarComponent(), nullptr);
    EXPECT_EQ (content()->getWidth(), 450);
    EXPECT_EQ (content()->getHeight(), 402);

    app->shutdown();
    started = false;
    EXPECT_EQ (simmac::mainMenuBar(), nullptr) << "the bar goes with the window";
}

TEST_F (MainMenu, TheBarListsFileAndHelpWithTheirItemsAndKeys)
{
    start();
    auto* bar = simmac::mainMenuBar();
    ASSERT_NE (bar, nullptr);
    EXPECT_EQ (bar->getModel()->getMenuBarNames(), juce::StringArray ("File", "Help"));
    EXPECT_EQ (
        itemsOf (*bar, 0),
        (std::vector<Item>{ { "Open...", MainWindow::openFile, keysOf ('o'), false },
                            { "", 0, "", true },
                            { "Quit", juce::StandardApplicationCommandIDs::quit, keysOf ('q'), false } }));
    EXPECT_EQ (itemsOf (*bar, 1), (std::vector<Item>{ { "About...", MainWindow::showAbout, "", false } }));
}

TEST_F (MainMenu, ChoosingAboutInTheBarOpensTheAboutBox)
{
    start();
    auto* bar = simmac::mainMenuBar();
    ASSERT_NE (bar, nullptr);

    // As a click on "Help" does; then the first item is chosen with the keys.
    bar->showMenu (1);
    juce::Component* menu = nullptr;
    ASSERT_TRUE (ulktest::pumpUntil (
        [&]
        {
            menu = openMenuWindow ({ bar->getTopLevelComponent(), window() });
            return menu != nullptr;
        }));
    EXPECT_TRUE (boxes.shown().empty());
    menu->keyPressed (juce::KeyPress (juce::KeyPress::downKey));
    menu->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));

    ASSERT_TRUE (ulktest::pumpUntil ([this] { return !boxes.shown().empty(); }));
    EXPECT_EQ (boxes.shown()[0].title, "ULK Updater");
    EXPECT_EQ (boxes.shown()[0].message, "ULK Updater Version 2.0.0 (rev 4)\n\n");
}

//==============================================================================
TEST (MainRunLoopUnderABox, OnlyCommonModeSourcesRunWhileABoxIsOpen)
{
    standintest::SourceCounter inDefault, inCommon;
    CFRunLoopSourceRef defaultSource = inDefault.makeSource();
    CFRunLoopSourceRef commonSource = inCommon.makeSource();
    CFRunLoopRef loop = CFRunLoopGetMain();
    CFRunLoopAddSource (loop, defaultSource, kCFRunLoopDefaultMode);
    CFRunLoopAddSource (loop, commonSource, kCFRunLoopCommonModes);

    auto box = std::make_unique<juce::AlertWindow> ("Box", "Open", juce::MessageBoxIconType::NoIcon);
    CFRunLoopSourceSignal (defaultSource);
    CFRunLoopSourceSignal (commonSource);
    CFRunLoopWakeUp (loop);
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return inCommon.performs() == 1; }));
    ulktest::pumpFor (50);
    EXPECT_EQ (inDefault.performs(), 0);
    EXPECT_TRUE (simmac::mainRunLoopHasWork());

    box = nullptr;
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return inDefault.performs() == 1; }));
    CFRunLoopRemoveSource (loop, defaultSource, kCFRunLoopDefaultMode);
    CFRunLoopRemoveSource (loop, commonSource, kCFRunLoopCommonModes);
    CFRelease (defaultSource);
    CFRelease (commonSource);
}

//==============================================================================
namespace
{
/** What the window showed and what the main run loop held back at one moment
    of a box's life. */
struct Moment
{
    std::string box;
    bool deviceShown;
    bool notificationHeld;
};

/** Makes the boxes as the recorder does, and notes the moments each box
    opens and goes; the recorder's closer still closes them. */
class BoxWatch : public juce::LookAndFeel_V2, private juce::ComponentListener
{
public:
    std::function<void (const std::string&)> onOpen;
    std::function<Moment (const std::string&)> sample;
    std::vector<Moment> opened, gone;

    juce::AlertWindow* createAlertWindow (const juce::String& title, const juce::String& message,
                                          const juce::String& button1, const juce::String& button2,
                                          const juce::String& button3, juce::MessageBoxIconType iconType,
                                          int numButtons, juce::Component* associatedComponent) override
    {
        auto* box = juce::LookAndFeel_V2::createAlertWindow (title, message, button1, button2, button3,
                                                             iconType, numButtons, associatedComponent);
        texts[box] = message.toStdString();
        box->addComponentListener (this);
        opened.push_back (sample (message.toStdString()));
        if (onOpen)
            onOpen (message.toStdString());
        return box;
    }

private:
    void componentBeingDeleted (juce::Component& box) override
    {
        box.removeComponentListener (this);
        gone.push_back (sample (texts[&box]));
    }

    std::map<juce::Component*, std::string> texts;
};

const char* const notReady = "QM-KM3300 is not ready for version up.";
const char* const mismatch = "Error: Update file does not match the device";

class BoxesHold : public ApplicationFixture
{
protected:
    void startWatching()
    {
        start();
        watch.sample = [this] (const std::string& box) {
            return Moment{ box, isShown (*content(), deviceInfo), simmac::mainRunLoopHasWork() };
        };
        juce::LookAndFeel::setDefaultLookAndFeel (&watch);
    }

    ~BoxesHold() override { juce::LookAndFeel::setDefaultLookAndFeel (nullptr); }

    /** Plugs in a controller that is not in update mode and unplugs it as
        soon as the box saying so opens. */
    void plugInAndPullOutAtItsWarning()
    {
        controller =
            sim::SimulatedController::create (ControllerIdentity::km3300 (ControllerIdentity::normalMode));
        watch.onOpen = [this] (const std::string& box)
        {
            if (box == notReady)
                controller->unplug();
        };
        controller->plugIn();
    }

    BoxWatch watch;
    std::shared_ptr<sim::SimulatedController> controller;
};

} // namespace

TEST_F (BoxesHold, ARemovalWhileABoxIsOpenComesWhenItHasGone)
{
    startWatching();
    plugInAndPullOutAtItsWarning();

    // The box stays open for a while of the modal loop with the removal on
    // the port; the window hears of it only after the box has gone.
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !watch.gone.empty(); }));
    ASSERT_EQ (watch.gone.size(), 1u);
    EXPECT_EQ (watch.gone[0].box, notReady);
    EXPECT_TRUE (watch.gone[0].deviceShown) << "the removal came while the box was open";
    EXPECT_TRUE (watch.gone[0].notificationHeld);

    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !isShown (*content(), deviceInfo); }));
    EXPECT_EQ (textOf (*content(), statusLabel), "Waiting...");
    EXPECT_FALSE (simmac::mainRunLoopHasWork());
    EXPECT_TRUE (ulktest::pumpUntil ([] { return ulktest::platform::openDeviceCount() == 0; }));
}

TEST_F (BoxesHold, ARemovalDuringTheFirstOfTwoWarningsWaitsForBoth)
{
    startWatching();
    content()->filesDropped (
        juce::StringArray (ulktest::UpdateFileBuilder::km3800().imageSize (100).writeTo (dir.file ("u.bin"))),
        0, 0);
    plugInAndPullOutAtItsWarning();

    // Both warnings of the arrival come, in order, before the removal does:
    // between the boxes the message loop never ran in its default mode.
    ASSERT_TRUE (ulktest::pumpUntil ([&] { return watch.gone.size() == 2; }));
    ASSERT_EQ (watch.opened.size(), 2u);
    EXPECT_EQ (watch.opened[1].box, mismatch);
    EXPECT_TRUE (watch.opened[1].deviceShown);
    EXPECT_TRUE (watch.opened[1].notificationHeld);
    EXPECT_EQ (watch.gone[1].box, mismatch);
    EXPECT_TRUE (watch.gone[1].deviceShown);

    ASSERT_TRUE (ulktest::pumpUntil ([&] { return !isShown (*content(), deviceInfo); }));
    EXPECT_EQ (textOf (*content(), statusLabel), "Waiting...");
}
