// The progress bar's look: full and still at 1.0, where JUCE 7's own look
// draws its moving busy stripes.

#include "UiTestSupport.h"

#include <ProgressBarLook.h>

#include <gtest/gtest.h>

namespace
{
const juce::Colour background = juce::Colours::white;
const juce::Colour foreground (0xffb0c4a3);

/** A bar of the main window's size and colours, showing value. */
struct Bar
{
    explicit Bar (double shown, juce::LookAndFeel* look)
        : value (shown)
        , bar (value)
    {
        bar.setLookAndFeel (look);
        bar.setColour (juce::ProgressBar::backgroundColourId, background);
        bar.setColour (juce::ProgressBar::foregroundColourId, foreground);
        bar.setBounds (0, 0, 382, 24);
    }

    ~Bar() { bar.setLookAndFeel (nullptr); }

    double value;
    juce::ProgressBar bar;
};

TEST (ProgressBarLook, AtOneTheBarIsFullAndStillWithOrWithoutItsPercentage)
{
    ProgressBarLook look;
    for (bool percentage : { true, false })
    {
        Bar b (1.0, &look);
        b.bar.setPercentageDisplay (percentage);
        EXPECT_TRUE (uitest::isFullStillBar (b.bar, background)) << "percentage " << percentage;
    }
}

TEST (ProgressBarLook, BelowOneItDrawsAsJucesClassicLook)
{
    ProgressBarLook look;
    juce::LookAndFeel_V2 classic;
    for (double value : { 0.0, 0.25, 0.5, 0.999 })
    {
        Bar ours (value, &look);
        Bar theirs (value, &classic);
        EXPECT_TRUE (uitest::samePixels (uitest::paintToImage (ours.bar, juce::Colours::black),
                                         uitest::paintToImage (theirs.bar, juce::Colours::black)))
            << "value " << value;
    }

    // Half a bar leaves its right half to the background.
    Bar half (0.5, &look);
    half.bar.setPercentageDisplay (false);
    const auto image = uitest::paintToImage (half.bar, juce::Colours::black);
    EXPECT_EQ (image.getPixelAt (300, 12), background);
    EXPECT_NE (image.getPixelAt (80, 12), background);
}

TEST (ProgressBarLook, JucesClassicLookWouldShowStripesAtOne)
{
    // What the look mends: without it the check above fails.
    juce::LookAndFeel_V2 classic;
    Bar b (1.0, &classic);
    EXPECT_FALSE (uitest::isFullStillBar (b.bar, background));
}
} // namespace
