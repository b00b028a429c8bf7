#include "UpdateFileInfoComponent.h"

#include "InfoPanelLabels.h"
#include "LabelFormat.h"

UpdateFileInfoComponent::UpdateFileInfoComponent()
    : modelNameTitleLabel (nullptr)
    , versionTitleLabel (nullptr)
    , modelNameLabel (nullptr)
    , versionLabel (nullptr)
{
    const auto value = juce::Justification::centredLeft;
    const auto title = juce::Justification::centredRight;

    modelNameTitleLabel = infopanel::addLabel (*this, "new label", "Model Name :", title);
    versionTitleLabel = infopanel::addLabel (*this, "new label", "Firmware Version :", title);
    modelNameLabel = infopanel::addLabel (*this, "new label", "QM-KM3300", value);
    versionLabel = infopanel::addLabel (*this, "new label", "12", value);

    setSize (400, 50);
}

UpdateFileInfoComponent::~UpdateFileInfoComponent()
{
    juce::deleteAndZero (modelNameTitleLabel);
    juce::deleteAndZero (versionTitleLabel);
    juce::deleteAndZero (modelNameLabel);
    juce::deleteAndZero (versionLabel);
}

void UpdateFileInfoComponent::setUpdateFileInfo (const UpdateFileInfo& info)
{
    modelNameLabel->setText (infopanel::modelNameText (info.modelName), juce::dontSendNotification);
    versionLabel->setText (LabelFormat::toVersionString (info.firmwareVersion), juce::dontSendNotification);
}

void UpdateFileInfoComponent::paint (juce::Graphics&) {}

void UpdateFileInfoComponent::resized()
{
    // Fixed places, whatever the panel's size.
    modelNameTitleLabel->setBounds (0, 2, 124, 24);
    versionTitleLabel->setBounds (0, 20, 124, 24);
    modelNameLabel->setBounds (131, 2, 150, 24);
    versionLabel->setBounds (131, 20, 150, 24);
}
