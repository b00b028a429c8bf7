// The busy indicator: its sweep, its comet and what of it shows where.

#include <Marquee.h>

#include "UiTestSupport.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
// The nine alphas of the comet, head first: the floats nearest to 0.9f - 0.1 i
// worked in double.  Block 4 is just under 0.5, which paints as alpha 127,
// where 0.5 would paint as 128.
const float cometAlphas[9] = { 0x1.ccccccp-1f, 0x1.999998p-1f, 0x1.666666p-1f, 0x1.333332p-1f, 0x1.fffffep-2f,
                               0x1.999998p-2f, 0x1.333332p-2f, 0x1.999996p-3f, 0x1.999994p-4f };

const juce::Colour ground (0xff204060);

const juce::Rectangle<int> mainWindowPlace (38, 320, 382, 24);

/** One comet block as it should be painted: its left edge in the marquee's
    own pixels and its place in the comet (0 the head). */
struct Block
{
    int x;
    int index;
};

/** The marquee in a parent the size of the main window. */
struct MarqueeInWindow
{
    juce::Component parent;
    Marquee marquee;

    explicit MarqueeInWindow (juce::Rectangle<int> place)
    {
        parent.setSize (450, 402);
        parent.addAndMakeVisible (marquee);
        marquee.setBounds (place);
    }

    void tick (int count)
    {
        for (int i = 0; i < count; ++i)
            marquee.timerCallback();
    }

    juce::Image paint() { return uitest::paintToImage (parent, ground); }
};

/** What the parent should show: the ground, and within the marquee's place
    its white frame and grey body, which it draws at its place in the parent
    but in its own pixels (so shifted by its own offset and cut by its own
    area), then the blocks in order, each over the ones before it. */
juce::Image expectedImage (juce::Rectangle<int> place, int blockWidth, int blockHeight,
                           const std::vector<Block>& blocks)
{
    juce::Image image (juce::Image::RGB, 450, 402, false);
    juce::Graphics g (image);
    g.fillAll (ground);
    g.reduceClipRegion (place);

    const auto frame = place + place.getPosition();
    g.setColour (juce::Colours::white);
    g.fillRect (frame);
    g.setColour (juce::Colours::grey);
    g.fillRect (frame.reduced (1));

    for (const auto& block : blocks)
    {
        g.setColour (juce::Colours::white.withAlpha (cometAlphas[block.index]));
        g.fillRect (place.getX() + block.x, place.getY() + 1, blockWidth, blockHeight);
    }
    return image;
}

/** The full comet with its head at x: nine blocks 2 pixels apart. */
std::vector<Block> fullComet (int x)
{
    std::vector<Block> blocks;
    for (int i = 0; i < 9; ++i)
        blocks.push_back ({ x - 2 * i, i });
    return blocks;
}

std::string describe (juce::Rectangle<int> place)
{
    return "marquee at " + place.toString().toStdString();
}
} // namespace

TEST (Marquee, GradationFadesFromPoint9ByPoint1PerBlockInExactFloats)
{
    Marquee marquee;
    for (short i = 0; i < 9; ++i)
        EXPECT_EQ (marquee.getGradationValue (i), cometAlphas[i]) << "block " << i;
}

TEST (Marquee, CometGrowsFromTheLeftEdgeAndSweepsOnePixelATick)
{
    const struct
    {
        int ticks;
        int blockWidth;
        std::vector<Block> blocks;
    } cases[] = {
        // Right after the start: one 2-pixel block at x 2.
        { 0, 2, { { 2, 0 } } },
        // From the first tick on the blocks are 5 pixels wide.
        { 1, 5, { { 3, 0 } } },
        { 2, 5, { { 4, 0 }, { 2, 1 } } },
        { 3, 5, { { 5, 0 }, { 3, 1 } } },
        { 4, 5, { { 6, 0 }, { 4, 1 }, { 2, 2 } } },
        { 15, 5, { { 17, 0 }, { 15, 1 }, { 13, 2 }, { 11, 3 }, { 9, 4 }, { 7, 5 }, { 5, 6 }, { 3, 7 } } },
        { 16, 5, fullComet (18) },
        { 17, 5, fullComet (19) },
        { 200, 5, fullComet (202) },
        // The head at the right edge lies outside; the rest is cut there.
        { 379, 5, fullComet (381) },
        { 380, 5, fullComet (382) },
        // Past the width the head goes to 1, where nothing is drawn, then grows again.
        { 381, 5, {} },
        { 382, 5, { { 2, 0 } } },
        { 384, 5, { { 4, 0 }, { 2, 1 } } },
    };

    // At the main window's place the frame falls outside the marquee and only
    // the comet shows over the progress bar; at the parent's origin the frame
    // shows whole; in between, in part.
    const juce::Rectangle<int> places[] = { mainWindowPlace, { 0, 0, 382, 24 }, { 10, 0, 382, 24 } };

    for (const auto& place : places)
    {
        for (const auto& c : cases)
        {
            MarqueeInWindow window (place);
            window.marquee.startMarquee();
            window.tick (c.ticks);

            EXPECT_TRUE (
                uitest::samePixels (window.paint(), expectedImage (place, c.blockWidth, 22, c.blocks)))
                << describe (place) << " after " << c.ticks << " ticks";
        }
    }
}

TEST (Marquee, WrapsAtItsOwnWidth)
{
    const juce::Rectangle<int> place (0, 0, 50, 24);
    MarqueeInWindow window (place);
    window.marquee.startMarquee();

    window.tick (48);
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (place, 5, 22, fullComet (50))));

    window.tick (1);
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (place, 5, 22, {})));

    window.tick (1);
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (place, 5, 22, { { 2, 0 } })));
}

TEST (Marquee, AtRestShowsNoComet)
{
    const juce::Rectangle<int> places[] = { mainWindowPlace, { 0, 0, 382, 24 } };

    for (const auto& place : places)
    {
        MarqueeInWindow window (place);
        EXPECT_FALSE (window.marquee.isTimerRunning());
        EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (place, 0, 0, {})))
            << describe (place);

        // Stopped again after a sweep.
        window.marquee.startMarquee();
        window.tick (30);
        window.marquee.stopMarquee();
        EXPECT_FALSE (window.marquee.isTimerRunning());
        EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (place, 0, 0, {})))
            << describe (place);
    }
}

TEST (Marquee, BlocksTakeANewHeightFromTheNextTick)
{
    MarqueeInWindow window ({ 0, 0, 382, 24 });
    window.marquee.startMarquee();
    window.tick (3);

    const juce::Rectangle<int> taller (0, 0, 382, 30);
    window.marquee.setBounds (taller);
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (taller, 5, 22, { { 5, 0 }, { 3, 1 } })));

    window.tick (1);
    EXPECT_TRUE (
        uitest::samePixels (window.paint(), expectedImage (taller, 5, 28, { { 6, 0 }, { 4, 1 }, { 2, 2 } })));
}

TEST (Marquee, StartAndStopActOnlyOnAChangeOfState)
{
    MarqueeInWindow window (mainWindowPlace);
    uitest::RepaintCount repaints;
    uitest::CountingCache::attach (window.marquee, repaints);

    window.marquee.stopMarquee();
    EXPECT_EQ (repaints.whole + repaints.parts, 0) << "stop at rest";

    window.marquee.startMarquee();
    EXPECT_EQ (repaints.whole, 1) << "start";
    EXPECT_TRUE (window.marquee.isTimerRunning());
    EXPECT_EQ (window.marquee.getTimerInterval(), 10);

    window.tick (5);
    EXPECT_EQ (repaints.whole, 6) << "one whole repaint a tick";

    // A second start neither repaints nor moves the head back to the left.
    window.marquee.startMarquee();
    EXPECT_EQ (repaints.whole, 6) << "second start";
    EXPECT_TRUE (window.marquee.isTimerRunning());
    window.tick (1);
    EXPECT_TRUE (uitest::samePixels (
        window.paint(), expectedImage (mainWindowPlace, 5, 22, { { 8, 0 }, { 6, 1 }, { 4, 2 }, { 2, 3 } })));

    window.marquee.stopMarquee();
    EXPECT_EQ (repaints.whole, 8) << "stop";
    EXPECT_FALSE (window.marquee.isTimerRunning());

    window.marquee.stopMarquee();
    EXPECT_EQ (repaints.whole, 8) << "second stop";

    // A new start begins again at the left edge with a narrow block.
    window.marquee.startMarquee();
    EXPECT_EQ (repaints.whole, 9) << "restart";
    EXPECT_TRUE (uitest::samePixels (window.paint(), expectedImage (mainWindowPlace, 2, 22, { { 2, 0 } })));
    EXPECT_EQ (repaints.parts, 0);
}

TEST (Marquee, TheTimerDrivesTheSweep)
{
    MarqueeInWindow window (mainWindowPlace);
    uitest::RepaintCount repaints;
    uitest::CountingCache::attach (window.marquee, repaints);

    window.marquee.startMarquee();
    EXPECT_TRUE (ulktest::pumpUntil ([&] { return repaints.whole >= 4; }, 10000));

    window.marquee.stopMarquee();
    EXPECT_FALSE (window.marquee.isTimerRunning());
}

TEST (Marquee, DeletingASweepingMarqueeStopsItFirst)
{
    for (const bool sweeping : { true, false })
    {
        uitest::RepaintCount repaints;
        {
            auto marquee = std::make_unique<Marquee>();
            marquee->setBounds (mainWindowPlace);
            uitest::CountingCache::attach (*marquee, repaints);
            if (sweeping)
                marquee->startMarquee();
            repaints = uitest::RepaintCount();
        }
        // The stop's repaint, made while the component was still whole.
        EXPECT_EQ (repaints.whole, sweeping ? 1 : 0) << (sweeping ? "sweeping" : "at rest");
    }
}
