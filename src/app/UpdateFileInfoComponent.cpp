#include "UpdateFileInfoComponent.h"

#include "LabelFormat.h"

namespace
{
/** The model name as the file carries it, one character per byte, ending at
    its first 0 or at the end of the field, whichever comes first. */
template <size_t size>
juce::String modelNameText (const char (&name)[size])
{
    juce::juce_wchar characters[size + 1] = {};
    for (size_t i = 0; i < size && name[i] != 0; ++i)
        characters[i] = (juce::juce_wchar) (juce::uint8) name[i];

    return juce::String (juce::CharPointer_UTF32 (characters));
}
} // namespace

UpdateFileInfoComponent::UpdateFileInfoComponent()
    : modelNameTitleLabel (nullptr)
    , versionTitleLabel (nullptr)
    , modelNameLabel (nullptr)
    , versionLabel (nullptr)
{
    const auto value = juce::Justification::centredLeft;
    const auto title = juce::Justification::centredRight;

    modelNameTitleLabel = addLabel ("Model Name :", title);
    versionTitleLabel = addLabel ("Firmware Version :", title);
    modelNameLabel = addLabel ("QM-KM3300", value);
    versionLabel = addLabel ("12", value);

    setSize (400, 50);
}

UpdateFileInfoComponent::~UpdateFileInfoComponent()
{
    juce::deleteAndZero (modelNameTitleLabel);
    juce::deleteAndZero (versionTitleLabel);
    juce::deleteAndZero (modelNameLabel);
    juce::deleteAndZero (versionLabel);
}

juce::Label* UpdateFileInfoComponent::addLabel (const juce::String& text, juce::Justification justification)
{
    auto* label = new juce::Label ("new label", text);
    addAndMakeVisible (label, -1);
    label->setFont (juce::Font (15.0f, juce::Font::plain));
    label->setJustificationType (justification);
    label->setEditable (false, false, false);
    // No editor ever opens; its colours are set all the same.
    label->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    label->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    return label;
}

void UpdateFileInfoComponent::setUpdateFileInfo (const UpdateFileInfo& info)
{
    modelNameLabel->setText (modelNameText (info.modelName), juce::dontSendNotification);
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
