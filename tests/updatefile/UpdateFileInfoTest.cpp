// Reading and checking update files: trailer, length, CRC and legacy images.

#include <UpdateFileInfo.h>

#include <TestSupport.h>
#include <UpdateFileBuilder.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>
#ifdef _WIN32
 #include <windows.h>
#else
 #include <sys/stat.h>
#endif

using ulktest::UpdateFileBuilder;

namespace
{
using Bytes = std::vector<std::uint8_t>;

std::string writeBytes (const std::string& path, const Bytes& bytes)
{
    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (bytes.data()), (std::streamsize) bytes.size());
    return path;
}

int check (const std::string& path, UpdateFileInfo& info)
{
    return info.initWithFile (juce::File (path));
}

/** The bytes the file system gave the file: less than its length when sparse. */
long long allocatedBytes (const std::string& path)
{
#ifdef _WIN32
    DWORD high = 0;
    const DWORD low = GetCompressedFileSizeA (path.c_str(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return -1;
    return ((long long) high << 32) | low;
#else
    struct stat status = {};
    if (stat (path.c_str(), &status) != 0)
        return -1;
    return (long long) status.st_blocks * 512;
#endif
}

int check (const std::string& path)
{
    UpdateFileInfo info;
    return check (path, info);
}

std::string nameOf (const UpdateFileInfo& info)
{
    return std::string (info.modelName, sizeof (info.modelName));
}

/** name padded with 0 to the record's 17 bytes. */
std::string paddedName (const std::string& name)
{
    std::string padded = name;
    padded.resize (17, '\0');
    return padded;
}

Bytes withByteFlipped (Bytes bytes, std::size_t offset)
{
    bytes[offset] ^= 0x01;
    return bytes;
}
} // namespace

class UpdateFileInfoTest : public testing::Test
{
protected:
    ulktest::TempDirectory dir;
};

TEST_F (UpdateFileInfoTest, ReadsEveryTrailerField)
{
    // Values whose bytes differ, so that a swapped or shifted field shows.
    const auto builder = UpdateFileBuilder::km3300()
                             .imageSize (1000)
                             .modelName ("QM-KM3800")
                             .modelNumber (0x9C)
                             .vendorId (0xFF00)
                             .productId (0x1234)
                             .firmwareVersion (0xABCD);
    const auto bytes = builder.bytes();

    UpdateFileInfo info;
    ASSERT_EQ (check (builder.writeTo (dir.file ("update.bin")), info), 0);

    EXPECT_EQ (info.fileSize, 1032u);
    EXPECT_EQ (info.firmwareVersion, 0xABCD);
    EXPECT_EQ (info.fileCrc, UpdateFileBuilder::correctCrcOf (bytes));
    EXPECT_EQ (nameOf (info), paddedName ("QM-KM3800"));
    EXPECT_EQ (info.modelNumber, 0x9C);
    EXPECT_EQ (info.vendorId, 0xFF00);
    EXPECT_EQ (info.productId, 0x1234);
}

TEST_F (UpdateFileInfoTest, AcceptsAFileOfAnyLengthFrom32Bytes)
{
    // 32 bytes is all trailer, its CRC over 28 bytes and four zeros; the
    // others straddle the reader's 1024-byte buffer.
    for (std::size_t imageSize : { 0, 1, 991, 992, 993, 2048, 100000 })
    {
        const auto path = UpdateFileBuilder::km3300().imageSize (imageSize).writeTo (dir.file ("update.bin"));

        UpdateFileInfo info;
        EXPECT_EQ (check (path, info), 0) << imageSize;
        EXPECT_EQ (info.fileSize, imageSize + 32) << imageSize;
    }
}

TEST_F (UpdateFileInfoTest, RefusesWhatIsNotAnIntactFileOfTheStatedLength)
{
    const auto good = UpdateFileBuilder::km3300().imageSize (500);
    const auto goodBytes = good.bytes();

    const struct
    {
        const char* what;
        Bytes file;
        int result;
    } cases[] = {
        { "empty", Bytes(), 2 },
        { "31 bytes", Bytes (31, 0x00), 2 },
        { "31 bytes of a good file's tail", Bytes (goodBytes.end() - 31, goodBytes.end()), 2 },
        { "states a byte more", UpdateFileBuilder (good).trailerFileSize (533).bytes(), 2 },
        { "states a byte less", UpdateFileBuilder (good).trailerFileSize (531).bytes(), 2 },
        { "32 bytes stating 33", UpdateFileBuilder::km3300().imageSize (0).trailerFileSize (33).bytes(), 2 },
        { "wrong CRC", UpdateFileBuilder (good).wrongCrc().bytes(), 3 },
        // The CRC is tested before the length.
        { "wrong CRC and length", UpdateFileBuilder (good).wrongCrc().trailerFileSize (7).bytes(), 3 },
        { "image byte changed", withByteFlipped (goodBytes, 10), 3 },
        { "trailer byte changed", withByteFlipped (goodBytes, goodBytes.size() - 10), 3 },
        { "last image byte changed", withByteFlipped (goodBytes, goodBytes.size() - 33), 3 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (check (writeBytes (dir.file ("update.bin"), c.file)), c.result) << c.what;
}

TEST_F (UpdateFileInfoTest, SixteenCharacterNameIgnoresByte16)
{
    for (std::uint8_t byte16 : { 0x00, 0x41, 0xFF })
    {
        const auto path = UpdateFileBuilder::km3300()
                              .modelName ("ABCDEFGHIJKLMNOP")
                              .byte16 (byte16)
                              .writeTo (dir.file ("update.bin"));

        UpdateFileInfo info;
        ASSERT_EQ (check (path, info), 0) << (int) byte16;
        EXPECT_EQ (nameOf (info), std::string ("ABCDEFGHIJKLMNOP") + '\0') << (int) byte16;
        EXPECT_EQ (info.modelNumber, 0x41) << "byte 17 is the model number";
    }
}

TEST_F (UpdateFileInfoTest, LegacyImageTakesItsModelFromItsFileName)
{
    const struct
    {
        const char* fileName;
        int result;
        const char* modelName;
        int modelNumber;
        int productId;
    } cases[] = {
        { "KM3300_release.bin", 0, "QM-KM3300", 0x41, 0x6102 },
        { "km3300_release.BIN", 0, "QM-KM3300", 0x41, 0x6102 },
        { "KM3300_.bin", 0, "QM-KM3300", 0x41, 0x6102 },
        { "KM3800_v2.bin", 0, "QM-KM3800", 0x42, 0x6109 },
        { "kM3800_V2.bIn", 0, "QM-KM3800", 0x42, 0x6109 },
        { "km3300_release.bin.old", 5, nullptr, 0, 0 },
        { "release.bin", 5, nullptr, 0, 0 },
        { "KM3300release.bin", 5, nullptr, 0, 0 },
        { "KM3300_release", 5, nullptr, 0, 0 },
        { "x_KM3300_release.bin", 5, nullptr, 0, 0 },
        { "KM3500_release.bin", 5, nullptr, 0, 0 },
    };

    const auto image = UpdateFileBuilder::legacy (0x0123);

    for (const auto& c : cases)
    {
        UpdateFileInfo info;
        const int result = check (image.writeTo (dir.file (c.fileName)), info);
        EXPECT_EQ (result, c.result) << c.fileName;
        if (result != 0 || c.result != 0)
            continue;

        EXPECT_EQ (nameOf (info), paddedName (c.modelName)) << c.fileName;
        EXPECT_EQ (info.modelNumber, c.modelNumber) << c.fileName;
        EXPECT_EQ (info.productId, c.productId) << c.fileName;
        EXPECT_EQ (info.vendorId, 0x7A3C) << c.fileName;
        // The trailer's own size field reads 0xFFFFFFFF; it is not used.
        EXPECT_EQ (info.fileSize, 0x80000u) << c.fileName;
        EXPECT_EQ (info.firmwareVersion, 0x0123) << c.fileName;
    }
}

TEST_F (UpdateFileInfoTest, LegacyImageStillNeedsItsCrc)
{
    const auto image = UpdateFileBuilder::legacy (0x0123).wrongCrc();

    for (const char* fileName : { "KM3300_release.bin", "KM3800_release.bin", "release.bin" })
        EXPECT_EQ (check (image.writeTo (dir.file (fileName))), 3) << fileName;
}

TEST_F (UpdateFileInfoTest, ErasedNameOutsideTheLegacyLengthIsTheCurrentForm)
{
    const std::string erased (16, '\xFF');
    const auto file = UpdateFileBuilder::km3800().imageSize (1000).modelName (erased);

    UpdateFileInfo info;
    ASSERT_EQ (check (file.writeTo (dir.file ("KM3300_release.bin")), info), 0);
    EXPECT_EQ (nameOf (info), erased + '\0');
    EXPECT_EQ (info.productId, 0x6109);
    EXPECT_EQ (info.modelNumber, 0x42);

    // So its length must be the one its trailer states.
    EXPECT_EQ (check (UpdateFileBuilder (file).trailerFileSize (0x80000).writeTo (dir.file ("KM3300_a.bin"))),
               2);
}

TEST_F (UpdateFileInfoTest, LegacyLengthWithANamedTrailerIsTheCurrentForm)
{
    // 0x80000 bytes, but one name byte is not 0xFF.
    const auto path = UpdateFileBuilder::km3300()
                          .imageSize (0x80000 - 32)
                          .modelName (std::string (15, '\xFF') + "A")
                          .firmwareVersion (0x0777)
                          .writeTo (dir.file ("release.bin"));

    UpdateFileInfo info;
    ASSERT_EQ (check (path, info), 0);
    EXPECT_EQ (info.firmwareVersion, 0x0777);
    EXPECT_EQ (info.productId, 0x6102);
}

TEST_F (UpdateFileInfoTest, WhatIsNotAReadableFileCannotBeOpened)
{
    const auto subdirectory = dir.file ("folder.bin");
    ASSERT_TRUE (std::filesystem::create_directory (subdirectory));

    EXPECT_EQ (check (dir.file ("missing.bin")), 1);
    EXPECT_EQ (check (subdirectory), 1);
}

TEST_F (UpdateFileInfoTest, FileOf4GiBOrMoreIsRefusedBySize)
{
    // A valid all-trailer file at the start of a sparse file of 2^32 + 32
    // bytes: a length cut to 32 bits would read as exactly that file.
    const auto path = UpdateFileBuilder::km3300().imageSize (0).writeTo (dir.file ("huge.bin"));
    ASSERT_EQ (check (path), 0);

    std::error_code error;
    std::filesystem::resize_file (path, 0x100000020ULL, error);
    const long long allocated = allocatedBytes (path);
    if (error || allocated < 0 || allocated > 64LL * 1024 * 1024)
    {
        std::filesystem::remove (path, error);
        GTEST_SKIP() << "the temporary file system makes no sparse files";
    }

    EXPECT_EQ (check (path), 2);
}
