#pragma once

// What the application tests share: the message boxes the program shows,
// recorded and answered as a user would (at once unless told otherwise), and
// the main component's children, found by their place in its stacking order.

#include "TestSupport.h"

#include <ApplicationStartUp.h>
#include <MainComponent.h>
#include <MainWindow.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <string>
#include <vector>

namespace apptest
{
struct Box
{
    int icon; ///< 0 none, 1 question, 2 warning, 3 information
    std::string title;
    std::string message;
};

/** While one lives, every message box of the program is recorded and closed
    as if the user had pressed its button: at once, or after answerAfter's
    time.  A box blocks its caller until then. */
class MessageBoxes
{
public:
    MessageBoxes();
    ~MessageBoxes();

    /** Makes the recorder the default look again, after someone replaced it. */
    void watch();

    /** From now on each box is answered only once it has been open for about
        ms, as a person takes a moment to read it; 0 (the start): at once. */
    void answerAfter (int ms);

    /** From now on each box is answered only once condition holds (asked on
        the message thread while the box is open); null: no condition. */
    void answerWhen (std::function<bool()> condition);

    const std::vector<Box>& shown() const;
    std::vector<std::string> messages() const;
    void clear();

private:
    struct Impl;
    Impl* impl;
};

/** The application object, started as JUCE's runner would but without its
    message loop, which the test pumps instead. */
class ApplicationFixture : public testing::Test
{
protected:
    ApplicationFixture();
    ~ApplicationFixture() override;

    /** initialise, with commandLine as the start-up command line (on Windows
        the entry hands it over before the application starts). */
    void start (const juce::String& commandLine = {});

    MainWindow* window() const;
    MainComponent* content() const;

    MessageBoxes boxes;
    ulktest::TempDirectory dir;
    std::unique_ptr<ApplicationStartUp> app;
    bool started = false;
};

/** The main component's children in their stacking order. */
enum Child
{
    deviceInfo,
    loadButton,
    executeButton,
    statusLabel,
    progressBar,
    deviceStatusLabel,
    fileInfo,
    fileStatusLabel,
    marquee,
    connectionIcon
};

juce::Component& child (MainComponent& main, Child which);
juce::String textOf (MainComponent& main, Child label);
bool isShown (MainComponent& main, Child which);
bool isEnabled (MainComponent& main, Child which);
/** Clicks an enabled button; false when it is disabled. */
bool click (MainComponent& main, Child button);
} // namespace apptest
