#include "TestSupport.h"

#include "TestSupportInternal.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#ifdef _WIN32
 #include <io.h>
 #include <process.h>
 #include <thread>
 #include <windows.h>
#else
 #include <csignal>
 #include <poll.h>
 #include <spawn.h>
 #include <sys/wait.h>
 #include <unistd.h>

extern char** environ;
#endif

namespace ulktest
{
namespace
{
std::atomic<int> expectationDepth{ 0 };
std::atomic<int> assertionCount{ 0 };
std::string startDirectory;

std::string makeTempDir()
{
#ifdef _WIN32
    // No mkdtemp: a random name, taken only if nobody has it yet.
    std::random_device seed;
    std::mt19937 random (seed());
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const auto dir = std::filesystem::temp_directory_path() / ("ulk-test-" + std::to_string (random()));
        std::error_code error;
        if (std::filesystem::create_directory (dir, error))
            return dir.string();
    }
    std::fprintf (stderr, "cannot make a temporary directory\n");
    std::abort();
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "ulk-test-XXXXXX").string();
    if (mkdtemp (pattern.data()) == nullptr)
    {
        std::perror ("mkdtemp");
        std::abort();
    }
    return pattern;
#endif
}

/** The process id of the test process whose death test this process runs:
    its parent on POSIX; on Windows the death test flag carries it. */
long deathTestParentId()
{
#ifdef _WIN32
    // file|line|index|parent id|write handle|event handle
    const std::string flag = GTEST_FLAG_GET (internal_run_death_test);
    size_t start = 0;
    for (int field = 0; field < 3 && start != std::string::npos; ++field)
    {
        start = flag.find ('|', start);
        if (start != std::string::npos)
            ++start;
    }
    return start == std::string::npos ? 0 : std::atol (flag.c_str() + start);
#else
    return (long) getppid();
#endif
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

#ifdef _WIN32
/** The receiving end of OutputDebugString while no debugger is attached: the
    system-wide DBWIN buffer and its two events, read on a thread of its own.
    A writer waits until the buffer is free, fills it (process id, text) and
    signals; each line has been read before the next one can be written. */
struct StderrCapture::DebugOutput
{
    DebugOutput()
    {
        bufferReady = CreateEventW (nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
        dataReady = CreateEventW (nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        mapping =
            CreateFileMappingW (INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
        if (bufferReady == nullptr || dataReady == nullptr || mapping == nullptr)
            return;
        view = static_cast<const char*> (MapViewOfFile (mapping, FILE_MAP_READ, 0, 0, 4096));
        if (view != nullptr)
            reader = std::thread ([this] { read(); });
    }

    ~DebugOutput()
    {
        stop = true;
        if (reader.joinable())
            reader.join();
        if (view != nullptr)
            UnmapViewOfFile (view);
        for (HANDLE handle : { mapping, dataReady, bufferReady })
            if (handle != nullptr)
                CloseHandle (handle);
    }

    /** Everything read so far; waits for a line written before the call. */
    std::string finish()
    {
        stop = true;
        if (reader.joinable())
            reader.join();
        return text;
    }

    void read()
    {
        const DWORD self = GetCurrentProcessId();
        SetEvent (bufferReady);
        for (;;)
        {
            // Once stopped, only a line already written is still taken.
            if (WaitForSingleObject (dataReady, stop ? 0 : 10) != WAIT_OBJECT_0)
            {
                if (stop)
                    return;
                continue;
            }
            DWORD writer = 0;
            std::memcpy (&writer, view, sizeof (writer));
            if (writer == self)
                text += std::string (view + sizeof (DWORD),
                                     strnlen (view + sizeof (DWORD), 4096 - sizeof (DWORD)));
            SetEvent (bufferReady);
        }
    }

    HANDLE bufferReady = nullptr;
    HANDLE dataReady = nullptr;
    HANDLE mapping = nullptr;
    const char* view = nullptr;
    std::atomic<bool> stop{ false };
    std::thread reader;
    std::string text;
};
#endif

StderrCapture::StderrCapture()
{
#ifdef _WIN32
    debugOutput = std::make_unique<DebugOutput>();
#endif
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
#ifdef _WIN32
    const std::string debugText = debugOutput->finish();
#endif

    std::cerr.flush();
    std::fflush (stderr);
    dup2 (savedFd, 2);
    close (savedFd);
    savedFd = -1;

    std::ifstream in (path, std::ios::binary);
    text.assign (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    in.close();
    std::remove (path.c_str());
#ifdef _WIN32
    text += debugText;
#endif
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
    return !GTEST_FLAG_GET (internal_run_death_test).empty();
}

SharedTempDirectory::SharedTempDirectory (const std::string& name)
    : owner (!isDeathTestChild())
{
    const auto pid = owner ? (long) getpid() : deathTestParentId();
    dir = (std::filesystem::temp_directory_path() / ("ulk-shared-" + std::to_string (pid) + "-" + name))
              .string();
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
#ifndef _WIN32
ProgramRun runProgram (const std::string& program, const std::vector<std::string>& arguments, int timeoutMs)
{
    ProgramRun run;
    int pipeFds[2];
    if (pipe (pipeFds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose (&actions, pipeFds[0]);

    std::vector<std::string> all{ program };
    all.insert (all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back (a.data());
    argv.push_back (nullptr);

    pid_t child = 0;
    const int spawned = posix_spawn (&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy (&actions);
    close (pipeFds[1]);

    // The output ends when the program does (or closes it).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    bool late = false;
    while (spawned == 0)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd readable{ pipeFds[0], POLLIN, 0 };
        if (left <= 0 || poll (&readable, 1, (int) left) == 0)
        {
            late = true;
            break;
        }
        char buffer[256];
        const ssize_t got = read (pipeFds[0], buffer, sizeof (buffer));
        if (got <= 0)
            break;
        run.output.append (buffer, (std::size_t) got);
    }
    close (pipeFds[0]);
    if (spawned != 0)
        return run;

    if (late)
        kill (child, SIGKILL);
    int status = 0;
    if (waitpid (child, &status, 0) == child && !late && WIFEXITED (status))
        run.exitCode = WEXITSTATUS (status);
    return run;
}
#endif
} // namespace ulktest
