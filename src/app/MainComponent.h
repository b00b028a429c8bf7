#pragma once

#include "ProgressBarLook.h"
#include "UlkDevice.h"
#include "UpdateFileInfo.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

class ConnectionIcon;
class DeviceInfoComponent;
class Marquee;
class UpdateController;
class UpdateFileInfoComponent;

/** The whole content of the main window: background, device and file panels
    with their status lines, connection icon, status line, progress bar with
    the marquee over it, and the Load and Execute buttons.  It owns the
    UpdateController, hands it the user's actions and shows what it says. */
class MainComponent : public juce::Component,
                      public juce::Button::Listener,
                      public juce::FileDragAndDropTarget
{
public:
    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Hands the first file to the controller while no load or execution
        runs; also the road of "Open..." and of a file named at start. */
    void filesDropped (const juce::StringArray& files, int x, int y) override;
    bool isInterestedInFileDrag (const juce::StringArray& files) override;

    void buttonClicked (juce::Button* button) override;

    bool fileAcceptable() const;

    // What the UpdateController changes.
    void updateButtonEnablement();
    void updateUpdateFileInfo();
    void setDeviceInfo (const UlkDeviceInfo& info);
    void clearDeviceInfo();
    void setProgressBarVisible (bool visible);
    void startMarquee();
    void stopMarquee();
    void setStatusLabel (const juce::String& text);
    void setProgressPercentVisible (bool visible);

    /** A message box with one button, titled with the application's name;
        returns when the user has closed it.  extra is not shown. */
    void showMessageBox (juce::AlertWindow::AlertIconType icon, const juce::String& message,
                         const juce::String& extra);

    /** The load's progress, 0.0 to 1.0: written by the load thread, reset by
        the controller, shown by the progress bar. */
    std::atomic<double> progress;

    static const char* upgradeprogram_png;
    static const int upgradeprogram_pngSize;

private:
    /** The progress bar reads a plain double on the message thread; this
        copies the shared value into it. */
    class ProgressMirror : private juce::Timer
    {
    public:
        explicit ProgressMirror (MainComponent& owner);
        ~ProgressMirror() override;
        double value = 0.0;

    private:
        void timerCallback() override;
        MainComponent& owner;
    };

    ProgressMirror progressShown;
    /** Outlives the progress bar, which draws with it. */
    ProgressBarLook progressBarLook;
    UpdateController* controller;
    DeviceInfoComponent* deviceInfo;
    juce::TextButton* loadButton;
    juce::TextButton* executeButton;
    juce::Label* statusLabel;
    juce::ProgressBar* progressBar;
    juce::Label* deviceStatusLabel;
    UpdateFileInfoComponent* fileInfo;
    juce::Label* fileStatusLabel;
    Marquee* marquee;
    ConnectionIcon* connectionIcon;
    juce::Image background;

    JUCE_DECLARE_NON_COPYABLE (MainComponent)
};
