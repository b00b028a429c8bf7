#pragma once

// Helpers of the component tests: counting repaints and painting a component
// tree into an image, all without a window.

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <string>

namespace uitest
{
/** How often a component asked to be repainted. */
struct RepaintCount
{
    int whole = 0; ///< repaint() of the whole component
    int parts = 0; ///< repaint of an area
};

/** Counts a component's repaint requests: JUCE hands every repaint of a
    visible component to its cached image first.  Painting goes straight to
    the component, so a counted component still paints as usual. */
class CountingCache : public juce::CachedComponentImage
{
public:
    CountingCache (juce::Component& c, RepaintCount& n)
        : component (c)
        , count (n)
    {
    }

    /** Puts a new counter on c (which owns it), visible so that repaints count. */
    static void attach (juce::Component& c, RepaintCount& n)
    {
        c.setVisible (true);
        c.setCachedComponentImage (new CountingCache (c, n));
        n = RepaintCount();
    }

    void paint (juce::Graphics& g) override { component.paintEntireComponent (g, false); }

    bool invalidateAll() override
    {
        ++count.whole;
        return true;
    }

    bool invalidate (const juce::Rectangle<int>&) override
    {
        ++count.parts;
        return true;
    }

    void releaseResources() override {}

private:
    juce::Component& component;
    RepaintCount& count;
};

/** The component and its visible children painted into an RGB image of its
    size, first filled with ground. */
inline juce::Image paintToImage (juce::Component& component, juce::Colour ground)
{
    juce::Image image (juce::Image::RGB, component.getWidth(), component.getHeight(), false);
    juce::Graphics g (image);
    g.fillAll (ground);
    component.paintEntireComponent (g, false);
    return image;
}

/** Success when both images have the same size and pixels; otherwise the first
    pixel that differs. */
inline testing::AssertionResult samePixels (const juce::Image& actual, const juce::Image& expected)
{
    if (actual.getBounds() != expected.getBounds())
        return testing::AssertionFailure()
               << "size " << actual.getWidth() << " x " << actual.getHeight() << ", expected "
               << expected.getWidth() << " x " << expected.getHeight();

    const juce::Image::BitmapData actualPixels (actual, juce::Image::BitmapData::readOnly);
    const juce::Image::BitmapData expectedPixels (expected, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < actual.getHeight(); ++y)
        for (int x = 0; x < actual.getWidth(); ++x)
        {
            const auto a = actualPixels.getPixelColour (x, y);
            const auto e = expectedPixels.getPixelColour (x, y);
            if (a != e)
                return testing::AssertionFailure()
                       << "pixel " << x << ", " << y << " is " << a.toDisplayString (false) << ", expected "
                       << e.toDisplayString (false);
        }

    return testing::AssertionSuccess();
}
} // namespace uitest
