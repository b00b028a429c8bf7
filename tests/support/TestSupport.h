#pragma once

// Helpers shared by the test programs.  The shared main() makes the test
// thread JUCE's message thread, turns JUCE assertions into test failures and
// runs each test process in a fresh temporary working directory.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ulktest
{
/** Runs the JUCE message loop in short slices until condition holds or
    timeoutMs passes; returns whether it held. */
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 5000);

/** Runs the JUCE message loop for about ms milliseconds. */
void pumpFor (int ms);

/** While one lives, JUCE assertions are counted instead of failing the test. */
class ExpectJuceAssertions
{
public:
    ExpectJuceAssertions();
    ~ExpectJuceAssertions();

    /** Assertions seen since this object was made. */
    int count() const;

private:
    int startCount;
};

/** Collects what the process writes to standard error while it lives.  On
    Windows, where JUCE's debug lines go to the debugger instead, it collects
    the process's debug output (OutputDebugString) too; only one capture at a
    time on the machine can see that. */
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();

    /** Stops the capture (once) and returns what was written. */
    std::string finish();

private:
    int savedFd = -1;
    std::string path;
    std::string text;
#ifdef _WIN32
    struct DebugOutput;
    std::unique_ptr<DebugOutput> debugOutput;
#endif
};

/** Makes a fresh directory, the working directory while the object lives;
    removes it afterwards. */
class ScopedTempWorkingDirectory
{
public:
    ScopedTempWorkingDirectory();
    ~ScopedTempWorkingDirectory();

    const std::string& path() const { return dir; }

private:
    std::string dir;
    std::string previous;
};

/** A fresh directory, removed with everything in it when the object dies. */
class TempDirectory
{
public:
    TempDirectory();
    ~TempDirectory();

    const std::string& path() const { return dir; }
    std::string file (const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

/** A directory that a test and the child processes of its death tests share:
    the test makes it (fresh) and removes it; a death test's child, which runs
    the test again from its start, only finds it. */
class SharedTempDirectory
{
public:
    explicit SharedTempDirectory (const std::string& name);
    ~SharedTempDirectory();

    const std::string& path() const { return dir; }
    std::string file (const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
    bool owner;
};

/** True in the child process of a death test. */
bool isDeathTestChild();

/** The working directory the test process started its test in; the HID
    library's log file of the process lies there. */
const std::string& processWorkingDirectory();

/** The lines of a text file, without their line feeds; empty when there is no file. */
std::vector<std::string> readLines (const std::string& path);

bool fileExists (const std::string& path);

/** The lines the HID library's log gains between the object's making and a
    call of newLines(). */
class LogCapture
{
public:
    LogCapture();

    std::vector<std::string> newLines() const;

private:
    size_t linesBefore;
};

#ifndef _WIN32
/** What a program that runProgram ran did. */
struct ProgramRun
{
    /** Its exit code; -1 when it did not start, did not end by itself or did
        not end in time. */
    int exitCode = -1;
    /** What it wrote to its standard output. */
    std::string output;
};

/** Runs program with these arguments after its own path, in this process's
    environment and working directory, and waits up to timeoutMs for its end
    (then it is killed). */
ProgramRun runProgram (const std::string& program, const std::vector<std::string>& arguments, int timeoutMs);
#endif

/** True in the macOS flavour of the test program. */
inline bool isMacFlavour()
{
#if defined(ULK_FLAVOUR_MAC)
    return true;
#else
    return false;
#endif
}
} // namespace ulktest
