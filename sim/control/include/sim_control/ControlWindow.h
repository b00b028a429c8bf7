#pragma once

// The "Simulated controllers" window: what a person uses to plug the
// simulated controllers in and out, set them up and switch their faults on,
// while the program runs over the simulated platform.

#include <sim_control/SimulatedWorld.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace simctl
{
class ControllerPanel;

/** Everything of the window but its frame: a panel per controller and the
    bus's pacing switch.  Shows what the controllers do, four times a second. */
class ControlPanel : public juce::Component, private juce::Timer
{
public:
    explicit ControlPanel (SimulatedWorld& world);
    ~ControlPanel() override;

    void resized() override;

    /** Reads the controllers' state now instead of at the next tick. */
    void refresh();

    ControllerPanel& panelFor (Model model);

private:
    void timerCallback() override;

    std::unique_ptr<ControllerPanel> km3300;
    std::unique_ptr<ControllerPanel> km3800;
    juce::ToggleButton pacing;
};

/** The window "Simulated controllers" around a ControlPanel.  Closing it
    hides it; the controllers stay as they are. */
class ControlWindow : public juce::DocumentWindow
{
public:
    explicit ControlWindow (SimulatedWorld& world);

    void closeButtonPressed() override;
};

/** One controller's part of the panel. */
class ControllerPanel : public juce::Component
{
public:
    ControllerPanel (SimulatedWorld& world, Model model);

    void resized() override;
    void paint (juce::Graphics& g) override;

    void refresh();

    juce::TextButton plugButton;
    juce::ToggleButton updateMode;
    juce::TextEditor version;
    juce::ComboBox unit;
    juce::ToggleButton refuseLastBlock;
    juce::ToggleButton stopAnswering;
    juce::ToggleButton unplugDuringLoad;
    juce::ToggleButton neverConfirm;

private:
    void settingsChanged();
    void faultsChanged();

    SimulatedWorld& world;
    const Model model;
    juce::Label title;
    juce::Label versionLabel;
    juce::Label unitLabel;
    juce::Label nextPlugNote;
    juce::Label faultsLabel;
    juce::Label rebootNote;
    juce::Label status;
};
} // namespace simctl
