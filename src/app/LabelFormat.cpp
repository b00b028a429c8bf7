#include "LabelFormat.h"

#include "AppFlavour.h"
#include "UlkDevice.h"

namespace
{
constexpr int highestUnitNumber = 15;
} // namespace

juce::String LabelFormat::toVersionString (juce::uint16 version)
{
    const auto digits = juce::String::formatted ("%x.%x%x%x", (version >> 12) & 0xF, (version >> 8) & 0xF,
                                                 (version >> 4) & 0xF, version & 0xF);
    return "Ver. " + digits.toLowerCase();
}

juce::String LabelFormat::toUnitNumberString (juce::uint8 unitNumber)
{
    // The unit number is a 4-bit field of the caps reply.
    ULK_ASSERT (unitNumber <= highestUnitNumber);

    // The panel counts units from 1 and shows the last one as 0.
    const int shown = unitNumber == highestUnitNumber ? 0 : unitNumber + 1;
    return juce::String::formatted ("%d", shown);
}

juce::String LabelFormat::toDeviceModeString (juce::uint8 operationMode)
{
    return operationMode == QM_VersionUpMode ? "Update Mode" : "Not Update Mode";
}

#if QMHID_MAC_FLAVOUR
juce::String LabelFormat::toHexFormat (juce::uint8 value)
{
    return juce::String::formatted ("0x%02x", (unsigned int) value);
}

juce::String LabelFormat::toHexFormat (juce::uint16 value)
{
    return juce::String::formatted ("0x%04x", (unsigned int) value);
}

juce::String LabelFormat::toHexFormat (juce::uint32 value)
{
    return juce::String::formatted ("0x%08x", (unsigned int) value);
}

juce::String LabelFormat::toHumanReadableSizeString (juce::uint32 byteCount)
{
    juce::uint32 unitSize = 1;
    const char* unitName = "B";

    if (byteCount >= 1073741824u)
    {
        unitSize = 1073741824u;
        unitName = "GB";
    }
    else if (byteCount >= 1048576u)
    {
        unitSize = 1048576u;
        unitName = "MB";
    }
    else if (byteCount >= 1024u)
    {
        unitSize = 1024u;
        unitName = "KB";
    }

    // The name is appended rather than formatted with %s, which the wide
    // printf of some platforms reads as a wide string.
    return juce::String::formatted ("%d ", (int) (byteCount / unitSize)) + unitName;
}
#endif
