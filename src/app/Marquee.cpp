#include "Marquee.h"

namespace
{
constexpr int tickMs = 10;
constexpr int startBlockWidth = 2;
constexpr int sweepBlockWidth = 5;
constexpr int cometBlocks = 9;
constexpr int blockSpacing = 2;
} // namespace

Marquee::Marquee()
    : position (0)
    , blockY (0)
    , blockHeight (0)
    , blockWidth (0)
    , running (false)
{
}

Marquee::~Marquee()
{
    // Stop before the Timer and Component parts go.
    stopMarquee();
}

void Marquee::startMarquee()
{
    if (running)
        return;

    const auto r = getBounds();
    position = 2;
    blockY = 1;
    blockWidth = startBlockWidth;
    blockHeight = (juce::int16) (r.getHeight() - 2);

    repaint();
    startTimer (tickMs);
    running = true;
}

void Marquee::stopMarquee()
{
    if (!running)
        return;

    position = 0;
    blockY = 0;
    blockWidth = 0;
    blockHeight = 0;

    repaint();
    stopTimer();
    running = false;
}

float Marquee::getGradationValue (short index) const
{
    // Worked in double from the float 0.9, so the values are the nearest
    // floats to 0.9f - 0.1 i (0.49999997 rather than 0.5 for block 4).
    return (float) (0.9f - 0.1 * index);
}

void Marquee::timerCallback()
{
    const auto r = getBounds();

    position = (juce::int16) (position + 1);
    if (position > r.getWidth())
        position = 1;

    // The height is read on every tick: a resized marquee's blocks follow from the next one.
    blockY = 1;
    blockWidth = sweepBlockWidth;
    blockHeight = (juce::int16) (r.getHeight() - 2);

    repaint();
}

void Marquee::paint (juce::Graphics& g)
{
    // The frame is drawn at the marquee's place in its parent while the
    // context is the marquee's own, so away from the parent's origin it falls
    // outside the clip: over the progress bar only the comet shows.
    const auto r = getBounds();

    g.setColour (juce::Colours::white);
    g.fillRect (r);

    g.setColour (juce::Colours::grey);
    g.fillRect (r.getX() + 1, r.getY() + 1, r.getWidth() - 2, r.getHeight() - 2);

    if (position == 0)
        return;

    // Each fainter block goes over the one before it; a block that would start
    // left of x 2 is left out, so the comet grows out of the left edge.
    for (short i = 0; i < cometBlocks; ++i)
    {
        if (position >= blockSpacing * i + 2)
        {
            g.setColour (juce::Colours::white.withAlpha (getGradationValue (i)));
            g.fillRect (position - blockSpacing * i, (int) blockY, (int) blockWidth, (int) blockHeight);
        }
    }
}
