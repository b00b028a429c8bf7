#include "MainComponent.h"

#include "ConnectionIcon.h"
#include "DeviceInfoComponent.h"
#include "Marquee.h"
#include "UpdateController.h"
#include "UpdateFileInfoComponent.h"

#include <UlkImages.h>

#if QMHID_WIN_FLAVOUR
 #include <NativeMessageBox.h>
#endif

const char* MainComponent::upgradeprogram_png = ulkimages::upgradeprogram_png;
const int MainComponent::upgradeprogram_pngSize = ulkimages::upgradeprogram_pngSize;

namespace
{
constexpr int progressMirrorIntervalMs = 30;

void setUpLabel (juce::Label& label)
{
    label.setFont (juce::Font (15.0f, juce::Font::plain));
    label.setJustificationType (juce::Justification::centredLeft);
    label.setEditable (false, false, false);
}
} // namespace

MainComponent::ProgressMirror::ProgressMirror (MainComponent& ownerToUse)
    : owner (ownerToUse)
{
    startTimer (progressMirrorIntervalMs);
}

MainComponent::ProgressMirror::~ProgressMirror()
{
    stopTimer();
}

void MainComponent::ProgressMirror::timerCallback()
{
    value = owner.progress.load();
}

MainComponent::MainComponent()
    : progress (0.0)
    , progressShown (*this)
    , controller (nullptr)
    , deviceInfo (nullptr)
    , loadButton (nullptr)
    , executeButton (nullptr)
    , statusLabel (nullptr)
    , progressBar (nullptr)
    , deviceStatusLabel (nullptr)
    , fileInfo (nullptr)
    , fileStatusLabel (nullptr)
    , marquee (nullptr)
    , connectionIcon (nullptr)
{
    addAndMakeVisible (deviceInfo = new DeviceInfoComponent());

    addAndMakeVisible (loadButton = new juce::TextButton ("new button", juce::String()));
    loadButton->setButtonText ("Load");
    loadButton->setConnectedEdges (juce::Button::ConnectedOnRight);
    loadButton->addListener (this);

    addAndMakeVisible (executeButton = new juce::TextButton ("new button", juce::String()));
    executeButton->setButtonText ("Execute");
    executeButton->setConnectedEdges (juce::Button::ConnectedOnLeft);
    executeButton->addListener (this);

    addAndMakeVisible (statusLabel = new juce::Label ("new label", "Now loading..."));
    setUpLabel (*statusLabel);

    addAndMakeVisible (progressBar = new juce::ProgressBar (progressShown.value));
    progressBar->setName ("new component");
    progressBar->setLookAndFeel (&progressBarLook);

    addAndMakeVisible (deviceStatusLabel = new juce::Label ("new label", "device status"));
    setUpLabel (*deviceStatusLabel);

    addAndMakeVisible (fileInfo = new UpdateFileInfoComponent());

    addAndMakeVisible (fileStatusLabel = new juce::Label ("new label", "File status."));
    setUpLabel (*fileStatusLabel);

    addAndMakeVisible (marquee = new Marquee());
    marquee->setName ("marquee");

    addAndMakeVisible (connectionIcon = new ConnectionIcon());

    background = juce::ImageCache::getFromMemory (upgradeprogram_png, upgradeprogram_pngSize);

    // The window gives its content area, 450 x 402, in place of this size.
    setSize (450, 500);

    connectionIcon->setEnabled (false);
    deviceStatusLabel->setText ("Device is not connected.", juce::dontSendNotification);
    statusLabel->setText ("Waiting...", juce::dontSendNotification);
    deviceInfo->setVisible (false);

    controller = new UpdateController (this);
    updateUpdateFileInfo();
    controller->detectDevice();

    loadButton->setEnabled (false);
    executeButton->setEnabled (false);

    progressBar->setVisible (false);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colours::white);
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xffb0c4a3));
}

MainComponent::~MainComponent()
{
    delete deviceInfo;
    deviceInfo = nullptr;
    delete loadButton;
    loadButton = nullptr;
    delete executeButton;
    executeButton = nullptr;
    delete statusLabel;
    statusLabel = nullptr;
    delete progressBar;
    progressBar = nullptr;
    delete deviceStatusLabel;
    deviceStatusLabel = nullptr;
    delete fileInfo;
    fileInfo = nullptr;
    delete fileStatusLabel;
    fileStatusLabel = nullptr;
    delete marquee;
    marquee = nullptr;
    delete connectionIcon;
    connectionIcon = nullptr;
    background = juce::Image();

    // Last: it stops the worker threads and calls nothing of this component.
    delete controller;
    controller = nullptr;
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::white);
    g.setColour (juce::Colours::black);
    if (background.isValid())
        g.drawImage (background, 0, 0, 451, 403, 0, 0, background.getWidth(), background.getHeight(), false);
}

void MainComponent::resized()
{
    deviceInfo->setBounds (39, 139, 240, 80);
    loadButton->setBounds (210, 353, 102, 24);
    executeButton->setBounds (314, 353, 104, 24);
    statusLabel->setBounds (36, 301, 150, 16);
    progressBar->setBounds (38, 320, 382, 24);
    deviceStatusLabel->setBounds (39, 137, 236, 24);
    fileInfo->setBounds (36, 248, 360, 50);
    fileStatusLabel->setBounds (37, 249, 150, 24);
    marquee->setBounds (38, 320, 382, 24);
    connectionIcon->setBounds (300, 120, 127, 129);
}

bool MainComponent::isInterestedInFileDrag (const juce::StringArray&)
{
    // A drop during a load or an execution is not taken.
    return fileAcceptable();
}

void MainComponent::filesDropped (const juce::StringArray& files, int, int)
{
    if (!controller->isFileAcceptable() || files.isEmpty())
        return;

    controller->setUpdateFile (juce::File (files[0]));
    updateButtonEnablement();
}

void MainComponent::buttonClicked (juce::Button* button)
{
    if (button == loadButton)
    {
        progressBar->setPercentageDisplay (true);
        controller->loadUpdateData();
    }
    else if (button == executeButton)
    {
        progressBar->setPercentageDisplay (false);
        controller->executeUpdate();
    }

    updateButtonEnablement();
}

bool MainComponent::fileAcceptable() const
{
    return controller->isFileAcceptable();
}

void MainComponent::updateButtonEnablement()
{
    loadButton->setEnabled (controller->isReadyForLoadUpdateData());
    executeButton->setEnabled (controller->isReadyForExecuteUpdate());
}

void MainComponent::updateUpdateFileInfo()
{
    if (controller->hasUpdateFile())
    {
        fileInfo->setUpdateFileInfo (controller->getUpdateFileInfo());
        fileInfo->setVisible (true);
        fileStatusLabel->setVisible (false);
    }
    else
    {
        fileStatusLabel->setText ("File is not ready.", juce::dontSendNotification);
        fileStatusLabel->setVisible (true);
        fileInfo->setVisible (false);
    }

    updateButtonEnablement();
}

void MainComponent::setDeviceInfo (const UlkDeviceInfo& info)
{
    deviceStatusLabel->setVisible (false);
    deviceInfo->setDeviceInfo (info);
    deviceInfo->setVisible (true);
    connectionIcon->setEnabled (true);
    updateUpdateFileInfo();
}

void MainComponent::clearDeviceInfo()
{
    deviceInfo->setVisible (false);
    deviceStatusLabel->setText ("Device is not connected.", juce::dontSendNotification);
    deviceStatusLabel->setVisible (true);
    connectionIcon->setEnabled (false);
    updateUpdateFileInfo();
}

void MainComponent::setProgressBarVisible (bool visible)
{
    progressBar->setVisible (visible);
}

void MainComponent::startMarquee()
{
    marquee->setVisible (true);
    marquee->startMarquee();
}

void MainComponent::stopMarquee()
{
    marquee->setVisible (false);
    marquee->stopMarquee();
}

void MainComponent::setStatusLabel (const juce::String& text)
{
    statusLabel->setText (text, juce::dontSendNotification);
}

void MainComponent::setProgressPercentVisible (bool visible)
{
    progressBar->setPercentageDisplay (visible);
}

void MainComponent::showMessageBox (juce::AlertWindow::AlertIconType icon, const juce::String& message,
                                    const juce::String&)
{
    const auto title = juce::JUCEApplication::getInstance() != nullptr
                           ? juce::JUCEApplication::getInstance()->getApplicationName()
                           : juce::String ("ULK Updater");
#if QMHID_WIN_FLAVOUR
    showNativeMessageBox (icon, title, message);
#else
    // Every box looks the same here, whatever its kind.
    (void) icon;
    juce::NativeMessageBox::showMessageBox (juce::MessageBoxIconType::NoIcon, title, message);
#endif
}
