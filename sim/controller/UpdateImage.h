#pragma once

// How the controller recognises a complete update file in the bytes it
// received.  The host always sends whole 29-byte blocks, so what arrives is the
// file followed by up to 28 bytes of filler, and the file's length is never
// sent on its own: the controller finds it from the trailer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim
{
/** What the controller learns from a valid update file. */
struct UpdateImageInfo
{
    /** The file's length: the received bytes from this length on are filler. */
    std::size_t length = 0;
    /** The firmware version the controller runs after flashing the file. */
    std::uint16_t firmwareVersion = 0;
    /** True for the old 512 KiB form, whose trailer carries no description. */
    bool legacy = false;
};

/** The facts of the update file's layout, shared with whoever builds one. */
struct UpdateFileLayout
{
    static constexpr std::size_t trailerBytes = 32;
    static constexpr std::size_t nameOffset = 0;
    static constexpr std::size_t nameBytes = 16;
    static constexpr std::size_t versionOffset = 22;
    static constexpr std::size_t sizeOffset = 24;
    static constexpr std::size_t crcOffset = 28;

    static constexpr std::size_t legacyLength = 0x80000;
    static constexpr std::size_t legacyVersionOffset = 0x7A000;

    static constexpr std::size_t blockBytes = 29;
};

/** The CRC an update file must carry: the CRC-32 of the file with its last
    four bytes (where the CRC itself is stored) taken as zeros. */
std::uint32_t updateFileCrc (const std::uint8_t* file, std::size_t length);

/** Finds the update file at the start of received: a length N, from
    received.size() - maxFiller up to received.size(), whose trailer states N
    and whose CRC holds; or the legacy form (N = 0x80000, trailer name all
    0xFF, CRC only).  Nothing when no length fits. */
std::optional<UpdateImageInfo> findUpdateImage (const std::vector<std::uint8_t>& received,
                                                std::size_t maxFiller = UpdateFileLayout::blockBytes - 1);
} // namespace sim
