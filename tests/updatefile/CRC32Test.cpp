// The CRC-32 calculator that checks update files.

#include <CRC32.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
juce::uint32 crcOf (const std::string& text)
{
    return CRC32().calc (text.data(), (int) text.size()).get();
}

std::vector<char> patternOf (int n)
{
    std::vector<char> bytes ((size_t) n);
    for (int i = 0; i < n; ++i)
        bytes[(size_t) i] = (char) (i * 31 + 7);
    return bytes;
}

/** A stream whose reads fail: it never gives a byte yet never says it is exhausted. */
class FailingStream : public juce::InputStream
{
public:
    juce::int64 getTotalLength() override { return 100; }
    bool isExhausted() override { return false; }
    int read (void*, int) override
    {
        ++reads;
        return 0;
    }
    juce::int64 getPosition() override { return 0; }
    bool setPosition (juce::int64) override { return false; }

    int reads = 0;
};
} // namespace

TEST (CRC32, TableIsThatOfTheReflectedPolynomial)
{
    for (juce::uint32 i = 0; i < 256; ++i)
    {
        juce::uint32 entry = i;
        for (int step = 0; step < 8; ++step)
            entry = (entry & 1) != 0 ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
        EXPECT_EQ (crctable[i], entry) << i;
    }
}

TEST (CRC32, GivesTheStandardCheckValues)
{
    const struct
    {
        std::string text;
        juce::uint32 crc;
    } cases[] = {
        { "", 0x00000000 },
        { "a", 0xE8B7BE43 },
        { "123456789", 0xCBF43926 },
        { "The quick brown fox jumps over the lazy dog", 0x414FA339 },
        { std::string (4, '\0'), 0x2144DF1C },
        { std::string (32, '\xFF'), 0xFF6CAB0B },
    };

    for (const auto& c : cases)
        EXPECT_EQ (crcOf (c.text), c.crc) << c.text;
}

TEST (CRC32, ChunksChainToTheCrcOfTheWhole)
{
    CRC32 crc;
    CRC32& chained = crc.calc ("1234", 4).calc ("", 0).calc ("5", 1).calc ("6789", 4);

    EXPECT_EQ (&chained, &crc);
    EXPECT_EQ (crc.get(), 0xCBF43926u);
    EXPECT_EQ (crc.get(), 0xCBF43926u) << "get must leave the register alone";

    EXPECT_EQ (&crc.reset(), &crc);
    EXPECT_EQ (crc.get(), 0u);
    EXPECT_EQ (crc.calc ("123456789", 9).get(), 0xCBF43926u);
}

TEST (CRC32, NoBytesForACountOfZeroOrLess)
{
    const char data[] = "123456789";
    EXPECT_EQ (CRC32().calc (data, 0).get(), 0u);
    EXPECT_EQ (CRC32().calc (data, -3).get(), 0u);
}

TEST (CRC32, ValuesAreFedInMemoryOrder)
{
    // Little-endian targets: the least significant byte lies first.
    EXPECT_EQ (CRC32().calc ((char) '1').get(), crcOf ("1"));
    EXPECT_EQ (CRC32().calc ((short) 0x3231).get(), crcOf ("12"));
    EXPECT_EQ (CRC32().calc ((long) 0x34333231).get(), crcOf ("1234"));
    EXPECT_EQ (CRC32().calc ((char) '1').calc ((short) 0x3332).calc ((long) 0x37363534).get(),
               crcOf ("1234567"));
}

TEST (CRC32, StreamFeedsUpToNBytesFromItsPosition)
{
    const auto data = patternOf (5000);
    const auto memoryCrc = [&data] (int from, int count)
    { return CRC32().calc (&data[(size_t) from], count).get(); };

    const struct
    {
        int from;
        int n;
        int fed;
    } cases[] = {
        { 0, 5000, 5000 },                                            // several buffers, the last one partial
        { 0, 1024, 1024 },                                            // exactly one buffer
        { 0, 1025, 1025 }, { 100, 2000, 2000 }, { 4000, 5000, 1000 }, // the stream runs out first
        { 0, 0, 0 },       { 5000, 10, 0 },
    };

    for (const auto& c : cases)
    {
        juce::MemoryInputStream in (data.data(), data.size(), false);
        in.setPosition (c.from);

        CRC32 crc;
        EXPECT_EQ (&crc.calc (&in, c.n), &crc);
        EXPECT_EQ (crc.get(), memoryCrc (c.from, c.fed)) << c.from << " " << c.n;
        EXPECT_EQ (in.getPosition(), c.from + c.fed);
    }
}

TEST (CRC32, NegativeStreamCountFeedsNothingAndIsFlaggedOnMacOnly)
{
    const auto data = patternOf (100);
    juce::MemoryInputStream in (data.data(), data.size(), false);

    ulktest::ExpectJuceAssertions assertions;
    EXPECT_EQ (CRC32().calc (&in, -1).get(), 0u);
    EXPECT_EQ (in.getPosition(), 0);
    EXPECT_EQ (assertions.count(), ulktest::isMacFlavour() ? 1 : 0);
}

TEST (CRC32, StreamThatStopsGivingBytesEndsTheFeed)
{
    FailingStream in;
    EXPECT_EQ (CRC32().calc (&in, 100).get(), 0u);
    EXPECT_EQ (in.reads, 1);
}
