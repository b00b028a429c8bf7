#pragma once

#include <qmhid_Flavour.h>

#include <juce_core/juce_core.h>

/** The texts the information panels show for a controller's and an update
    file's numbers.  Static functions only; each returns a new string and keeps
    no state, so any thread may call them. */
class LabelFormat
{
public:
    LabelFormat() = delete;

    /** "Ver. " and the four hexadecimal digits of version, a point after the
        first: 0x1000 gives "Ver. 1.000". */
    static juce::String toVersionString (juce::uint16 version);

    /** The unit number as the controller's front panel counts: units 0 to 14
        show as "1" to "15", unit 15 as "0". */
    static juce::String toUnitNumberString (juce::uint8 unitNumber);

    /** "Update Mode" for operation mode 2, "Not Update Mode" for any other. */
    static juce::String toDeviceModeString (juce::uint8 operationMode);

#if QMHID_MAC_FLAVOUR
    /** "0x" and the value in lower-case hexadecimal, zero-padded to 2, 4 or 8 digits. */
    static juce::String toHexFormat (juce::uint8 value);
    static juce::String toHexFormat (juce::uint16 value);
    static juce::String toHexFormat (juce::uint32 value);

    /** The byte count in the largest of B, KB, MB and GB that it reaches,
        rounded down: 1535 gives "1 KB". */
    static juce::String toHumanReadableSizeString (juce::uint32 byteCount);
#endif
};
