#pragma once

// Helpers of the component tests: counting repaints and painting a component
// tree into an image, all without a window.

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cstdlib>
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
/** Success when the painted progress bar is one still, full bar: its middle
    row, left and right of the percentage text, is one colour that is not the
    background, and a second paint a moment later gives the same pixels (the
    busy stripes move with the clock). */
inline testing::AssertionResult isFullStillBar (juce::Component& bar, juce::Colour background)
{
    const auto first = paintToImage (bar, juce::Colours::black);
    juce::Thread::sleep (40);
    const auto second = paintToImage (bar, juce::Colours::black);
    if (auto same = samePixels (second, first); !same)
        return testing::AssertionFailure() << "the bar moves: " << same.message();

    const int w = first.getWidth();
    const int y = first.getHeight() / 2;
    const auto fill = first.getPixelAt (2, y);
    if (fill == background)
        return testing::AssertionFailure() << "the bar's left end shows the background";
    for (int x = 2; x < w - 2; ++x)
    {
        if (std::abs (x - w / 2) < 40)
            continue;
        if (first.getPixelAt (x, y) != fill)
            return testing::AssertionFailure()
                   << "pixel " << x << ", " << y << " is " << first.getPixelAt (x, y).toDisplayString (false)
                   << ", the bar's left end " << fill.toDisplayString (false);
    }
    return testing::AssertionSuccess();
}
} // namespace uitest
