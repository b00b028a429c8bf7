#pragma once

#include <juce_core/juce_core.h>

/** The byte table of the reflected CRC-32 polynomial 0xEDB88320. */
extern const juce::uint32 crctable[256];

/** Computes the CRC-32 of zlib and PNG (reflected 0xEDB88320, preset and
    result complemented) over bytes fed a chunk at a time.  Every feeding
    call returns the calculator so that calls chain. */
class CRC32
{
public:
    CRC32();

    /** Starts a new CRC. */
    CRC32& reset();

    /** Feeds n bytes from data; n of 0 or less feeds nothing. */
    CRC32& calc (const void* data, int n);

    /** Feeds up to n bytes read from the stream's current position, fewer
        when the stream runs out first. */
    CRC32& calc (juce::InputStream* in, int n);

    /** Feed the bytes of a value in memory order (1, 2 and 4 bytes). */
    CRC32& calc (char value);
    CRC32& calc (short value);
    CRC32& calc (long value);

    /** The CRC of everything fed since construction or reset. */
    juce::uint32 get() const;

private:
    juce::uint32 crc;
};
