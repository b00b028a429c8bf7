// A test program of one test, run by the display test with the environment
// it chooses: it prints how many X displays JUCE found.

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <iostream>

TEST (DisplayProbe, PrintsTheDisplaysJuceFound)
{
    std::cout << "displays " << juce::Desktop::getInstance().getDisplays().displays.size() << std::endl;
}
