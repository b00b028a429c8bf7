// The embedded pictures: complete PNG files of the sizes the window needs,
// and a background whose layout matches where the children are placed.

#include <ConnectionIcon.h>
#include <UlkImages.h>

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
struct Picture
{
    const char* name;
    const char* bytes;
    int size;
    int width;
    int height;
};

const Picture pictures[] = {
    { "background", ulkimages::upgradeprogram_png, ulkimages::upgradeprogram_pngSize, 450, 402 },
    { "connected", ulkimages::connected_png, ulkimages::connected_pngSize, 109, 83 },
    { "disconnected", ulkimages::disconnected_png, ulkimages::disconnected_pngSize, 109, 83 },
};

juce::uint32 bigEndian32 (const char* p)
{
    const auto* b = reinterpret_cast<const juce::uint8*> (p);
    return ((juce::uint32) b[0] << 24) | ((juce::uint32) b[1] << 16) | ((juce::uint32) b[2] << 8) | b[3];
}

/** Walks the PNG chunks; success when the file ends exactly after IEND. */
testing::AssertionResult chunksEndWithIend (const char* bytes, int size)
{
    int offset = 8;
    while (offset + 12 <= size)
    {
        const auto length = bigEndian32 (bytes + offset);
        const bool isEnd = std::memcmp (bytes + offset + 4, "IEND", 4) == 0;
        offset += 12 + (int) length;
        if (isEnd)
            return offset == size
                       ? testing::AssertionSuccess()
                       : testing::AssertionFailure() << "IEND ends at " << offset << " of " << size;
    }
    return testing::AssertionFailure() << "no IEND chunk within " << size << " bytes";
}

int luminance (juce::Colour c)
{
    return (c.getRed() * 30 + c.getGreen() * 59 + c.getBlue() * 11) / 100;
}
} // namespace

TEST (EmbeddedPictures, AreWholeNonInterlacedRgbPngsOfTheirSizes)
{
    for (const auto& picture : pictures)
    {
        SCOPED_TRACE (picture.name);
        ASSERT_GT (picture.size, 8 + 25 + 12);

        EXPECT_EQ (std::memcmp (picture.bytes, "\x89PNG\r\n\x1a\n", 8), 0) << "signature";
        const char* header = picture.bytes + 8;
        EXPECT_EQ (std::memcmp (header + 4, "IHDR", 4), 0);
        EXPECT_EQ (bigEndian32 (header + 8), (juce::uint32) picture.width);
        EXPECT_EQ (bigEndian32 (header + 12), (juce::uint32) picture.height);
        EXPECT_EQ (header[16], 8) << "bit depth";
        EXPECT_EQ (header[17], 2) << "colour type: RGB, no alpha";
        EXPECT_EQ (header[20], 0) << "interlace";
        EXPECT_TRUE (chunksEndWithIend (picture.bytes, picture.size));

        const auto image = juce::ImageFileFormat::loadFrom (picture.bytes, (size_t) picture.size);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), picture.width);
        EXPECT_EQ (image.getHeight(), picture.height);
        EXPECT_FALSE (image.hasAlphaChannel());
    }
}

TEST (EmbeddedPictures, TheIconsMembersAreTheEmbeddedConnectionPictures)
{
    EXPECT_EQ (ConnectionIcon::connected_png, ulkimages::connected_png);
    EXPECT_EQ (ConnectionIcon::connected_pngSize, ulkimages::connected_pngSize);
    EXPECT_EQ (ConnectionIcon::disconnected_png, ulkimages::disconnected_png);
    EXPECT_EQ (ConnectionIcon::disconnected_pngSize, ulkimages::disconnected_pngSize);
}

TEST (EmbeddedPictures, BackgroundHasItsDarkFrameLightPanelAndRule)
{
    const auto background = juce::ImageFileFormat::loadFrom (ulkimages::upgradeprogram_png,
                                                             (size_t) ulkimages::upgradeprogram_pngSize);
    ASSERT_TRUE (background.isValid());

    const struct
    {
        const char* what;
        int x, y;
        bool light;
    } samples[] = {
        { "header band", 200, 20, false },
        { "header band, bottom", 200, 85, false },
        { "caption box", 236 + 8, 56, true },
        { "surround under the band", 200, 96, false },
        { "surround left", 8, 250, false },
        { "surround right", 442, 250, false },
        { "surround bottom", 225, 395, false },
        { "panel, top left", 26, 109, true },
        { "panel, bottom right", 426, 381, true },
        { "panel under the device panel", 150, 200, true },
        { "panel under the icon", 360, 190, true },
        { "panel under the file panel", 300, 280, true },
        { "panel under the progress bar", 380, 330, true },
        { "device tab", 32, 125, false },
        { "file tab", 32, 237, false },
    };

    for (const auto& s : samples)
    {
        const int level = luminance (background.getPixelAt (s.x, s.y));
        if (s.light)
            EXPECT_GT (level, 170) << s.what << " at " << s.x << ", " << s.y;
        else
            EXPECT_LT (level, 100) << s.what << " at " << s.x << ", " << s.y;
    }

    // The rule between the sections is darker than the panel on either side.
    for (const int x : { 33, 200, 418 })
    {
        const int rule = luminance (background.getPixelAt (x, 220));
        EXPECT_LT (rule + 30, luminance (background.getPixelAt (x, 218))) << "x " << x;
        EXPECT_LT (rule + 30, luminance (background.getPixelAt (x, 222))) << "x " << x;
    }
}
