#include "UpdateFileController.h"

UpdateFileController::UpdateFileController()
    : hasFile (false)
{
}

int UpdateFileController::setFile (const juce::File& f)
{
    UpdateFileInfo info;
    const int result = info.initWithFile (f);
    if (result != UpdateFileInfo::ok)
        return result;

    fileInfo = info;
    file = f;
    hasFile = true;
    return UpdateFileInfo::ok;
}

void UpdateFileController::clearFile()
{
    hasFile = false;
    file = juce::File();
}

juce::File UpdateFileController::getFile() const
{
    return file;
}

bool UpdateFileController::hasUpdateFile() const
{
    return hasFile;
}

UpdateFileInfo UpdateFileController::getUpdateFileInfo() const
{
    return fileInfo;
}

bool UpdateFileController::matchDeviceAndUpdateFile (const UlkDeviceInfo& device, const UpdateFileInfo& file)
{
    return file.isMatchDevice (device);
}
