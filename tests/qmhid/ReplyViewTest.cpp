// The caps and setting reply views.

#include <qmhid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qmhid;

namespace
{
std::vector<uint8> capsReply (const char* name, size_t nameLength)
{
    std::vector<uint8> r (QMHID_DATA_SIZE, 0);
    const uint8 header[] = {
        0x41, 0x34, 0x21, 0x01, 0x23, 2, 4, 0x0F, 3, 24, 0x02, 0x00, 2, 0xEE, 0xEE, 0xEE
    };
    std::memcpy (r.data(), header, sizeof (header));
    std::memcpy (r.data() + 16, name, nameLength);
    return r;
}
} // namespace

TEST (CapsView, FillsEveryFieldFromTheReply)
{
    auto r = capsReply ("QM-KM3300", 9);
    ReceivedASIOCaps view (r.data());

    ASIOCaps caps;
    std::memset (&caps, 0, sizeof (caps));
    view.getASIOCaps (&caps);

    EXPECT_EQ (caps.modelNumber, 0x41);
    EXPECT_EQ (caps.unitNumber, 3);
    EXPECT_EQ (caps.softwareVersion, 0x0123);
    EXPECT_EQ (caps.inputChannels, 2);
    EXPECT_EQ (caps.outputChannels, 4);
    EXPECT_EQ (caps.samplingFrequencyInfo, 0x0F);
    EXPECT_EQ (caps.samplingFrequency, 3);
    EXPECT_EQ (caps.maximumAudioBitResolution, 24);
    EXPECT_EQ (caps.audioBufferSize, 512);
    EXPECT_EQ (caps.operationMode, 2);
    EXPECT_EQ (std::string (caps.modelName), "QM-KM3300");
    EXPECT_EQ (std::vector<char> (caps.modelName + 9, caps.modelName + 17), std::vector<char> (8, 0));
}

TEST (CapsView, AcceptsAnyModelAndUnit)
{
    auto r = capsReply ("", 0);
    r[0] = 0xFF;
    r[1] = 0xF4;
    ReceivedASIOCaps view (r.data());
    ASIOCaps caps{};
    view.getASIOCaps (&caps);
    EXPECT_EQ (caps.modelNumber, 0xFF);
    EXPECT_EQ (caps.unitNumber, 15);
}

TEST (CapsView, ModelNameLengthsAndCopies)
{
    struct Case
    {
        std::string reportName; // bytes 16 on, up to 16
        int expectedLength;
        std::string expectedName;
    };

    const Case cases[] = {
        { "QM-KM3300", 9, "QM-KM3300" },
        { "ABCDEFGHIJKLMNOP", 16, "ABCDEFGHIJKLMNOP" }, // no 0 byte in the report
        { std::string ("\0XYZ", 4), 0, "" },
        { std::string ("AB\0CD", 5), 2, "AB" },
    };

    for (const auto& c : cases)
    {
        auto r = capsReply (c.reportName.data(), c.reportName.size());
        ReceivedASIOCaps view (r.data());
        EXPECT_EQ (view.getModelName (nullptr, 0), c.expectedLength) << c.expectedName;

        char field[17];
        std::memset (field, 0, sizeof (field));
        EXPECT_EQ (view.getModelName (field, 17), 0);
        EXPECT_EQ (std::string (field), c.expectedName);
        EXPECT_EQ (field[16], 0);
    }
}

TEST (CapsView, ShortDestinationWritesOnlyWhatFitsAndTheTerminator)
{
    auto r = capsReply ("QM-KM3300", 9);
    ReceivedASIOCaps view (r.data());

    char dst[8];
    std::memset (dst, '#', sizeof (dst));
    view.getModelName (dst, 5);
    EXPECT_EQ (std::string (dst, 8), std::string ("QM-K\0###", 8));

    // A name shorter than the field leaves the bytes after it as they were.
    auto shortName = capsReply ("AB", 2);
    ReceivedASIOCaps shortView (shortName.data());
    std::memset (dst, '#', sizeof (dst));
    shortView.getModelName (dst, 8);
    EXPECT_EQ (std::string (dst, 8), std::string ("AB#####\0", 8));
}

TEST (SettingView, ReadsBytes8To12)
{
    std::vector<uint8> r (QMHID_DATA_SIZE, 0);
    r[1] = 0x00;
    r[2] = 0x21;
    r[8] = 7;
    r[9] = 16;
    r[10] = 0xFF;
    r[11] = 0xFF;
    r[12] = 1;
    ReceivedASIOSetting view (r.data());
    EXPECT_EQ (view.getSamplingFreq(), 7);
    EXPECT_EQ (view.getAudioBitResolution(), 16);
    EXPECT_EQ (view.getAudioBufferSize(), 0xFFFF);
    EXPECT_EQ (view.getOperationMode(), 1);
    EXPECT_EQ (view.getCommand(), 0x21);
}
