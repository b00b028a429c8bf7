#pragma once

#include "UlkDevice.h"
#include "UpdateFileInfo.h"

#include <juce_core/juce_core.h>

/** Holds the current update file and its description.  A file takes the
    place of the current one only when it passes its checks, so a bad file
    never replaces a good one. */
class UpdateFileController
{
public:
    UpdateFileController();

    /** Checks f; on success makes it the current file and returns 0, otherwise
        returns the check's code and leaves everything as it was. */
    int setFile (const juce::File& f);

    /** Forgets the current file; the last description stays behind. */
    void clearFile();

    juce::File getFile() const;
    bool hasUpdateFile() const;
    UpdateFileInfo getUpdateFileInfo() const;

    /** True when the file is for that controller (UpdateFileInfo::isMatchDevice). */
    static bool matchDeviceAndUpdateFile (const UlkDeviceInfo& device, const UpdateFileInfo& file);

private:
    juce::File file;
    bool hasFile;
    UpdateFileInfo fileInfo;
};
