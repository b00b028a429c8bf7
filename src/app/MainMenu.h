#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Makes model's menus the program's main menu: the menu bar along the top of
    the screen that the system keeps for the program; nullptr takes them away.
    On a Mac it is JUCE's setMacMainMenu (MainMenuMac.cpp); a build without a
    system menu bar links whatever stands in for one. */
void setMainMenu (juce::MenuBarModel* model);
