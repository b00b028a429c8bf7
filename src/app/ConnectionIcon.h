#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The picture of the computer joined to the controller, next to the device
    panel: the connected picture while the component is enabled, the
    disconnected one while it is disabled. */
class ConnectionIcon : public juce::Component
{
public:
    ConnectionIcon();
    ~ConnectionIcon() override;

    void enablementChanged() override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The two pictures as complete PNG files, 109 x 83 pixels each. */
    static const char* const connected_png;
    static const int connected_pngSize;
    static const char* const disconnected_png;
    static const int disconnected_pngSize;

private:
    // The cache hands out shared Image values; each member is one reference.
    juce::Image connectedImage;
    juce::Image disconnectedImage;

    JUCE_DECLARE_NON_COPYABLE (ConnectionIcon)
};
