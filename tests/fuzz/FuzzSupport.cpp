#include "FuzzSupport.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fuzz
{
namespace
{
/** JUCE logs a failed jassert here (JUCE_LOG_ASSERTIONS); the fuzzer only
    sees a crash.  What JUCE says at exit is left out, its own count of
    leaked objects with it (the objects the targets keep for the whole run
    are never deleted).  Leaks are LeakSanitizer's, which scripts/fuzz has
    look once, as each run ends, over what all its inputs left behind. */
std::atomic<bool> exiting{ false };

class AbortOnAssertion : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        if (message.contains ("JUCE Assertion failure") && !message.contains ("LeakedObjectDetector") &&
            !exiting.load())
        {
            std::fprintf (stderr, "%s\n", message.toRawUTF8());
            std::abort();
        }
    }
};
} // namespace

void initialiseJuce()
{
    // Never deleted: JUCE asserts when the current logger goes.
    juce::Logger::setCurrentLogger (new AbortOnAssertion());
    juce::MessageManager::getInstance();
    // JUCE is never shut down here, and says so as its singletons go at exit.
    std::atexit ([] { exiting = true; });
}

void check (bool condition, const char* what)
{
    if (!condition)
    {
        std::fprintf (stderr, "fuzz: %s\n", what);
        std::abort();
    }
}

std::string scratchDirectory()
{
    // Kept until the very end: the directory goes at exit.
    static const std::string* const dir = new std::string (
        []
        {
            std::error_code ignored;
            std::filesystem::path base = std::filesystem::is_directory ("/dev/shm", ignored)
                                             ? std::filesystem::path ("/dev/shm")
                                             : std::filesystem::temp_directory_path();
            auto dir = base / ("ulk_fuzz_" + std::to_string (getpid()));
            std::filesystem::create_directories (dir, ignored);
            return dir.string();
        }());
    static const bool removedAtExit =
        std::atexit (
            []
            {
                std::error_code ignored;
                std::filesystem::remove_all (std::filesystem::path (*dir), ignored);
            }) == 0;
    (void) removedAtExit;
    return *dir;
}
} // namespace fuzz
