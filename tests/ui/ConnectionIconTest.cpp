// The connection icon: the picture it shows follows its enablement.

#include <ConnectionIcon.h>

#include "UiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
const juce::Colour ground (0xff10e0a0);

// Where the main window places the icon.
const juce::Rectangle<int> iconPlace (300, 120, 127, 129);

/** A picture decoded on its own, not through the image cache. */
juce::Image decode (const char* bytes, int size)
{
    return juce::ImageFileFormat::loadFrom (bytes, (size_t) size);
}

/** The ground of a main-window-sized parent with picture drawn unscaled at
    the icon's top-left corner and nothing else of the icon's area painted. */
juce::Image expectedWindow (const juce::Image& picture)
{
    juce::Image image (juce::Image::RGB, 450, 402, false);
    juce::Graphics g (image);
    g.fillAll (ground);
    g.drawImageAt (picture, iconPlace.getX(), iconPlace.getY());
    return image;
}

struct IconInWindow
{
    juce::Component parent;
    ConnectionIcon icon;

    IconInWindow()
    {
        parent.setSize (450, 402);
        parent.addAndMakeVisible (icon);
        icon.setBounds (iconPlace);
    }

    juce::Image paint() { return uitest::paintToImage (parent, ground); }
};
} // namespace

TEST (ConnectionIcon, ShowsTheConnectedPictureWhenEnabledAndTheDisconnectedOneWhenDisabled)
{
    const auto connected = decode (ConnectionIcon::connected_png, ConnectionIcon::connected_pngSize);
    const auto disconnected = decode (ConnectionIcon::disconnected_png, ConnectionIcon::disconnected_pngSize);
    ASSERT_TRUE (connected.isValid());
    ASSERT_TRUE (disconnected.isValid());
    ASSERT_FALSE (uitest::samePixels (connected, disconnected)) << "the two pictures must differ";

    IconInWindow window;
    EXPECT_TRUE (window.icon.isEnabled());
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedWindow (connected))) << "enabled at first";

    const struct
    {
        bool enabled;
        const juce::Image& picture;
    } steps[] = { { false, disconnected }, { true, connected }, { false, disconnected } };

    for (const auto& step : steps)
    {
        window.icon.setEnabled (step.enabled);
        EXPECT_TRUE (uitest::samePixels (window.paint(), expectedWindow (step.picture)))
            << (step.enabled ? "enabled" : "disabled");
    }
}

TEST (ConnectionIcon, RepaintsWheneverItsEnablementChanges)
{
    IconInWindow window;
    uitest::RepaintCount repaints;
    uitest::CountingCache::attach (window.icon, repaints);

    const struct
    {
        bool enabled;
        int wholeRepaints;
    } steps[] = { { false, 1 }, { false, 1 }, { true, 2 }, { true, 2 }, { false, 3 } };

    for (const auto& step : steps)
    {
        window.icon.setEnabled (step.enabled);
        EXPECT_EQ (repaints.whole, step.wholeRepaints) << "after setEnabled (" << step.enabled << ")";
    }
    EXPECT_EQ (repaints.parts, 0);
}

TEST (ConnectionIcon, StartsAt600By400UntilItIsPlaced)
{
    ConnectionIcon icon;
    EXPECT_EQ (icon.getBounds(), juce::Rectangle<int> (0, 0, 600, 400));
}
