// The texts of the information panels.

#include <LabelFormat.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <type_traits>

namespace
{
template <typename T, typename = void>
struct HasHexFormat : std::false_type
{
};

template <typename T>
struct HasHexFormat<T, std::void_t<decltype (T::toHexFormat ((juce::uint8) 0))>> : std::true_type
{
};

template <typename T, typename = void>
struct HasSizeFormat : std::false_type
{
};

template <typename T>
struct HasSizeFormat<T, std::void_t<decltype (T::toHumanReadableSizeString ((juce::uint32) 0))>>
    : std::true_type
{
};
} // namespace

TEST (LabelFormat, VersionShowsFourHexDigitsWithAPointAfterTheFirst)
{
    const struct
    {
        juce::uint16 version;
        const char* text;
    } cases[] = {
        { 0x1000, "Ver. 1.000" }, { 0x0102, "Ver. 0.102" }, { 0xABCD, "Ver. a.bcd" },
        { 0x0000, "Ver. 0.000" }, { 0xFFFF, "Ver. f.fff" }, { 0x2C0F, "Ver. 2.c0f" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (LabelFormat::toVersionString (c.version), juce::String (c.text)) << c.version;
}

TEST (LabelFormat, UnitNumbersCountFromOneAndTheLastShowsAsZero)
{
    const struct
    {
        juce::uint8 unit;
        const char* text;
    } cases[] = { { 0, "1" }, { 1, "2" }, { 9, "10" }, { 14, "15" }, { 15, "0" } };

    // Outside an ExpectJuceAssertions, any assertion here fails the test.
    for (const auto& c : cases)
        EXPECT_EQ (LabelFormat::toUnitNumberString (c.unit), juce::String (c.text)) << (int) c.unit;
}

TEST (LabelFormat, UnitNumberAbove15IsFlaggedOnMacOnlyAndStillShown)
{
    const struct
    {
        juce::uint8 unit;
        const char* text;
    } cases[] = { { 16, "17" }, { 255, "256" } };

    for (const auto& c : cases)
    {
        ulktest::ExpectJuceAssertions assertions;
        EXPECT_EQ (LabelFormat::toUnitNumberString (c.unit), juce::String (c.text));
        EXPECT_EQ (assertions.count(), ulktest::isMacFlavour() ? 1 : 0) << (int) c.unit;
    }
}

TEST (LabelFormat, OnlyMode2IsUpdateMode)
{
    EXPECT_EQ (LabelFormat::toDeviceModeString (2), juce::String ("Update Mode"));

    for (juce::uint8 mode : { 0, 1, 3, 255 })
        EXPECT_EQ (LabelFormat::toDeviceModeString (mode), juce::String ("Not Update Mode")) << (int) mode;
}

TEST (LabelFormat, HexAndSizeTextsExistInTheMacFlavourOnly)
{
    EXPECT_EQ (HasHexFormat<LabelFormat>::value, ulktest::isMacFlavour());
    EXPECT_EQ (HasSizeFormat<LabelFormat>::value, ulktest::isMacFlavour());
}

#if QMHID_MAC_FLAVOUR
TEST (LabelFormat, HexIsPaddedToTheWidthOfTheType)
{
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint8) 0x0A), juce::String ("0x0a"));
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint8) 0xFF), juce::String ("0xff"));
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint16) 0x1A2B), juce::String ("0x1a2b"));
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint16) 0x000C), juce::String ("0x000c"));
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint32) 255), juce::String ("0x000000ff"));
    EXPECT_EQ (LabelFormat::toHexFormat ((juce::uint32) 0xDEADBEEF), juce::String ("0xdeadbeef"));
}

TEST (LabelFormat, SizeUsesTheLargestUnitItReachesRoundedDown)
{
    const struct
    {
        juce::uint32 bytes;
        const char* text;
    } cases[] = {
        { 0, "0 B" },           { 1023, "1023 B" },  { 1024, "1 KB" },          { 1535, "1 KB" },
        { 1048575, "1023 KB" }, { 1048576, "1 MB" }, { 1073741823, "1023 MB" }, { 0x40000000, "1 GB" },
        { 0xFFFFFFFF, "3 GB" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (LabelFormat::toHumanReadableSizeString (c.bytes), juce::String (c.text)) << c.bytes;
}
#endif
