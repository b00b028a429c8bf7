#pragma once

// What the two information panels share: how a label is made and how a model
// name field becomes text.

#include <juce_gui_basics/juce_gui_basics.h>

namespace infopanel
{
/** A new label added to panel (so labels stack in the order they are made):
    a plain font of height 15, the given justification, never editable. */
juce::Label* addLabel (juce::Component& panel, const juce::String& name, const juce::String& text,
                       juce::Justification justification);

/** A model name field as text, one character per byte, ending at its first 0
    or at the end of the field, whichever comes first. */
template <size_t size>
juce::String modelNameText (const char (&name)[size])
{
    juce::juce_wchar characters[size + 1] = {};
    for (size_t i = 0; i < size && name[i] != 0; ++i)
        characters[i] = (juce::juce_wchar) (juce::uint8) name[i];

    return juce::String (juce::CharPointer_UTF32 (characters));
}
} // namespace infopanel
