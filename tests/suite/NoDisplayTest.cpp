// The shared main() keeps a test program that opens no window off every X
// server, whatever DISPLAY it was started with.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace
{
/** Runs the display probe with DISPLAY set to display, asking for a display
    or not; the displays it says JUCE found, or -1 when it said nothing. */
int displaysFoundByProbe (const std::string& display, bool asking)
{
    const std::string command =
        std::string ("env -u ULK_TEST_NEEDS_DISPLAY ") + "DISPLAY='" + display + "' " +
        (asking ? "ULK_TEST_NEEDS_DISPLAY=1 ULK_TEST_DISPLAY='" + display + "' " : "") +
        "'" DISPLAY_PROBE "' 2>&1";
    FILE* pipe = popen (command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string output;
    char buffer[256];
    for (size_t got; (got = fread (buffer, 1, sizeof (buffer), pipe)) > 0;)
        output.append (buffer, got);
    pclose (pipe);
    std::smatch found;
    if (!std::regex_search (output, found, std::regex ("displays ([0-9]+)")))
        return -1;
    return std::stoi (found[1]);
}
} // namespace

TEST (NoDisplay, AProgramThatOpensNoWindowReachesNoXServerThatDisplayNames)
{
    const char* served = std::getenv ("ULK_TEST_DISPLAY");
    if (served == nullptr || *served == 0)
        GTEST_SKIP()
            << "needs an X server to stay away from: set ULK_TEST_DISPLAY (scripts/test starts Xvfb)";

    EXPECT_EQ (displaysFoundByProbe (served, true), 1)
        << "a program that asks for a display finds " << served;
    EXPECT_EQ (displaysFoundByProbe (served, false), 0) << "a program that does not ask reached " << served;
}
