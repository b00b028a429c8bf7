// The holder of the current update file, and matching a file with a controller.

#include <UpdateFileController.h>

#include <TestSupport.h>
#include <UpdateFileBuilder.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

using ulktest::UpdateFileBuilder;

namespace
{
bool sameRecord (const UpdateFileInfo& a, const UpdateFileInfo& b)
{
    return a.fileSize == b.fileSize && a.firmwareVersion == b.firmwareVersion && a.fileCrc == b.fileCrc &&
           std::memcmp (a.modelName, b.modelName, sizeof (a.modelName)) == 0 &&
           a.modelNumber == b.modelNumber && a.vendorId == b.vendorId && a.productId == b.productId;
}

UlkDeviceInfo km3300Controller()
{
    UlkDeviceInfo device = {};
    device.modelNumber = 0x41;
    device.operationMode = 2;
    std::strcpy (device.modelName, "QM-KM3300");
    device.vendorId = 0x7A3C;
    device.productId = 0x6102;
    return device;
}

UpdateFileInfo infoOf (const std::string& path)
{
    UpdateFileInfo info;
    EXPECT_EQ (info.initWithFile (juce::File (path)), 0) << path;
    return info;
}
} // namespace

class UpdateFileControllerTest : public testing::Test
{
protected:
    ulktest::TempDirectory dir;
};

TEST_F (UpdateFileControllerTest, NewControllerHoldsNoFileAndAZeroRecord)
{
    const UpdateFileController controller;

    EXPECT_FALSE (controller.hasUpdateFile());
    EXPECT_EQ (controller.getFile(), juce::File());
    EXPECT_TRUE (sameRecord (controller.getUpdateFileInfo(), UpdateFileInfo()));
}

TEST_F (UpdateFileControllerTest, GoodFileBecomesTheCurrentOneAndReplacesTheLast)
{
    UpdateFileController controller;

    const juce::File first (
        UpdateFileBuilder::km3300().firmwareVersion (0x0101).writeTo (dir.file ("a.bin")));
    ASSERT_EQ (controller.setFile (first), 0);
    EXPECT_TRUE (controller.hasUpdateFile());
    EXPECT_EQ (controller.getFile(), first);
    EXPECT_TRUE (sameRecord (controller.getUpdateFileInfo(), infoOf (first.getFullPathName().toStdString())));

    const juce::File second (
        UpdateFileBuilder::km3800().firmwareVersion (0x0202).writeTo (dir.file ("b.bin")));
    ASSERT_EQ (controller.setFile (second), 0);
    EXPECT_EQ (controller.getFile(), second);
    EXPECT_EQ (controller.getUpdateFileInfo().firmwareVersion, 0x0202);
    EXPECT_EQ (controller.getUpdateFileInfo().productId, 0x6109);
}

TEST_F (UpdateFileControllerTest, BadFileNeverReplacesAGoodOne)
{
    ASSERT_TRUE (std::filesystem::create_directory (dir.file ("folder")));
    const auto wrongCrc = UpdateFileBuilder::km3800().wrongCrc().writeTo (dir.file ("c.bin"));

    const struct
    {
        const char* what;
        std::string path;
        int result;
    } cases[] = {
        { "missing", dir.file ("missing.bin"), 1 },
        { "directory", dir.file ("folder"), 1 },
        { "wrong length", UpdateFileBuilder::km3800().trailerFileSize (1).writeTo (dir.file ("s.bin")), 2 },
        { "wrong CRC", wrongCrc, 3 },
        { "unnamed legacy", UpdateFileBuilder::legacy (0x0300).writeTo (dir.file ("legacy.bin")), 5 },
    };

    const juce::File good (
        UpdateFileBuilder::km3300().firmwareVersion (0x0105).writeTo (dir.file ("good.bin")));
    UpdateFileController controller;
    ASSERT_EQ (controller.setFile (good), 0);
    const auto goodInfo = controller.getUpdateFileInfo();

    for (const auto& c : cases)
    {
        EXPECT_EQ (controller.setFile (juce::File (c.path)), c.result) << c.what;
        EXPECT_TRUE (controller.hasUpdateFile()) << c.what;
        EXPECT_EQ (controller.getFile(), good) << c.what;
        EXPECT_TRUE (sameRecord (controller.getUpdateFileInfo(), goodInfo)) << c.what;
    }

    // Nor does it leave an empty controller holding anything.
    UpdateFileController empty;
    EXPECT_EQ (empty.setFile (juce::File (wrongCrc)), 3);
    EXPECT_FALSE (empty.hasUpdateFile());
    EXPECT_EQ (empty.getFile(), juce::File());
    EXPECT_TRUE (sameRecord (empty.getUpdateFileInfo(), UpdateFileInfo()));
}

TEST_F (UpdateFileControllerTest, ClearingForgetsTheFileButKeepsItsRecord)
{
    UpdateFileController controller;
    ASSERT_EQ (controller.setFile (juce::File (UpdateFileBuilder::km3800().writeTo (dir.file ("a.bin")))), 0);
    const auto info = controller.getUpdateFileInfo();

    controller.clearFile();

    EXPECT_FALSE (controller.hasUpdateFile());
    EXPECT_EQ (controller.getFile(), juce::File());
    EXPECT_TRUE (sameRecord (controller.getUpdateFileInfo(), info));
}

TEST_F (UpdateFileControllerTest, FileMatchesOnlyTheControllerItIsFor)
{
    const auto file = infoOf (UpdateFileBuilder::km3300().writeTo (dir.file ("update.bin")));

    const struct
    {
        const char* what;
        std::function<void (UlkDeviceInfo&)> change;
        bool matches;
    } cases[] = {
        { "same controller", [] (UlkDeviceInfo&) {}, true },
        // Mode, version and unit are the controller's business, not the file's.
        { "not in update mode", [] (UlkDeviceInfo& d) { d.operationMode = 0; }, true },
        { "other unit and version",
          [] (UlkDeviceInfo& d)
          {
              d.unitNumber = 7;
              d.softwareVersion = 0x0999;
          },
          true },
        { "other product id", [] (UlkDeviceInfo& d) { d.productId = 0x6109; }, false },
        { "product id beyond 16 bits", [] (UlkDeviceInfo& d) { d.productId = 0x16102; }, false },
        { "other vendor id", [] (UlkDeviceInfo& d) { d.vendorId = 0xFF00; }, false },
        { "other model number", [] (UlkDeviceInfo& d) { d.modelNumber = 0x42; }, false },
        { "unanswered caps poll", [] (UlkDeviceInfo& d) { d.modelNumber = 0; }, false },
        { "name in other case", [] (UlkDeviceInfo& d) { std::strcpy (d.modelName, "qm-km3300"); }, false },
        { "shorter name", [] (UlkDeviceInfo& d) { std::strcpy (d.modelName, "QM-KM330"); }, false },
        { "longer name", [] (UlkDeviceInfo& d) { std::strcpy (d.modelName, "QM-KM3300X"); }, false },
        { "empty name", [] (UlkDeviceInfo& d) { d.modelName[0] = 0; }, false },
    };

    for (const auto& c : cases)
    {
        auto device = km3300Controller();
        c.change (device);
        EXPECT_EQ (file.isMatchDevice (device), c.matches) << c.what;
        EXPECT_EQ (UpdateFileController::matchDeviceAndUpdateFile (device, file), c.matches) << c.what;
    }
}

TEST_F (UpdateFileControllerTest, IdsWithTheTopBitSetMatchWithoutSign)
{
    const auto file = infoOf (
        UpdateFileBuilder::km3300().vendorId (0xFF00).productId (0xFFFF).writeTo (dir.file ("update.bin")));

    auto device = km3300Controller();
    device.vendorId = 0xFF00;
    device.productId = 0xFFFF;
    EXPECT_TRUE (file.isMatchDevice (device));
    EXPECT_TRUE (UpdateFileController::matchDeviceAndUpdateFile (device, file));
}

TEST_F (UpdateFileControllerTest, LegacyImageMatchesAControllerWithTheDefaultName)
{
    const auto file = infoOf (UpdateFileBuilder::legacy (0x0200).writeTo (dir.file ("KM3800_fw.bin")));

    auto device = km3300Controller();
    device.modelNumber = 0x42;
    device.productId = 0x6109;
    std::strcpy (device.modelName, "QM-KM3800");
    EXPECT_TRUE (file.isMatchDevice (device));

    device.vendorId = 0xFF00;
    EXPECT_FALSE (file.isMatchDevice (device)) << "a legacy image is for vendor id 0x7A3C only";
}
