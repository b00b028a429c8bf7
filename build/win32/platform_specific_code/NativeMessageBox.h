#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A native message box with one button and the icon of the alert type
    (question, warning, information, or none); returns when it is closed. */
void showNativeMessageBox (juce::AlertWindow::AlertIconType type, const juce::String& title,
                           const juce::String& message);
