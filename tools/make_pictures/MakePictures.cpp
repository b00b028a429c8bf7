// Draws the window's three pictures and writes them as PNG files:
//
//     make_pictures <directory>
//
// writes upgradeprogram.png (450 x 402), connected.png and disconnected.png
// (109 x 83 each) into the directory, as 8-bit RGB without alpha.  Run it by
// hand when the artwork changes and copy the files into src/app/images.

#include <juce_graphics/juce_graphics.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

namespace
{
namespace palette
{
const juce::Colour headerTop (0xff1b2027);
const juce::Colour headerBottom (0xff0d1014);
const juce::Colour headerRule (0xff4f8fbf);
const juce::Colour surround (0xff45484d);
const juce::Colour panel (0xffc9d3de);
const juce::Colour panelEdge (0xff9aa7b5);
const juce::Colour tab (0xff343d47);
const juce::Colour tabText (0xffeef2f6);
const juce::Colour rule (0xff7d8a99);
const juce::Colour caption (0xffe4e9ef);
const juce::Colour captionText (0xff1b2027);
const juce::Colour logoRing (0xff4f8fbf);
const juce::Colour logoLight (0xffe4e9ef);
const juce::Colour cable (0xff1f5fd0);
const juce::Colour cross (0xffb0102a);
} // namespace palette

juce::Font captionFont (float height, bool bold)
{
    return juce::Font (juce::Font::getDefaultSansSerifFontName(), height,
                       bold ? juce::Font::bold : juce::Font::plain);
}

/** Our own mark for the header: a platter with its groove and a tone arm,
    beside two fader slots. */
void drawLogo (juce::Graphics& g)
{
    const juce::Point<float> centre (48.0f, 43.0f);

    g.setColour (palette::logoRing);
    g.fillEllipse (juce::Rectangle<float> (56.0f, 56.0f).withCentre (centre));
    g.setColour (palette::headerBottom);
    g.fillEllipse (juce::Rectangle<float> (46.0f, 46.0f).withCentre (centre));
    g.setColour (palette::logoLight);
    g.drawEllipse (juce::Rectangle<float> (32.0f, 32.0f).withCentre (centre), 1.5f);
    g.fillEllipse (juce::Rectangle<float> (8.0f, 8.0f).withCentre (centre));

    juce::Path arm;
    arm.startNewSubPath (78.0f, 18.0f);
    arm.lineTo (70.0f, 44.0f);
    arm.lineTo (58.0f, 52.0f);
    g.strokePath (arm,
                  juce::PathStrokeType (2.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));

    for (int i = 0; i < 2; ++i)
    {
        const float x = 96.0f + 14.0f * (float) i;
        g.setColour (palette::logoRing.withAlpha (0.6f));
        g.fillRoundedRectangle (x, 18.0f, 4.0f, 50.0f, 2.0f);
        g.setColour (palette::logoLight);
        g.fillRoundedRectangle (x - 4.0f, i == 0 ? 30.0f : 48.0f, 12.0f, 7.0f, 1.5f);
    }
}

/** A dark rounded tab with its caption, x 30 to 121. */
void drawTab (juce::Graphics& g, int top, const juce::String& text)
{
    const juce::Rectangle<float> area (30.0f, (float) top, 92.0f, 16.0f);
    g.setColour (palette::tab);
    g.fillRoundedRectangle (area, 4.0f);
    g.setColour (palette::tabText);
    g.setFont (captionFont (12.0f, true));
    g.drawText (text, area.toNearestInt(), juce::Justification::centred, false);
}

juce::Image drawBackground()
{
    juce::Image image (juce::Image::RGB, 450, 402, true);
    juce::Graphics g (image);

    g.fillAll (palette::surround);

    // The header band, y 0 to 86.
    g.setGradientFill (
        juce::ColourGradient (palette::headerTop, 0.0f, 0.0f, palette::headerBottom, 0.0f, 86.0f, false));
    g.fillRect (0, 0, 450, 87);
    g.setColour (palette::headerRule);
    g.fillRect (0, 86, 450, 1);
    drawLogo (g);

    const juce::Rectangle<float> captionBox (240.0f, 53.0f, 191.0f, 21.0f);
    g.setColour (palette::caption);
    g.fillRoundedRectangle (captionBox, 6.0f);
    g.setColour (palette::captionText);
    g.setFont (captionFont (14.0f, true));
    g.drawText ("Update program", captionBox.toNearestInt(), juce::Justification::centred, false);

    // The panel everything else sits on, x 18 to 433, y 106 to 384.
    const juce::Rectangle<float> panelArea (18.0f, 106.0f, 416.0f, 279.0f);
    g.setColour (palette::panel);
    g.fillRoundedRectangle (panelArea, 8.0f);
    g.setColour (palette::panelEdge);
    g.drawRoundedRectangle (panelArea.reduced (0.5f), 8.0f, 1.0f);

    drawTab (g, 118, "Device Desc.");
    drawTab (g, 230, "Update File");

    g.setColour (palette::rule);
    g.fillRect (32, 220, 388, 1);

    return image;
}

/** The computer at the upper left and the controller at the lower right,
    joined by a zig-zag cable; greyed out, with a cross over the cable, when
    they are not connected. */
juce::Image drawConnection (bool connected)
{
    juce::Image image (juce::Image::RGB, 109, 83, true);
    juce::Graphics g (image);

    g.fillAll (palette::panel);

    const auto tone = [connected] (juce::Colour colour)
    { return connected ? colour : colour.withSaturation (0.0f).interpolatedWith (palette::panel, 0.45f); };

    // The computer: a monitor labelled PC on a stand.
    const juce::Rectangle<float> monitor (6.0f, 5.0f, 40.0f, 29.0f);
    g.setColour (tone (juce::Colour (0xff3a4450)));
    g.fillRoundedRectangle (monitor, 3.0f);
    g.setColour (tone (juce::Colour (0xff8fc1e8)));
    g.fillRect (monitor.reduced (4.0f));
    g.setColour (tone (juce::Colour (0xff1b2027)));
    g.setFont (captionFont (13.0f, true));
    g.drawText ("PC", monitor.reduced (4.0f).toNearestInt(), juce::Justification::centred, false);
    g.setColour (tone (juce::Colour (0xff3a4450)));
    g.fillRect (22.0f, 34.0f, 8.0f, 5.0f);
    g.fillRoundedRectangle (14.0f, 39.0f, 24.0f, 4.0f, 1.5f);

    // The controller: a flat deck with two jog wheels and a fader between them.
    const juce::Rectangle<float> deck (60.0f, 55.0f, 44.0f, 22.0f);
    g.setColour (tone (juce::Colour (0xff2b3036)));
    g.fillRoundedRectangle (deck, 3.0f);
    g.setColour (tone (juce::Colour (0xff9aa7b5)));
    g.fillEllipse (64.0f, 58.0f, 15.0f, 15.0f);
    g.fillEllipse (85.0f, 58.0f, 15.0f, 15.0f);
    g.setColour (tone (juce::Colour (0xff2b3036)));
    g.fillEllipse (69.0f, 63.0f, 5.0f, 5.0f);
    g.fillEllipse (90.0f, 63.0f, 5.0f, 5.0f);
    g.setColour (tone (juce::Colour (0xffe4e9ef)));
    g.fillRect (81.0f, 59.0f, 2.0f, 14.0f);

    // The cable, from the computer's stand down to the deck's left side.
    juce::Path cable;
    cable.startNewSubPath (26.0f, 43.0f);
    cable.lineTo (26.0f, 50.0f);
    cable.lineTo (40.0f, 38.0f);
    cable.lineTo (53.0f, 50.0f);
    cable.lineTo (66.0f, 40.0f);
    cable.lineTo (56.0f, 66.0f);
    cable.lineTo (60.0f, 66.0f);
    g.setColour (connected ? palette::cable : juce::Colour (0xff8c939b));
    g.strokePath (cable,
                  juce::PathStrokeType (2.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));

    if (!connected)
    {
        juce::Path cross;
        cross.startNewSubPath (47.0f, 40.0f);
        cross.lineTo (59.0f, 52.0f);
        cross.startNewSubPath (59.0f, 40.0f);
        cross.lineTo (47.0f, 52.0f);
        g.setColour (palette::cross);
        g.strokePath (
            cross, juce::PathStrokeType (3.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded));
    }

    return image;
}

bool writePng (const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    if (out.failedToOpen() || !png.writeImageToStream (image, out))
    {
        std::cerr << "cannot write " << file.getFullPathName() << std::endl;
        return false;
    }
    std::cout << file.getFullPathName() << std::endl;
    return true;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: make_pictures <directory>" << std::endl;
        return 2;
    }

    // Fonts need JUCE's GUI side; no window is opened.
    juce::ScopedJuceInitialiser_GUI juce;

    const auto directory = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    if (!directory.createDirectory())
    {
        std::cerr << "cannot make " << directory.getFullPathName() << std::endl;
        return 1;
    }

    const bool written = writePng (drawBackground(), directory.getChildFile ("upgradeprogram.png")) &&
                         writePng (drawConnection (true), directory.getChildFile ("connected.png")) &&
                         writePng (drawConnection (false), directory.getChildFile ("disconnected.png"));
    return written ? 0 : 1;
}
