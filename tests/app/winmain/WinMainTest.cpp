// WinMain, the Windows program's entry, through the probe program: the one
// argument of the command line is the update file; no argument, or more than
// one, opens nothing.  Each case is a process of its own, started as the
// system starts a program (here through the simulated platform, under wine
// through Windows' own process start).

#include "TestSupport.h"
#include "UpdateFileBuilder.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
 #include <windows.h>
#endif

namespace
{
constexpr int probeTimeoutMs = 60000;

#ifdef _WIN32
std::wstring probePath()
{
    // It lies beside this program.
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW (nullptr, self, MAX_PATH);
    std::wstring path (self, length);
    return path.substr (0, path.find_last_of (L"\\/") + 1) + L"winmain_probe.exe";
}

std::wstring quoted (const std::string& argument)
{
    const std::wstring wide = juce::String::fromUTF8 (argument.c_str()).toWideCharPointer();
    return argument.empty() || argument.find_first_of (" \t") != std::string::npos ? L"\"" + wide + L"\""
                                                                                   : wide;
}

/** Starts the probe with these arguments and waits for its end; its exit
    code, or -1 when it did not start or end in time. */
int runProbe (const std::vector<std::string>& arguments)
{
    const std::wstring program = probePath();
    std::wstring line = L"\"" + program + L"\"";
    for (const auto& argument : arguments)
        line += L" " + quoted (argument);

    STARTUPINFOW startup{};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW (program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process))
        return -1;
    DWORD code = (DWORD) -1;
    if (WaitForSingleObject (process.hProcess, probeTimeoutMs) != WAIT_OBJECT_0)
        TerminateProcess (process.hProcess, (UINT) -1);
    else
        GetExitCodeProcess (process.hProcess, &code);
    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);
    return (int) code;
}
#else
int runProbe (const std::vector<std::string>& arguments)
{
    return ulktest::runProgram (WINMAIN_PROBE, arguments, probeTimeoutMs).exitCode;
}
#endif

TEST (WinMain, TheOneArgumentOfTheCommandLineIsTheUpdateFile)
{
    ulktest::TempDirectory dir;
    const std::string spaced =
        ulktest::UpdateFileBuilder::km3300().imageSize (100).writeTo (dir.file ("my update.bin"));
    const std::string plain =
        ulktest::UpdateFileBuilder::km3800().imageSize (100).writeTo (dir.file ("update.bin"));

    struct Case
    {
        std::vector<std::string> arguments;
        std::string commandLine;
    };
    const Case cases[] = {
        { {}, "" },
        { { spaced }, spaced },
        { { plain }, plain },
        { { plain, spaced }, "" },
        { { plain, plain, plain }, "" },
    };

    // The probe writes its report into the working directory it shares with this test.
    const std::string report = "winmain_probe.txt";
    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::PrintToString (c.arguments));
        std::remove (report.c_str());

        EXPECT_EQ (runProbe (c.arguments), 0) << "WinMain returns 0";
        const auto lines = ulktest::readLines (report);
        ASSERT_EQ (lines.size(), 2u) << "no report: is another instance of the program running?";
        EXPECT_EQ (lines[0], "command line [" + c.commandLine + "]");
        EXPECT_EQ (lines[1], c.commandLine.empty() ? "update file not shown" : "update file shown");
    }
}
} // namespace
