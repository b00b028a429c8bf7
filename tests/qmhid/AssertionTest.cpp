// The library's two guards stop the process in the macOS flavour only.

#include "TestSupport.h"

#include <qmhid.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace qmhid;

namespace
{
struct OversizedBlock : VerUpDataMessageBase
{
    OversizedBlock()
        : VerUpDataMessageBase (30, 3)
    {
    }
};

uint8 ackReply[QMHID_DATA_SIZE] = { 0x00, 0x0B, 0x06 };
} // namespace

#if QMHID_MAC_FLAVOUR

TEST (LibraryAssertionsDeathTest, ABlockLargerThanTheReportStopsTheProcess)
{
    EXPECT_DEATH ({ OversizedBlock block; },
                  "qmhid_VerUpDataMessageBase.*posData \\+ maxSize <= QMHID_DATA_SIZE");
}

TEST (LibraryAssertionsDeathTest, ACapsViewOverAnotherReplyStopsTheProcess)
{
    EXPECT_DEATH ({ ReceivedASIOCaps view (ackReply); },
                  "qmhid_ReceivedASIOCaps.*DataFormat::isAsioCaps\\(buf\\)");
}

#else

TEST (LibraryAssertionsDeathTest, TheWindowsFlavourChecksNothing)
{
    EXPECT_EXIT (
        {
            OversizedBlock block;
            ReceivedASIOCaps view (ackReply);
            // Without exit-time teardown, which on Windows faults when it
            // runs under the JUCE the statement leaves up.
            std::_Exit (view.getCommand() == 0x06 ? 0 : 1);
        },
        testing::ExitedWithCode (0), "");
}

#endif
