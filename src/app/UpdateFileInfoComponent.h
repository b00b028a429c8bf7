#pragma once

#include "UpdateFileInfo.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The update-file panel of the main window: two rows of titles and values
    that describe the update file held (model name and firmware version).
    Transparent: the window's background shows through. */
class UpdateFileInfoComponent : public juce::Component
{
public:
    UpdateFileInfoComponent();
    ~UpdateFileInfoComponent() override;

    /** Shows info's values; the titles stay as they are. */
    void setUpdateFileInfo (const UpdateFileInfo& info);

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    juce::Label* modelNameTitleLabel;
    juce::Label* versionTitleLabel;
    juce::Label* modelNameLabel;
    juce::Label* versionLabel;

    JUCE_DECLARE_NON_COPYABLE (UpdateFileInfoComponent)
};
