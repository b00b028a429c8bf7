#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The progress bar's look: JUCE's classic one, except that a bar at 1.0 is
    drawn full.  JUCE 7 draws its busy stripes for any value outside 0 to
    just below 1, so a completed load (and the bar under the marquee) would
    look as if something were still running. */
class ProgressBarLook : public juce::LookAndFeel_V2
{
public:
    void drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height, double progress,
                          const juce::String& textToShow) override;
};
