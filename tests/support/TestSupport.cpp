#include "TestSupport.h"

#include "TestSupportInternal.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace ulktest
{
namespace
{
std::atomic<int> expectationDepth{ 0 };
std::atomic<int> assertionCount{ 0 };
std::string startDirectory;

std::string makeTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ulk-test-XXXXXX").string();
    if (mkdtemp (pattern.data()) == nullptr)
    {
        std::perror ("mkdtemp");
        std::abort();
    }
    return pattern;
}

void removeTree (const std::string& dir)
{
    std::error_code ignored;
    // A test may have made parts of the tree read-only.
    for (auto& entry : std::filesystem::recursive_directory_iterator (dir, ignored))
        std::filesystem::permissions (entry.path(), std::filesystem::perms::owner_all,
                                      std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions (dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                  ignored);
    std::filesystem::remove_all (dir, ignored);
}
} // namespace

void noteJuceAssertion (const std::string& message)
{
    if (expectationDepth.load() > 0)
        ++assertionCount;
    else
        ADD_FAILURE() << message;
}

void setProcessWorkingDirectory (const std::string& dir)
{
    startDirectory = dir;
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    for (;;)
    {
        if (condition())
            return true;
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }
}

void pumpFor (int ms)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) ms;
    while (juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
}

ExpectJuceAssertions::ExpectJuceAssertions()
    : startCount (assertionCount.load())
{
    ++expectationDepth;
}

ExpectJuceAssertions::~ExpectJuceAssertions()
{
    --expectationDepth;
}

int ExpectJuceAssertions::count() const
{
    return assertionCount.load() - startCount;
}

StderrCapture::StderrCapture()
{
    std::cerr.flush();
    std::fflush (stderr);
    path = (std::filesystem::temp_directory_path() /
            ("ulk-stderr-" + std::to_string (getpid()) + "-" + std::to_string ((long long) (size_t) this)))
               .string();
    FILE* file = std::fopen (path.c_str(), "w+");
    if (file == nullptr)
        return;
    savedFd = dup (2);
    dup2 (fileno (file), 2);
    std::fclose (file);
}

StderrCapture::~StderrCapture()
{
    finish();
}

std::string StderrCapture::finish()
{
    if (savedFd < 0)
        return text;

    std::cerr.flush();
    std::fflush (stderr);
    dup2 (savedFd, 2);
    close (savedFd);
    savedFd = -1;

    std::ifstream in (path, std::ios::binary);
    text.assign (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    std::remove (path.c_str());
    return text;
}

ScopedTempWorkingDirectory::ScopedTempWorkingDirectory()
    : dir (makeTempDir())
    , previous (std::filesystem::current_path().string())
{
    std::filesystem::current_path (dir);
}

ScopedTempWorkingDirectory::~ScopedTempWorkingDirectory()
{
    std::error_code ignored;
    std::filesystem::current_path (previous, ignored);
    removeTree (dir);
}

TempDirectory::TempDirectory()
    : dir (makeTempDir())
{
}

TempDirectory::~TempDirectory()
{
    removeTree (dir);
}

bool isDeathTestChild()
{
    return ! GTEST_FLAG_GET (internal_run_death_test).empty();
}

SharedTempDirectory::SharedTempDirectory (const std::string& name)
    : owner (! isDeathTestChild())
{
    const auto pid = owner ? getpid() : getppid();
    dir = (std::filesystem::temp_directory_path() / ("ulk-shared-" + std::to_string (pid) + "-" + name)).string();
    if (owner)
    {
        removeTree (dir);
        std::filesystem::create_directory (dir);
    }
}

SharedTempDirectory::~SharedTempDirectory()
{
    if (owner)
        removeTree (dir);
}

const std::string& processWorkingDirectory()
{
    return startDirectory;
}

std::vector<std::string> readLines (const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in (path, std::ios::binary);
    std::string line;
    while (std::getline (in, line))
        lines.push_back (line);
    return lines;
}

bool fileExists (const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists (path, ignored);
}

LogCapture::LogCapture()
    // The first line of the file is the time line of its making.
    : linesBefore (std::max<size_t> (1, readLines (processWorkingDirectory() + "/qmhid_log.txt").size()))
{
}

std::vector<std::string> LogCapture::newLines() const
{
    auto lines = readLines (processWorkingDirectory() + "/qmhid_log.txt");
    if (lines.size() <= linesBefore)
        return {};
    return std::vector<std::string> (lines.begin() + (std::ptrdiff_t) linesBefore, lines.end());
}
} // namespace ulktest
