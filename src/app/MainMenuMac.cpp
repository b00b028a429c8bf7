#include "MainMenu.h"

void setMainMenu (juce::MenuBarModel* model)
{
    juce::MenuBarModel::setMacMainMenu (model);
}
