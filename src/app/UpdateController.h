#pragma once

#include "UlkDevice.h"
#include "UlkDeviceDetector.h"
#include "UpdateExecutor.h"
#include "UpdateFileController.h"
#include "UpdateFileLoader.h"

#include <juce_events/juce_events.h>

class MainComponent;

/** The engine behind the window: holds the update file, the detector, the
    load and execute engines and the current controller; decides when Load
    and Execute are possible and turns what the engines announce into
    messages and status lines.  Runs on the message thread. */
class UpdateController : public juce::ChangeListener
{
public:
    explicit UpdateController (MainComponent* mainComponent);
    ~UpdateController() override;

    /** Looks once for a controller that was connected before the start. */
    void detectDevice();

    bool isFileAcceptable() const;
    void setUpdateFile (const juce::File& file);
    bool hasUpdateFile() const;
    UpdateFileInfo getUpdateFileInfo() const;

    bool isReadyForLoadUpdateData() const;
    bool isReadyForExecuteUpdate() const;
    void loadUpdateData();
    void executeUpdate();

    void deviceArrival (UlkDevice::Ptr newDevice);
    void deviceRemoval (qmhid::HIDDeviceIdentifier* identifier);

    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    void stopExecute();
    void stopLoad();
    void clearUpdateFile();
    bool getDeviceInfo (UlkDeviceInfo* info) const;

private:
    MainComponent* mainComponent;
    UpdateFileController* fileController;
    UlkDeviceDetector* detector;
    UlkDevice::Ptr device;
    UpdateFileLoader* loader;
    UpdateExecutor* executor;
    bool isLoaded;

    JUCE_DECLARE_NON_COPYABLE (UpdateController)
};

/** The detector's callbacks; userData is the UpdateController. */
void deviceArrivalCallback (UlkDevice::Ptr device, void* userData);
void deviceRemovalCallback (qmhid::HIDDeviceIdentifier* identifier, void* userData);
