#include <sim_control/ControlWindow.h>

#include <VirtualHidBus.h>

namespace simctl
{
namespace
{
constexpr int panelWidth = 380;
constexpr int panelHeight = 300;
constexpr int margin = 8;
constexpr int refreshMs = 250;

void setUpNote (juce::Label& label, const juce::String& text)
{
    label.setText (text, juce::dontSendNotification);
    label.setFont (juce::Font (12.0f));
    label.setJustificationType (juce::Justification::topLeft);
}
} // namespace

//==============================================================================
ControllerPanel::ControllerPanel (SimulatedWorld& worldToUse, Model modelToUse)
    : world (worldToUse)
    , model (modelToUse)
{
    title.setText (nameOf (model), juce::dontSendNotification);
    title.setFont (juce::Font (16.0f, juce::Font::bold));
    addAndMakeVisible (title);

    plugButton.onClick = [this]
    {
        if (world.poll (model).plugged)
            world.unplug (model);
        else
            world.plugIn (model);
        refresh();
    };
    addAndMakeVisible (plugButton);

    status.setFont (juce::Font (13.0f));
    status.setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (status);

    const auto settings = world.settings (model);

    updateMode.setButtonText ("Update mode");
    updateMode.setToggleState (settings.updateMode, juce::dontSendNotification);
    updateMode.onClick = [this] { settingsChanged(); };
    addAndMakeVisible (updateMode);

    unitLabel.setText ("Unit number", juce::dontSendNotification);
    unitLabel.setJustificationType (juce::Justification::centredRight);
    addAndMakeVisible (unitLabel);
    for (int n = 0; n < 16; ++n)
        unit.addItem (juce::String (n), n + 1);
    unit.setSelectedId (settings.unitNumber + 1, juce::dontSendNotification);
    unit.onChange = [this] { settingsChanged(); };
    addAndMakeVisible (unit);

    versionLabel.setText ("Firmware version", juce::dontSendNotification);
    addAndMakeVisible (versionLabel);
    version.setText (versionText (settings.firmwareVersion), false);
    version.onReturnKey = [this] { settingsChanged(); };
    version.onFocusLost = [this] { settingsChanged(); };
    addAndMakeVisible (version);

    setUpNote (nextPlugNote, "Mode, firmware version (as 1.0a2) and unit number apply at the next plug.");
    addAndMakeVisible (nextPlugNote);

    faultsLabel.setText ("Faults", juce::dontSendNotification);
    faultsLabel.setFont (juce::Font (14.0f, juce::Font::bold));
    addAndMakeVisible (faultsLabel);

    refuseLastBlock.setButtonText ("Refuse the last block (the image looks corrupt)");
    stopAnswering.setButtonText ("Stop answering");
    unplugDuringLoad.setButtonText ("Unplug during the load (after block " +
                                    juce::String (SimulatedWorld::unplugBlock) + ")");
    neverConfirm.setButtonText ("Never confirm the execution");
    for (auto* b : { &refuseLastBlock, &stopAnswering, &unplugDuringLoad, &neverConfirm })
    {
        b->onClick = [this] { faultsChanged(); };
        addAndMakeVisible (*b);
    }

    setUpNote (rebootNote, "Without faults, a confirmed execution flashes for " +
                               juce::String (SimulatedWorld::flashTimeMs / 1000) +
                               " s, then the controller reboots into normal mode with the new version.");
    addAndMakeVisible (rebootNote);

    setSize (panelWidth, panelHeight);
    refresh();
}

void ControllerPanel::resized()
{
    title.setBounds (8, 4, 200, 22);
    plugButton.setBounds (8, 30, 90, 24);
    status.setBounds (104, 28, 270, 46);
    updateMode.setBounds (8, 78, 130, 22);
    unitLabel.setBounds (150, 78, 90, 22);
    unit.setBounds (244, 78, 60, 22);
    versionLabel.setBounds (8, 104, 120, 22);
    version.setBounds (130, 104, 70, 22);
    nextPlugNote.setBounds (8, 128, 364, 18);
    faultsLabel.setBounds (8, 150, 100, 20);
    refuseLastBlock.setBounds (16, 170, 356, 22);
    stopAnswering.setBounds (16, 192, 356, 22);
    unplugDuringLoad.setBounds (16, 214, 356, 22);
    neverConfirm.setBounds (16, 236, 356, 22);
    rebootNote.setBounds (8, 262, 364, 34);
}

void ControllerPanel::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::grey);
    g.drawRoundedRectangle (getLocalBounds().toFloat().reduced (0.5f), 5.0f, 1.0f);
}

void ControllerPanel::settingsChanged()
{
    auto settings = world.settings (model);
    settings.updateMode = updateMode.getToggleState();
    settings.unitNumber = (std::uint8_t) juce::jlimit (0, 15, unit.getSelectedId() - 1);

    std::uint16_t v = 0;
    if (parseVersion (version.getText().trim().toStdString(), v))
        settings.firmwareVersion = v;
    version.setText (versionText (settings.firmwareVersion), false);

    world.setSettings (model, settings);
}

void ControllerPanel::faultsChanged()
{
    Faults faults;
    faults.refuseLastBlock = refuseLastBlock.getToggleState();
    faults.stopAnswering = stopAnswering.getToggleState();
    faults.unplugDuringLoad = unplugDuringLoad.getToggleState();
    faults.neverConfirmExecution = neverConfirm.getToggleState();
    world.setFaults (model, faults);
}

void ControllerPanel::refresh()
{
    const auto s = world.poll (model);
    plugButton.setButtonText (s.plugged ? "Unplug" : "Plug in");

    juce::String text;
    if (s.plugged)
        text << "In: " << (s.updateMode ? "update" : "normal") << " mode, version "
             << versionText (s.firmwareVersion) << ", unit " << (int) s.unitNumber << ".";
    else
        text << "Out.";
    text << "\nCaps polls " << s.capsAnswered << ", blocks " << s.blocks << " of pass " << s.passes
         << "\nExecute requests " << s.executeRequests << ", reboots " << s.reboots;
    status.setText (text, juce::dontSendNotification);
}

//==============================================================================
ControlPanel::ControlPanel (SimulatedWorld& world)
    : km3300 (std::make_unique<ControllerPanel> (world, Model::km3300))
    , km3800 (std::make_unique<ControllerPanel> (world, Model::km3800))
{
    addAndMakeVisible (*km3300);
    addAndMakeVisible (*km3800);

    pacing.setButtonText ("Pace the bus like USB full speed (1 report per ms)");
    pacing.setToggleState (true, juce::dontSendNotification);
    pacing.onClick = [this] { sim::VirtualHidBus::instance().setPacing (pacing.getToggleState()); };
    addAndMakeVisible (pacing);

    setSize (panelWidth + 2 * margin, 2 * panelHeight + 3 * margin + 26);
    startTimer (refreshMs);
}

ControlPanel::~ControlPanel()
{
    stopTimer();
}

void ControlPanel::resized()
{
    km3300->setBounds (margin, margin, panelWidth, panelHeight);
    km3800->setBounds (margin, 2 * margin + panelHeight, panelWidth, panelHeight);
    pacing.setBounds (margin, 3 * margin + 2 * panelHeight, panelWidth, 24);
}

void ControlPanel::refresh()
{
    km3300->refresh();
    km3800->refresh();
}

ControllerPanel& ControlPanel::panelFor (Model model)
{
    return model == Model::km3300 ? *km3300 : *km3800;
}

void ControlPanel::timerCallback()
{
    refresh();
}

//==============================================================================
ControlWindow::ControlWindow (SimulatedWorld& world)
    : juce::DocumentWindow ("Simulated controllers", juce::Colours::lightgrey,
                            juce::DocumentWindow::closeButton)
{
    // Its own title bar, so that the title shows on a display without a
    // window manager too.
    setUsingNativeTitleBar (false);
    setContentOwned (new ControlPanel (world), true);
    setResizable (false, false);
}

void ControlWindow::closeButtonPressed()
{
    setVisible (false);
}
} // namespace simctl
