#include "InfoPanelLabels.h"

namespace infopanel
{
juce::Label* addLabel (juce::Component& panel, const juce::String& name, const juce::String& text,
                       juce::Justification justification)
{
    auto* label = new juce::Label (name, text);
    panel.addAndMakeVisible (label, -1);
    label->setFont (juce::Font (15.0f, juce::Font::plain));
    label->setJustificationType (justification);
    label->setEditable (false, false, false);
    // No editor ever opens; its colours are set all the same.
    label->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    label->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    return label;
}
} // namespace infopanel
