#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The busy indicator laid over the progress bar while a controller executes
    an update, when there is no progress to measure: a short comet of white
    blocks, fading from head to tail, that sweeps left to right one pixel every
    10 ms, over and over.  At rest it shows no comet. */
class Marquee : public juce::Component, public juce::Timer
{
public:
    Marquee();
    ~Marquee() override;

    /** Starts the sweep from the left edge; does nothing while it sweeps. */
    void startMarquee();

    /** Stops the sweep and clears the comet; does nothing at rest. */
    void stopMarquee();

    /** The alpha of comet block index (0 is the head): 0.9 for the head, 0.1
        less for each block behind it. */
    float getGradationValue (short index) const;

    void paint (juce::Graphics& g) override;
    void timerCallback() override;

private:
    juce::int16 position; ///< x of the head block; 0 at rest
    juce::int16 blockY;
    juce::int16 blockHeight;
    juce::int16 blockWidth;
    bool running;

    JUCE_DECLARE_NON_COPYABLE (Marquee)
};
