// The macOS flavour's message boxes in the soak.  Off a Mac they are JUCE's
// own alert windows on an X display, whose growth per box (Xlib keeps a
// colormap record of every window JUCE makes, and queues the X events of
// windows already gone: some 140 bytes a box, in a probe) is JUCE's and X's,
// not the program's, and no Mac shows them: the window's road is soaked in
// the Windows flavour, over the test backend and the Windows stand-in, whose
// boxes are the stand-in's and need no display.

#include "BenchSupport.h"

namespace bench
{
bool canShowMessageBoxes (std::string& reason)
{
    reason = "the macOS flavour's boxes are JUCE's X11 alert windows here, which grow on their own";
    return false;
}

void answerMessageBoxes (bool, std::function<bool()>) {}

std::vector<std::string> takeMessageBoxes()
{
    return {};
}
} // namespace bench
