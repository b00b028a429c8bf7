// The library log.  The logger is built once per process, so every case runs
// in a child process started in a directory of its own.

#include "ScriptedDevice.h"
#include "TestSupport.h"

#include <qmhid.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

using namespace qmhid;
using ulktest::readLines;

namespace
{
void enter (const std::string& dir)
{
    std::error_code error;
    std::filesystem::current_path (dir, error);
    if (error)
        std::_Exit (90);
}

void require (bool condition, int code)
{
    if (!condition)
        std::_Exit (code);
}

[[maybe_unused]] void writeFile (const std::string& path, const std::string& text)
{
    std::ofstream (path, std::ios::binary) << text;
}

/** The first line: strftime's "%c" in the C locale, for the current year. */
[[maybe_unused]] bool isLocalTimeLine (const std::string& line)
{
    static const std::regex pattern (R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d{2}:\d{2}:\d{2} (\d{4})$)");
    std::smatch match;
    if (!std::regex_match (line, match, pattern))
        return false;
    const std::time_t now = std::time (nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s (&local, &now);
#else
    localtime_r (&now, &local);
#endif
    return std::stoi (match[1]) >= local.tm_year + 1900 - 1;
}

[[maybe_unused]] auto occursOnce (const std::string& text)
{
    return testing::Truly (
        [text] (const std::string& err)
        {
            size_t count = 0;
            for (auto pos = err.find (text); pos != std::string::npos; pos = err.find (text, pos + 1))
                ++count;
            return count == 1;
        });
}

const std::string logName = "qmhid_log.txt";
} // namespace

#if QMHID_MAC_FLAVOUR

TEST (LibraryLog, FirstLineIsTheTimeAndEveryLineIsFlushedAtOnce)
{
    ulktest::SharedTempDirectory dir ("log1dir");
    EXPECT_EXIT (
        {
            enter (dir.path());
            Logger::Instance()->output ("Error - Couldn't get handshake responce (%d)", 4);
            require (readLines (logName).size() == 2, 2);
            Logger::Instance()->output ("getASIOCaps()");
            require (readLines (logName).size() == 3, 3);
            std::exit (0);
        },
        testing::ExitedWithCode (0), "");

    const auto lines = readLines (dir.file (logName));
    ASSERT_EQ (lines.size(), 3u);
    EXPECT_TRUE (isLocalTimeLine (lines[0])) << lines[0];
    EXPECT_EQ (lines[1], "Error - Couldn't get handshake responce (4)");
    EXPECT_EQ (lines[2], "getASIOCaps()");

    std::ifstream in (dir.file (logName), std::ios::binary);
    const std::string raw ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    EXPECT_EQ (raw.substr (raw.size() - 14), "getASIOCaps()\n"); // single line feeds
}

TEST (LibraryLog, ARunThatLogsEmptiesTheFileOfAnEarlierRun)
{
    ulktest::SharedTempDirectory dir ("log2dir");
    writeFile (dir.file (logName), "an earlier run\nwith two lines\n");

    EXPECT_EXIT (
        {
            enter (dir.path());
            Logger::Instance()->output ("getASIOCaps()");
            std::exit (0);
        },
        testing::ExitedWithCode (0), "");

    const auto lines = readLines (dir.file (logName));
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_TRUE (isLocalTimeLine (lines[0]));
    EXPECT_EQ (lines[1], "getASIOCaps()");
}

TEST (LibraryLog, ARunThatLogsNothingMakesAndChangesNoFile)
{
    ulktest::SharedTempDirectory empty ("log-empty"), earlier ("log-earlier");
    writeFile (earlier.file (logName), "an earlier run\n");

    for (const auto* dir : { &empty, &earlier })
    {
        EXPECT_EXIT (
            {
                enter (dir->path());
                HIDTransmission::getVersionUpDataSize();
                std::exit (0);
            },
            testing::ExitedWithCode (0), "");
    }

    EXPECT_FALSE (ulktest::fileExists (empty.file (logName)));
    EXPECT_EQ (readLines (earlier.file (logName)), std::vector<std::string>{ "an earlier run" });
}

TEST (LibraryLog, AnUnopenableFileIsReportedOnceAndTheSequencesRunOn)
{
    ulktest::SharedTempDirectory dir ("log3dir");
    // A directory in the file's place cannot be opened for writing, not even by root.
    std::filesystem::create_directory (dir.file (logName));

    EXPECT_EXIT (
        {
            enter (dir.path());
            auto script = std::make_shared<testbackend::ScriptedDevice>();
            script->queueReply (testbackend::makeReport ({ 0x00, 0x0B, 0x06 }));
            script->queueReply (testbackend::makeReport ({ 0xFF, 0xFB, 0x15 }));
            HIDDevice* device = testbackend::openScriptedDevice (script);
            HIDTransmission transmission (device);
            require (transmission.sendVerUpSelect() == 0, 2);
            require (transmission.sendVerUpSelect() == 3, 3);
            require (transmission.sendEndOfTransmission() == 0, 4);
            require (script->sends().size() == 3, 5);
            device->release();
            std::exit (0);
        },
        testing::ExitedWithCode (0), occursOnce ("Couldn't open log file\n"));

    EXPECT_TRUE (std::filesystem::is_directory (dir.file (logName)));
}

TEST (LibraryLog, LongTextIsCutAt255Characters)
{
    ulktest::SharedTempDirectory dir ("log4dir");
    EXPECT_EXIT (
        {
            enter (dir.path());
            const std::string text (400, 'x');
            Logger::Instance()->output ("%s", text.c_str());
            Logger::Instance()->output ("after");
            std::exit (0);
        },
        testing::ExitedWithCode (0), "");

    const auto lines = readLines (dir.file (logName));
    ASSERT_EQ (lines.size(), 3u);
    EXPECT_EQ (lines[1], std::string (255, 'x'));
    EXPECT_EQ (lines[2], "after");
}

TEST (LibraryLog, TimestampedLine)
{
    ulktest::SharedTempDirectory dir ("log5dir");
    EXPECT_EXIT (
        {
            enter (dir.path());
            Logger::Instance()->output_timestamp ("plugged");
            std::exit (0);
        },
        testing::ExitedWithCode (0), "");

    const auto lines = readLines (dir.file (logName));
    ASSERT_EQ (lines.size(), 2u);
    const std::regex pattern (R"(^\[(.+)\] plugged$)");
    std::smatch match;
    ASSERT_TRUE (std::regex_match (lines[1], match, pattern)) << lines[1];
    EXPECT_TRUE (isLocalTimeLine (match[1])) << match[1];
}

#else

TEST (LibraryLog, TheWindowsFlavourNeverMakesTheFile)
{
    ulktest::SharedTempDirectory dir ("log6dir");
    EXPECT_EXIT (
        {
            enter (dir.path());
            Logger::Instance()->output ("getASIOCaps()");
            Logger::Instance()->output_timestamp ("plugged");
            HIDTransmission none (nullptr);
            require (none.sendVerUpSelect() == 7, 2);
            // Without exit-time teardown, which on Windows faults when it
            // runs under the JUCE the statement leaves up.
            std::_Exit (0);
        },
        testing::ExitedWithCode (0), testing::Not (testing::HasSubstr ("Couldn't open log file")));

    EXPECT_TRUE (std::filesystem::is_empty (dir.path()));
}

#endif
