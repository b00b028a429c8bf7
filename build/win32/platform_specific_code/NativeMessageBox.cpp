#include "NativeMessageBox.h"

#include <windows.h>

void showNativeMessageBox (juce::AlertWindow::AlertIconType type, const juce::String& title,
                           const juce::String& message)
{
    UINT icon = 0;
    switch (type)
    {
        case juce::AlertWindow::QuestionIcon:
            icon = MB_ICONQUESTION;
            break;
        case juce::AlertWindow::WarningIcon:
            icon = MB_ICONWARNING;
            break;
        case juce::AlertWindow::InfoIcon:
            icon = MB_ICONINFORMATION;
            break;
        default:
            break;
    }

    // No owner window: the main window stays usable while the box is open.
    MessageBoxA (nullptr, message.toUTF8(), title.toUTF8(), icon);
}
