#include "DeviceInfoComponent.h"

#include "InfoPanelLabels.h"
#include "LabelFormat.h"

DeviceInfoComponent::DeviceInfoComponent()
    : versionLabel (nullptr)
    , unitNumberLabel (nullptr)
    , modelNameLabel (nullptr)
    , versionTitleLabel (nullptr)
    , unitNumberTitleLabel (nullptr)
    , modelNameTitleLabel (nullptr)
    , modeLabel (nullptr)
    , modeTitleLabel (nullptr)
{
    const auto value = juce::Justification::centredLeft;
    const auto title = juce::Justification::centredRight;

    versionLabel = infopanel::addLabel (*this, "version label", "ver. 1.000", value);
    unitNumberLabel = infopanel::addLabel (*this, "unit number label", "0", value);
    modelNameLabel = infopanel::addLabel (*this, "model name label", "QM-KM3300", value);
    versionTitleLabel = infopanel::addLabel (*this, "version title label", "Firmware Version :", title);
    unitNumberTitleLabel = infopanel::addLabel (*this, "unit number title label", "Unit Number :", title);
    modelNameTitleLabel = infopanel::addLabel (*this, "model name title label", "Model Name :", title);
    modeLabel = infopanel::addLabel (*this, "mode label", "Update", value);
    modeTitleLabel = infopanel::addLabel (*this, "mode title label", "Mode :", title);

    setSize (300, 80);
}

DeviceInfoComponent::~DeviceInfoComponent()
{
    juce::deleteAndZero (versionLabel);
    juce::deleteAndZero (unitNumberLabel);
    juce::deleteAndZero (modelNameLabel);
    juce::deleteAndZero (versionTitleLabel);
    juce::deleteAndZero (unitNumberTitleLabel);
    juce::deleteAndZero (modelNameTitleLabel);
    juce::deleteAndZero (modeLabel);
    juce::deleteAndZero (modeTitleLabel);
}

void DeviceInfoComponent::setDeviceInfo (const UlkDeviceInfo& info)
{
    versionLabel->setText (LabelFormat::toVersionString (info.softwareVersion), juce::dontSendNotification);
    modelNameLabel->setText (infopanel::modelNameText (info.modelName), juce::dontSendNotification);
    unitNumberLabel->setText (LabelFormat::toUnitNumberString (info.unitNumber), juce::dontSendNotification);
    modeLabel->setText (LabelFormat::toDeviceModeString (info.operationMode), juce::dontSendNotification);

    modeLabel->setColour (juce::Label::textColourId,
                          info.operationMode == QM_VersionUpMode ? juce::Colours::black : juce::Colours::red);
}

void DeviceInfoComponent::paint (juce::Graphics&) {}

void DeviceInfoComponent::resized()
{
    // Fixed places, whatever the panel's size: in the main window the panel is
    // narrower than the model name and mode values, which it cuts off.
    versionLabel->setBounds (128, 17, 88, 24);
    unitNumberLabel->setBounds (128, 35, 56, 24);
    modelNameLabel->setBounds (128, -1, 150, 24);
    versionTitleLabel->setBounds (0, 17, 121, 24);
    unitNumberTitleLabel->setBounds (0, 35, 121, 24);
    modelNameTitleLabel->setBounds (0, -1, 121, 24);
    modeLabel->setBounds (128, 53, 148, 24);
    modeTitleLabel->setBounds (0, 53, 121, 24);
}
