#pragma once

#include "UlkDevice.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The device panel of the main window: four rows of titles and values that
    describe the connected controller (model name, firmware version, unit
    number and operation mode), the mode in red when the controller is not in
    update mode.  Transparent: the window's background shows through. */
class DeviceInfoComponent : public juce::Component
{
public:
    DeviceInfoComponent();
    ~DeviceInfoComponent() override;

    /** Shows info's values; the titles stay as they are. */
    void setDeviceInfo (const UlkDeviceInfo& info);

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    juce::Label* versionLabel;
    juce::Label* unitNumberLabel;
    juce::Label* modelNameLabel;
    juce::Label* versionTitleLabel;
    juce::Label* unitNumberTitleLabel;
    juce::Label* modelNameTitleLabel;
    juce::Label* modeLabel;
    juce::Label* modeTitleLabel;

    JUCE_DECLARE_NON_COPYABLE (DeviceInfoComponent)
};
