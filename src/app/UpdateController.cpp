#include "UpdateController.h"

#include "AppFlavour.h"
#include "InfoPanelLabels.h"
#include "MainComponent.h"

namespace
{
constexpr auto warning = juce::AlertWindow::WarningIcon;
constexpr auto information = juce::AlertWindow::InfoIcon;

const char* const mismatchText = "Error: Update file does not match the device";

juce::String fileErrorText (int code)
{
    switch (code)
    {
        case UpdateFileInfo::cannotOpen:
            return "File can't open.";
        case UpdateFileInfo::invalidSize:
            return "Error: Invalid file size.";
        case UpdateFileInfo::crcMismatch:
            return "Error: CRC error.";
        case UpdateFileInfo::unknownLegacyModel:
            return "Error: Invalid file format.";
        default:
            return "Unknown Error";
    }
}
} // namespace

void deviceArrivalCallback (UlkDevice::Ptr device, void* userData)
{
    static_cast<UpdateController*> (userData)->deviceArrival (device);
}

void deviceRemovalCallback (qmhid::HIDDeviceIdentifier* identifier, void* userData)
{
    static_cast<UpdateController*> (userData)->deviceRemoval (identifier);
}

UpdateController::UpdateController (MainComponent* mainComponentToUse)
    : mainComponent (mainComponentToUse)
    , fileController (nullptr)
    , detector (nullptr)
    , loader (nullptr)
    , executor (nullptr)
    , isLoaded (false)
{
    fileController = new UpdateFileController();
    detector = new UlkDeviceDetector();
    loader = new UpdateFileLoader (this, mainComponent->progress);
    executor = new UpdateExecutor (this);

    detector->setDeviceArrivalCallback (deviceArrivalCallback, this);
    detector->setDeviceRemovalCallback (deviceRemovalCallback, this);
    detector->startDetect();
}

UpdateController::~UpdateController()
{
    loader->stop();
    stopExecute();

    // What the stopped engines announce now is not acted on: they go first.
    delete executor;
    executor = nullptr;
    delete fileController;
    fileController = nullptr;
    delete detector;
    detector = nullptr;
    delete loader;
    loader = nullptr;

    device = nullptr;
}

void UpdateController::detectDevice()
{
    detector->detectDevice();
}

bool UpdateController::isFileAcceptable() const
{
    return !loader->isLoading() && !executor->isRunning();
}

void UpdateController::setUpdateFile (const juce::File& file)
{
    if (!isFileAcceptable())
        return;

    const int code = fileController->setFile (file);
    if (code != 0)
    {
        mainComponent->showMessageBox (warning, fileErrorText (code), juce::String());
        return;
    }

    mainComponent->updateUpdateFileInfo();
    mainComponent->setStatusLabel (juce::String());
    mainComponent->setProgressBarVisible (false);

    if (device != nullptr && !fileController->getUpdateFileInfo().isMatchDevice (device->getDeviceInfo()))
        mainComponent->showMessageBox (warning, mismatchText, juce::String());
}

bool UpdateController::hasUpdateFile() const
{
    return fileController->hasUpdateFile();
}

UpdateFileInfo UpdateController::getUpdateFileInfo() const
{
    return fileController->getUpdateFileInfo();
}

bool UpdateController::isReadyForLoadUpdateData() const
{
    return fileController->hasUpdateFile() && device != nullptr && device->isVersionUpMode() &&
           UpdateFileController::matchDeviceAndUpdateFile (device->getDeviceInfo(),
                                                           fileController->getUpdateFileInfo()) &&
           !loader->isLoading() && !executor->isRunning();
}

bool UpdateController::isReadyForExecuteUpdate() const
{
    return isReadyForLoadUpdateData() && isLoaded;
}

void UpdateController::loadUpdateData()
{
    const bool ready = isReadyForLoadUpdateData();
    ULK_ASSERT (ready);
    if (!ready)
        return;

    mainComponent->setProgressBarVisible (true);
    mainComponent->setStatusLabel ("Now Loading...");
    loader->start (fileController->getFile(), device);
}

void UpdateController::executeUpdate()
{
    const bool ready = isReadyForExecuteUpdate();
    ULK_ASSERT (ready);
    if (!ready)
        return;

    mainComponent->startMarquee();
    mainComponent->setStatusLabel ("Executing...");
    executor->start (device);
}

void UpdateController::deviceArrival (UlkDevice::Ptr newDevice)
{
    // A controller in update mode is kept; a newcomer cannot take its place.
    if (device != nullptr && device->isVersionUpMode())
        return;

    device = newDevice;
    const auto info = device->getDeviceInfo();
    mainComponent->setDeviceInfo (info);

    // The name is the controller's own bytes: one character each, as the panel shows it.
    if (!device->isVersionUpMode())
        mainComponent->showMessageBox (
            warning, infopanel::modelNameText (info.modelName) + " is not ready for version up.",
            juce::String());

    if (fileController->hasUpdateFile() && !fileController->getUpdateFileInfo().isMatchDevice (info))
        mainComponent->showMessageBox (warning, mismatchText, juce::String());
}

void UpdateController::deviceRemoval (qmhid::HIDDeviceIdentifier* identifier)
{
    if (device == nullptr || !device->equalId (identifier))
        return;

    // A run in progress keeps its own reference and fails on its own.
    device = nullptr;
    mainComponent->clearDeviceInfo();
    mainComponent->setProgressBarVisible (false);
    mainComponent->setStatusLabel ("Waiting...");
    mainComponent->stopMarquee();
}

void UpdateController::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == loader)
    {
        switch (loader->getLoadStatus())
        {
            case UpdateFileLoader::loadStarted:
                mainComponent->progress = 0.0;
                isLoaded = false;
                break;
            case UpdateFileLoader::loadCompleted:
                executor->setExecTimeout (loader->getExecTimeout());
                mainComponent->showMessageBox (information, "Load was completed.", juce::String());
                mainComponent->setStatusLabel ("Load was completed.");
                isLoaded = true;
                break;
            case UpdateFileLoader::loadCancelled:
                mainComponent->setStatusLabel ("Waiting...");
                break;
            case UpdateFileLoader::loadFailed:
                mainComponent->showMessageBox (warning, "Load failed. Check the connection, and retry.",
                                               juce::String());
                mainComponent->setStatusLabel ("Waiting...");
                break;
            case UpdateFileLoader::loadDataRejected:
                mainComponent->showMessageBox (warning, "Loaded data is invalid. Check the file.",
                                               juce::String());
                mainComponent->setStatusLabel ("Waiting...");
                break;
            default:
                ULK_ASSERT (false);
                break;
        }
    }
    else if (source == executor)
    {
        switch (executor->getExecStatus())
        {
            case UpdateExecutor::execRunning:
                break;
            case UpdateExecutor::execCompleted:
                mainComponent->stopMarquee();
                mainComponent->showMessageBox (information, "Version up was completed.", juce::String());
                mainComponent->setStatusLabel ("Version up was completed.");
                isLoaded = false;
                break;
            case UpdateExecutor::execNotCompleted:
                mainComponent->stopMarquee();
                mainComponent->showMessageBox (warning, "Version up was not completed.", juce::String());
                mainComponent->setStatusLabel (juce::String());
                break;
            default:
                ULK_ASSERT (false);
                break;
        }
    }
    else
    {
        return;
    }

    mainComponent->updateButtonEnablement();
}

void UpdateController::stopExecute()
{
    if (executor->isRunning())
        executor->stop();
}

void UpdateController::stopLoad()
{
    loader->stop();
}

void UpdateController::clearUpdateFile()
{
    fileController->clearFile();
    mainComponent->updateUpdateFileInfo();
}

bool UpdateController::getDeviceInfo (UlkDeviceInfo* info) const
{
    if (device == nullptr)
        return false;
    *info = device->getDeviceInfo();
    return true;
}
