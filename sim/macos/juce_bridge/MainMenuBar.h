#pragma once

// The simulated macOS platform's stand-in for the system's menu bar: the
// program's main menu (setMainMenu) is shown as a bar in a window of its own
// along the top of the main display, where a Mac shows it, apart from the
// program's windows.

#include <juce_gui_basics/juce_gui_basics.h>

namespace simmac
{
/** The bar showing the main menu, in its window along the top of the
    screen; null while the program has no main menu.  Message thread only. */
juce::MenuBarComponent* mainMenuBar();
} // namespace simmac
