// The device panel and the update-file panel: their labels and what they show
// for a controller's and a file's records.

#include <DeviceInfoComponent.h>
#include <UpdateFileInfoComponent.h>

#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
const juce::Justification value = juce::Justification::centredLeft;
const juce::Justification title = juce::Justification::centredRight;

/** What one label of a panel is when the panel is made. */
struct MadeLabel
{
    const char* name;
    const char* text;
    juce::Justification justification;
    juce::Rectangle<int> bounds;
};

// In the order the panels make their labels, which is also their stacking order.
const std::vector<MadeLabel> deviceLabels = {
    { "version label", "ver. 1.000", value, { 128, 17, 88, 24 } },
    { "unit number label", "0", value, { 128, 35, 56, 24 } },
    { "model name label", "QM-KM3300", value, { 128, -1, 150, 24 } },
    { "version title label", "Firmware Version :", title, { 0, 17, 121, 24 } },
    { "unit number title label", "Unit Number :", title, { 0, 35, 121, 24 } },
    { "model name title label", "Model Name :", title, { 0, -1, 121, 24 } },
    { "mode label", "Update", value, { 128, 53, 148, 24 } },
    { "mode title label", "Mode :", title, { 0, 53, 121, 24 } },
};

const std::vector<MadeLabel> fileLabels = {
    { "new label", "Model Name :", title, { 0, 2, 124, 24 } },
    { "new label", "Firmware Version :", title, { 0, 20, 124, 24 } },
    { "new label", "QM-KM3300", value, { 131, 2, 150, 24 } },
    { "new label", "12", value, { 131, 20, 150, 24 } },
};

// Indexes of the value labels, in the labels' order.
enum DeviceLabel
{
    deviceVersion = 0,
    deviceUnit = 1,
    deviceModelName = 2,
    deviceMode = 6
};

enum FileLabel
{
    fileModelName = 2,
    fileVersion = 3
};

juce::Label& labelAt (juce::Component& panel, int index)
{
    auto* label = dynamic_cast<juce::Label*> (panel.getChildComponent (index));
    if (label == nullptr)
        throw std::runtime_error ("child " + std::to_string (index) + " is not a label");
    return *label;
}

juce::String textAt (juce::Component& panel, int index)
{
    return labelAt (panel, index).getText();
}

void expectLabelsAsMade (juce::Component& panel, const std::vector<MadeLabel>& labels)
{
    ASSERT_EQ (panel.getNumChildComponents(), (int) labels.size());

    for (int i = 0; i < (int) labels.size(); ++i)
    {
        const auto& made = labels[(size_t) i];
        SCOPED_TRACE (testing::Message() << "label " << i << " \"" << made.text << "\"");
        auto& label = labelAt (panel, i);

        EXPECT_EQ (label.getName(), juce::String (made.name));
        EXPECT_EQ (label.getText(), juce::String (made.text));
        EXPECT_TRUE (label.isVisible());

        EXPECT_EQ (label.getFont().getHeight(), 15.0f);
        EXPECT_EQ (label.getFont().getStyleFlags(), (int) juce::Font::plain);
        EXPECT_EQ (label.getJustificationType(), made.justification);

        EXPECT_FALSE (label.isEditableOnSingleClick());
        EXPECT_FALSE (label.isEditableOnDoubleClick());
        EXPECT_FALSE (label.doesLossOfFocusDiscardChanges());

        EXPECT_EQ (label.findColour (juce::TextEditor::textColourId), juce::Colours::black);
        EXPECT_EQ (label.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x00000000));
        // The text colour is the look and feel's until a record sets the mode's.
        EXPECT_FALSE (label.isColourSpecified (juce::Label::textColourId));

        EXPECT_EQ (label.getBounds(), made.bounds);
    }
}

void expectBoundsWhateverTheSize (juce::Component& panel, const std::vector<MadeLabel>& labels)
{
    // The panel's own size, the main window's and a tiny one.
    const juce::Rectangle<int> sizes[] = {
        panel.getBounds(), { 39, 139, 240, 80 }, { 36, 248, 360, 50 }, { 0, 0, 1, 1 }
    };

    for (const auto& size : sizes)
    {
        panel.setBounds (size);
        for (int i = 0; i < (int) labels.size(); ++i)
            EXPECT_EQ (labelAt (panel, i).getBounds(), labels[(size_t) i].bounds)
                << "label " << i << " in a panel " << size.toString();
    }
}

void setName (char (&field)[17], const char* name)
{
    std::memset (field, 0, sizeof (field));
    std::memcpy (field, name, std::strlen (name));
}

UlkDeviceInfo deviceRecord (juce::uint16 version, juce::uint8 unit, juce::uint8 mode, const char* name)
{
    UlkDeviceInfo info;
    std::memset (&info, 0, sizeof (info));
    info.softwareVersion = version;
    info.unitNumber = unit;
    info.operationMode = mode;
    setName (info.modelName, name);
    return info;
}

UpdateFileInfo fileRecord (juce::uint16 version, const char* name)
{
    UpdateFileInfo info;
    info.firmwareVersion = version;
    setName (info.modelName, name);
    return info;
}

// "KM" and e acute as one byte, the way an 8-bit name carries it.
const juce::String highByteName = juce::String ("KM") + juce::String::charToString ((juce::juce_wchar) 0xE9);
} // namespace

TEST (DeviceInfoComponent, MakesItsEightLabelsWithTheirFixedSettings)
{
    DeviceInfoComponent panel;
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (0, 0, 300, 80));
    expectLabelsAsMade (panel, deviceLabels);
    expectBoundsWhateverTheSize (panel, deviceLabels);
}

TEST (DeviceInfoComponent, InTheMainWindowTheModelNameAndModeAreCutAtThePanelEdge)
{
    DeviceInfoComponent panel;
    panel.setBounds (39, 139, 240, 80);

    for (const int index : { (int) deviceModelName, (int) deviceMode })
        EXPECT_EQ (labelAt (panel, index).getBounds().getIntersection (panel.getLocalBounds()).getWidth(),
                   112)
            << "label " << index;
}

TEST (DeviceInfoComponent, ShowsTheRecordsValuesAndTheModeInColour)
{
    const struct
    {
        UlkDeviceInfo record;
        const char* version;
        const char* unit;
        juce::String modelName;
        const char* mode;
        juce::Colour modeColour;
    } cases[] = {
        { deviceRecord (0, 0, 0, ""), "Ver. 0.000", "1", "", "Not Update Mode", juce::Colours::red },
        { deviceRecord (0x1A2B, 14, 2, "QM-KM3800"), "Ver. 1.a2b", "15", "QM-KM3800", "Update Mode",
          juce::Colours::black },
        { deviceRecord (0x1000, 15, 1, "QM-KM3300"), "Ver. 1.000", "0", "QM-KM3300", "Not Update Mode",
          juce::Colours::red },
        { deviceRecord (0xFFFF, 3, 255, "X"), "Ver. f.fff", "4", "X", "Not Update Mode", juce::Colours::red },
        { deviceRecord (0x0102, 0, 3, "ABCDEFGHIJKLMNOP"), "Ver. 0.102", "1", "ABCDEFGHIJKLMNOP",
          "Not Update Mode", juce::Colours::red },
        // A byte above 127 is one character of its own, without a JUCE assertion.
        { deviceRecord (0x0200, 1, 2, "KM\xE9"), "Ver. 0.200", "2", highByteName, "Update Mode",
          juce::Colours::black },
    };

    for (const auto& c : cases)
    {
        DeviceInfoComponent panel;
        panel.setDeviceInfo (c.record);

        SCOPED_TRACE (c.version);
        EXPECT_EQ (textAt (panel, deviceVersion), juce::String (c.version));
        EXPECT_EQ (textAt (panel, deviceUnit), juce::String (c.unit));
        EXPECT_EQ (textAt (panel, deviceModelName), c.modelName);
        EXPECT_EQ (textAt (panel, deviceMode), juce::String (c.mode));
        EXPECT_EQ (labelAt (panel, deviceMode).findColour (juce::Label::textColourId), c.modeColour);
    }
}

TEST (DeviceInfoComponent, ANewRecordReplacesEveryValueAndNoTitle)
{
    const struct
    {
        UlkDeviceInfo record;
        const char* version;
        const char* unit;
        const char* name;
        const char* mode;
        juce::Colour modeColour;
    } steps[] = {
        { deviceRecord (0x1234, 5, 1, "FIRST MODEL NAME"), "Ver. 1.234", "6", "FIRST MODEL NAME",
          "Not Update Mode", juce::Colours::red },
        { deviceRecord (0x0001, 9, 2, "B"), "Ver. 0.001", "10", "B", "Update Mode", juce::Colours::black },
        { deviceRecord (0x0000, 0, 0, ""), "Ver. 0.000", "1", "", "Not Update Mode", juce::Colours::red },
    };

    // One panel filled over and over.
    DeviceInfoComponent panel;
    for (const auto& step : steps)
    {
        panel.setDeviceInfo (step.record);

        SCOPED_TRACE (step.version);
        EXPECT_EQ (textAt (panel, deviceVersion), juce::String (step.version));
        EXPECT_EQ (textAt (panel, deviceUnit), juce::String (step.unit));
        EXPECT_EQ (textAt (panel, deviceModelName), juce::String (step.name));
        EXPECT_EQ (textAt (panel, deviceMode), juce::String (step.mode));
        EXPECT_EQ (labelAt (panel, deviceMode).findColour (juce::Label::textColourId), step.modeColour);

        for (const int titleLabel : { 3, 4, 5, 7 })
        {
            EXPECT_EQ (textAt (panel, titleLabel), juce::String (deviceLabels[(size_t) titleLabel].text));
            EXPECT_FALSE (labelAt (panel, titleLabel).isColourSpecified (juce::Label::textColourId));
        }
    }
}

TEST (UpdateFileInfoComponent, MakesItsFourLabelsWithTheirFixedSettings)
{
    UpdateFileInfoComponent panel;
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (0, 0, 400, 50));
    expectLabelsAsMade (panel, fileLabels);
    expectBoundsWhateverTheSize (panel, fileLabels);
}

TEST (UpdateFileInfoComponent, ShowsTheFilesModelNameAndVersionAndKeepsItsTitles)
{
    const struct
    {
        UpdateFileInfo record;
        const char* version;
        juce::String modelName;
    } cases[] = {
        { fileRecord (0x0102, "QM-KM3300"), "Ver. 0.102", "QM-KM3300" },
        { fileRecord (0, ""), "Ver. 0.000", "" },
        { fileRecord (0xABCD, "ABCDEFGHIJKLMNOP"), "Ver. a.bcd", "ABCDEFGHIJKLMNOP" },
        { fileRecord (0x0200, "KM\xE9"), "Ver. 0.200", highByteName },
    };

    // One panel filled over and over: each record replaces both values.
    UpdateFileInfoComponent panel;
    for (const auto& c : cases)
    {
        panel.setUpdateFileInfo (c.record);

        SCOPED_TRACE (c.version);
        EXPECT_EQ (textAt (panel, fileVersion), juce::String (c.version));
        EXPECT_EQ (textAt (panel, fileModelName), c.modelName);
        EXPECT_EQ (textAt (panel, 0), juce::String ("Model Name :"));
        EXPECT_EQ (textAt (panel, 1), juce::String ("Firmware Version :"));
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE (labelAt (panel, i).isColourSpecified (juce::Label::textColourId)) << "label " << i;
    }
}

TEST (InformationPanels, PaintNothingOfTheirOwn)
{
    DeviceInfoComponent devicePanel;
    UpdateFileInfoComponent filePanel;
    const juce::Colour ground (0xff336699);

    for (juce::Component* panel : { (juce::Component*) &devicePanel, (juce::Component*) &filePanel })
    {
        EXPECT_FALSE (panel->isOpaque());

        // With the labels out of the way, whatever lies under the panel shows.
        for (int i = 0; i < panel->getNumChildComponents(); ++i)
            panel->getChildComponent (i)->setVisible (false);

        juce::Image expected (juce::Image::RGB, panel->getWidth(), panel->getHeight(), false);
        expected.clear (expected.getBounds(), ground);
        EXPECT_TRUE (uitest::samePixels (uitest::paintToImage (*panel, ground), expected));
    }
}
