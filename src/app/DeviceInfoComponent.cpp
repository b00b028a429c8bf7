#include "DeviceInfoComponent.h"

#include "LabelFormat.h"

namespace
{
constexpr int updateMode = 2;

/** The model name as the controller sent it, one character per byte, ending
    at its first 0 or at the end of the field, whichever comes first. */
template <size_t size>
juce::String modelNameText (const char (&name)[size])
{
    juce::juce_wchar characters[size + 1] = {};
    for (size_t i = 0; i < size && name[i] != 0; ++i)
        characters[i] = (juce::juce_wchar) (juce::uint8) name[i];

    return juce::String (juce::CharPointer_UTF32 (characters));
}
} // namespace

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

    versionLabel = addLabel ("version label", "ver. 1.000", value);
    unitNumberLabel = addLabel ("unit number label", "0", value);
    modelNameLabel = addLabel ("model name label", "QM-KM3300", value);
    versionTitleLabel = addLabel ("version title label", "Firmware Version :", title);
    unitNumberTitleLabel = addLabel ("unit number title label", "Unit Number :", title);
    modelNameTitleLabel = addLabel ("model name title label", "Model Name :", title);
    modeLabel = addLabel ("mode label", "Update", value);
    modeTitleLabel = addLabel ("mode title label", "Mode :", title);

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

juce::Label* DeviceInfoComponent::addLabel (const juce::String& name, const juce::String& text,
                                            juce::Justification justification)
{
    auto* label = new juce::Label (name, text);
    addAndMakeVisible (label, -1);
    label->setFont (juce::Font (15.0f, juce::Font::plain));
    label->setJustificationType (justification);
    label->setEditable (false, false, false);
    // No editor ever opens; its colours are set all the same.
    label->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    label->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    return label;
}

void DeviceInfoComponent::setDeviceInfo (const UlkDeviceInfo& info)
{
    versionLabel->setText (LabelFormat::toVersionString (info.softwareVersion), juce::dontSendNotification);
    modelNameLabel->setText (modelNameText (info.modelName), juce::dontSendNotification);
    unitNumberLabel->setText (LabelFormat::toUnitNumberString (info.unitNumber), juce::dontSendNotification);
    modeLabel->setText (LabelFormat::toDeviceModeString (info.operationMode), juce::dontSendNotification);

    modeLabel->setColour (juce::Label::textColourId,
                          info.operationMode == updateMode ? juce::Colours::black : juce::Colours::red);
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
