// The process command line and the message box of the simulated platform:
// CommandLineToArgvW's rules, the quoting that the entry glue uses, what
// GetCommandLineW gives, a real program started through the entry glue, and
// MessageBoxA's records and the knob that answers boxes (its modal loop is
// in WindowTest.cpp).

#include "StandInTest.h"
#include "TestSupport.h"

#include <shellapi.h>

#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

using namespace wintest;
using namespace simtest;

namespace
{
std::vector<std::wstring> split (const std::wstring& line)
{
    int count = -1;
    LPWSTR* arguments = CommandLineToArgvW (line.c_str(), &count);
    std::vector<std::wstring> result;
    if (arguments == nullptr)
        return result;
    for (int i = 0; i < count; ++i)
        result.emplace_back (arguments[i]);
    EXPECT_EQ (arguments[count], nullptr) << "the array ends with a null pointer";
    LocalFree (arguments);
    return result;
}

std::wstring wide (const std::string& ascii)
{
    return std::wstring (ascii.begin(), ascii.end());
}

class CommandLine : public StandInTest
{
};

class MessageBoxes : public StandInTest
{
protected:
    void SetUp() override
    {
        StandInTest::SetUp();
        simwin::clearMessageBoxes();
        simwin::setMessageBoxHandler ([] (const simwin::MessageBoxRecord&) { return IDOK; });
    }

    void TearDown() override
    {
        simwin::setMessageBoxHandler (nullptr);
        simwin::clearMessageBoxes();
        StandInTest::TearDown();
    }
};

TEST_F (CommandLine, SplittingFollowsWindowsRules)
{
    struct Case
    {
        const wchar_t* line;
        std::vector<std::wstring> arguments;
    };
    const Case cases[] = {
        { L"ulk.exe", { L"ulk.exe" } },
        { L"\"C:\\Program Files\\ulk.exe\" a b", { L"C:\\Program Files\\ulk.exe", L"a", L"b" } },
        { L"ulk \"C:\\My Files\\fw.bin\"", { L"ulk", L"C:\\My Files\\fw.bin" } },
        { L"ulk C:\\My Files\\fw.bin", { L"ulk", L"C:\\My", L"Files\\fw.bin" } },
        { L"ulk  a\t\tb  ", { L"ulk", L"a", L"b" } },
        { L"ulk \"\"", { L"ulk", L"" } },
        { L"ulk \"a b\"c", { L"ulk", L"a bc" } },
        { L"ulk a\\\\b", { L"ulk", L"a\\\\b" } },
        { L"ulk a\\\"b", { L"ulk", L"a\"b" } },
        { L"ulk a\\\\\\\"b", { L"ulk", L"a\\\"b" } },
        { L"ulk \"a\\\\\" b", { L"ulk", L"a\\", L"b" } },
        { L"\"C:\\dir\\\" x", { L"C:\\dir\\", L"x" } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.line, c.line + std::wcslen (c.line)));
        EXPECT_EQ (split (c.line), c.arguments);
    }
}

TEST_F (CommandLine, AnEmptyLineGivesTheProgramsPath)
{
    char path[PATH_MAX];
    const auto length = readlink ("/proc/self/exe", path, sizeof (path) - 1);
    ASSERT_GT (length, 0);
    EXPECT_EQ (split (L""), std::vector<std::wstring>{ wide (std::string (path, (std::size_t) length)) });
}

TEST_F (CommandLine, TheArgumentsComeInOneLocalBlock)
{
    int count = 0;
    const auto before = simwin::liveLocalAllocations();
    LPWSTR* arguments = CommandLineToArgvW (L"ulk a b", &count);
    EXPECT_EQ (count, 3);
    EXPECT_EQ (simwin::liveLocalAllocations(), before + 1);
    EXPECT_EQ (LocalFree (arguments), nullptr);
    EXPECT_EQ (LocalFree (arguments), (HLOCAL) arguments) << "freed twice";
    expectInvalidHandleUses (1);

    SetLastError (0);
    EXPECT_EQ (CommandLineToArgvW (L"ulk", nullptr), nullptr);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_PARAMETER);
}

TEST_F (CommandLine, QuotedArgumentsSplitBackIntoThemselves)
{
    const std::vector<std::vector<std::string>> cases = {
        { "C:\\ulk\\ulk.exe" },
        { "C:\\ulk\\ulk.exe", "C:\\fw.bin" },
        { "C:\\Program Files\\ulk.exe", "C:\\My Files\\fw.bin" },
        { "ulk", "", "a\"b", "trail\\", "x y\\", "\\\\server\\share", "tab\there", "\\\"" },
    };
    for (const auto& arguments : cases)
    {
        std::vector<std::wstring> expected;
        for (auto& a : arguments)
            expected.push_back (wide (a));
        EXPECT_EQ (split (simwin::commandLineFor (arguments)), expected) << arguments.size() << " arguments";
    }

    EXPECT_EQ (simwin::commandLineFor ({ "C:\\Program Files\\ulk.exe", "C:\\My Files\\fw.bin", "plain" }),
               L"\"C:\\Program Files\\ulk.exe\" \"C:\\My Files\\fw.bin\" plain");
    EXPECT_EQ (simwin::argumentsLineFor ({ "ulk.exe", "C:\\My Files\\fw.bin", "plain" }),
               "\"C:\\My Files\\fw.bin\" plain");
    EXPECT_EQ (simwin::argumentsLineFor ({ "ulk.exe" }), "");
}

TEST_F (CommandLine, GetCommandLineGivesTheLineLastSet)
{
    simwin::setCommandLine (L"ulk.exe first");
    const wchar_t* first = GetCommandLineW();
    EXPECT_EQ (std::wstring (first), L"ulk.exe first");
    simwin::setCommandLine (L"ulk.exe second");
    EXPECT_EQ (std::wstring (GetCommandLineW()), L"ulk.exe second");
    EXPECT_EQ (std::wstring (first), L"ulk.exe first") << "an earlier line stays valid";
}

TEST (EntryGlue, MainHandsTheArgumentsToWinMainAsWindowsWould)
{
    struct Case
    {
        std::vector<std::string> arguments;
        std::string lpCmdLine;
    };
    const Case cases[] = {
        { {}, "" },
        { { "C:\\My Files\\fw.bin" }, "\"C:\\My Files\\fw.bin\"" },
        { { "KM3300_fw.bin", "second" }, "KM3300_fw.bin second" },
        { { "a\"b", "trail\\", "" }, "\"a\\\"b\" trail\\ \"\"" },
        { { "\xC3\x9C"
            "berweisung.bin" },
          "\xC3\x9C"
          "berweisung.bin" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.lpCmdLine);
        std::string expected = "instance ok\nprevious null\nshow 10\nlpCmdLine [" + c.lpCmdLine + "]\n";
        for (auto& a : c.arguments)
            expected += "argument [" + a + "]\n";
        const auto run = ulktest::runProgram (WIN32_ENTRY_PROBE, c.arguments, 30000);
        EXPECT_EQ (run.output, expected);
        EXPECT_EQ (run.exitCode, 3) << "main returns what WinMain returns";
    }
}

TEST_F (MessageBoxes, EachBoxIsRecordedAndAnsweredThroughTheKnob)
{
    EXPECT_EQ (MessageBoxA (nullptr, "Load was completed.", "ULK Updater", MB_ICONINFORMATION), IDOK);
    EXPECT_EQ (MessageBoxA (nullptr, "No caption", nullptr, MB_OK), IDOK);
    std::thread::id worker;
    std::thread (
        [&]
        {
            worker = std::this_thread::get_id();
            MessageBoxA (nullptr, "From a worker", "ULK Updater", MB_ICONWARNING);
        })
        .join();

    const auto boxes = simwin::messageBoxes();
    ASSERT_EQ (boxes.size(), 3u);
    EXPECT_EQ (boxes[0].text, "Load was completed.");
    EXPECT_EQ (boxes[0].caption, "ULK Updater");
    EXPECT_EQ (boxes[0].type, (UINT) MB_ICONINFORMATION);
    EXPECT_EQ (boxes[0].owner, nullptr);
    EXPECT_EQ (boxes[0].thread, std::this_thread::get_id());
    EXPECT_EQ (boxes[1].caption, "Error") << "Windows' caption for a box without one";
    EXPECT_EQ (boxes[2].type, (UINT) MB_ICONWARNING);
    EXPECT_EQ (boxes[2].thread, worker);

    SetLastError (0);
    EXPECT_EQ (MessageBoxA ((HWND) (ULONG_PTR) 0x1234, "owner", "gone", MB_OK), 0);
    EXPECT_EQ (GetLastError(), (DWORD) ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ (simwin::messageBoxes().size(), 3u);
}

TEST_F (MessageBoxes, AHandlerActsWhileTheBoxIsOpen)
{
    std::vector<std::string> seenByHandler;
    simwin::setMessageBoxHandler (
        [&] (const simwin::MessageBoxRecord& box)
        {
            seenByHandler.push_back (box.text);
            EXPECT_EQ (simwin::messageBoxes().size(), 1u) << "the box is recorded while open";
            EXPECT_EQ (box.thread, std::this_thread::get_id());
            return IDCANCEL;
        });
    EXPECT_EQ (MessageBoxA (nullptr, "Version up was not completed.", "ULK Updater", MB_ICONWARNING),
               IDCANCEL);
    EXPECT_EQ (seenByHandler, std::vector<std::string>{ "Version up was not completed." });
}
} // namespace
