// The one main() of every test program.

#include "TestSupport.h"
#include "TestSupportInternal.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <cstdlib>
#ifndef _WIN32
 #include <dlfcn.h>
#endif
#include <filesystem>
#include <iostream>
#include <optional>

namespace
{
/** Fails the running test on a JUCE assertion and passes other lines on. */
class AssertionFailingLogger : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        if (message.startsWith ("JUCE Assertion failure"))
            ulktest::noteJuceAssertion (message.toStdString());
        else
            std::cerr << message << std::endl;
    }
};
/** JUCE ignores X errors only inside a running application; a test has none,
    and Xlib's own handler would end the process on the first one (a window
    manager's atom that a bare X server lacks, say). */
void ignoreXErrors()
{
#ifndef _WIN32
    using Handler = int (*) (void*, void*);
    using SetHandler = Handler (*) (Handler);
    if (void* x11 = dlopen ("libX11.so.6", RTLD_NOW | RTLD_GLOBAL))
        if (auto set = reinterpret_cast<SetHandler> (dlsym (x11, "XSetErrorHandler")))
            set ([] (void*, void*) { return 0; });
#endif
}

/** What DISPLAY says in a test program that opens no window.  A display
    number nobody serves today may be another person's X server tomorrow, and
    JUCE takes :0 when DISPLAY is empty; nothing can ever listen below
    /dev/null, which is no directory, so the X library gives up on this name
    without trying to connect. */
constexpr const char* noDisplay = "/dev/null/no-display:0";
} // namespace

int main (int argc, char** argv)
{
    // Tests that open windows use the X server the test run started; the
    // others reach no X server, whatever DISPLAY they were started with.
    if (std::getenv ("ULK_TEST_NEEDS_DISPLAY") == nullptr)
    {
#ifndef _WIN32
        setenv ("DISPLAY", noDisplay, 1);
#endif
    }
    else
    {
        const char* display = std::getenv ("ULK_TEST_DISPLAY");
        if (display == nullptr || *display == 0)
        {
            std::cerr
                << "These tests open windows: set ULK_TEST_DISPLAY to an X server (scripts/test starts Xvfb)"
                << std::endl;
            return 1;
        }
#ifndef _WIN32
        setenv ("DISPLAY", display, 1);
#endif
        ignoreXErrors();
    }

    testing::InitGoogleTest (&argc, argv);
    // JUCE starts threads of its own, so death tests re-run the program.
    GTEST_FLAG_SET (death_test_style, "threadsafe");

    // Whatever a test leaves in its working directory (the HID library's log
    // among it) goes with the directory.  A death test's child stays where its
    // parent put it.
    std::optional<ulktest::ScopedTempWorkingDirectory> workingDirectory;
    if (!ulktest::isDeathTestChild())
        workingDirectory.emplace();
    ulktest::setProcessWorkingDirectory (std::filesystem::current_path().string());

    AssertionFailingLogger logger;
    juce::Logger::setCurrentLogger (&logger);

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }

    juce::Logger::setCurrentLogger (nullptr);
    return result;
}
