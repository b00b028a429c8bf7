// The update file maker (tools/make_update_file) as the program reads what
// it writes: each option gives the file, or the refusal, it promises.

#include <UpdateFileInfo.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
struct Case
{
    const char* options;
    const char* name;
    int code; ///< what UpdateFileInfo::initWithFile returns
    const char* model;
    juce::uint16 version;
    juce::uint32 size;
};

TEST (MakeUpdateFile, EachOptionGivesTheFileItPromises)
{
    const Case cases[] = {
        { "", "update.bin", 0, "QM-KM3300", 0x1010, 0x80000 },
        { "--model QM-KM3800 --version 1.0a2 --size 1000", "update.bin", 0, "QM-KM3800", 0x10A2, 1000 },
        { "--legacy --version 0x1008", "KM3300_old.bin", 0, "QM-KM3300", 0x1008, 0x80000 },
        { "--legacy --model QM-KM3800", "km3800_old.BIN", 0, "QM-KM3800", 0x1010, 0x80000 },
        { "--legacy", "old.bin", 5, "", 0, 0 },
        { "--wrong-crc", "update.bin", 3, "", 0, 0 },
        { "--legacy --wrong-crc", "KM3300_old.bin", 3, "", 0, 0 },
        { "--size 100 --wrong-size", "update.bin", 2, "", 0, 0 },
    };

    ulktest::TempDirectory dir;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.options) + " " + c.name);
        const auto path = dir.file (c.name);
        const auto command = std::string (MAKE_UPDATE_FILE) + " " + c.options + " '" + path + "' 2>/dev/null";
        ASSERT_EQ (std::system (command.c_str()), 0);

        UpdateFileInfo info;
        ASSERT_EQ (info.initWithFile (juce::File (path)), c.code);
        if (c.code != 0)
            continue;
        EXPECT_STREQ (info.modelName, c.model);
        EXPECT_EQ (info.firmwareVersion, c.version);
        EXPECT_EQ (info.fileSize, c.size);
    }
}

TEST (MakeUpdateFile, RefusesWhatItCannotMake)
{
    ulktest::TempDirectory dir;
    for (const char* options : { "--model QM-KM9999", "--version 1.00", "--legacy --size 1000",
                                 "--legacy --wrong-size", "--size 31", "--unknown", "" })
    {
        const auto command = std::string (MAKE_UPDATE_FILE) + " " + options + " " +
                             (std::strlen (options) > 0 ? "'" + dir.file ("f.bin") + "'" : "") +
                             " 2>/dev/null";
        EXPECT_NE (std::system (command.c_str()), 0) << options;
        EXPECT_FALSE (ulktest::fileExists (dir.file ("f.bin"))) << options;
    }
}
} // namespace
