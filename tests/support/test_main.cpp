// The one main() of every test program.

#include "TestSupport.h"
#include "TestSupportInternal.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

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
} // namespace

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    // JUCE starts threads of its own, so death tests re-run the program.
    GTEST_FLAG_SET (death_test_style, "threadsafe");

    // Whatever a test leaves in its working directory (the HID library's log
    // among it) goes with the directory.  A death test's child stays where its
    // parent put it.
    std::optional<ulktest::ScopedTempWorkingDirectory> workingDirectory;
    if (! ulktest::isDeathTestChild())
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
