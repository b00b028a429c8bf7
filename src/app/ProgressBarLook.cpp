#include "ProgressBarLook.h"

#include <cmath>

void ProgressBarLook::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                       double progress, const juce::String& textToShow)
{
    // The largest value below 1.0 fills the whole width to the pixel; only a
    // negative value, JUCE's "busy" request, keeps the stripes.
    if (progress >= 1.0)
        progress = std::nextafter (1.0, 0.0);
    juce::LookAndFeel_V2::drawProgressBar (g, bar, width, height, progress, textToShow);
}
