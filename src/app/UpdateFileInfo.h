#pragma once

#include "UlkDevice.h"

#include <juce_core/juce_core.h>

/** The description of an update file, read from its 32-byte big-endian
    trailer (or, for a legacy 512 KiB image, from its name and version word),
    and the check of the file's size and CRC.  A plain value record. */
struct UpdateFileInfo
{
    /** Result codes of initWithFile. */
    enum Result
    {
        ok = 0,
        cannotOpen = 1,
        invalidSize = 2,
        crcMismatch = 3,
        unknownLegacyModel = 5
    };

    juce::uint32 fileSize = 0;
    juce::uint16 firmwareVersion = 0;
    juce::uint32 fileCrc = 0;
    char modelName[17] = {}; ///< up to 16 characters and a terminating 0
    juce::uint8 modelNumber = 0;
    juce::uint16 vendorId = 0;
    juce::uint16 productId = 0;

    /** Fills the record from file and checks it; returns one of the Result
        codes.  The record is meaningful only after ok. */
    int initWithFile (const juce::File& file);

    /** True when the file is for that controller: same product id, vendor id,
        model number and model name (letter case counts). */
    bool isMatchDevice (const UlkDeviceInfo& device) const;
};
