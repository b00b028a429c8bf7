#pragma once

// A tiny update-file builder for the simulated controller's tests, with a CRC
// of its own so that the controller's zlib-based check is not checked against
// itself.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest
{
using Block = std::array<std::uint8_t, 29>;

struct UpdateFileOptions
{
    std::size_t length = 1000;
    std::uint16_t firmwareVersion = 0x0207;
    std::string modelName = "QM-KM3300";
    std::uint8_t modelNumber = 0x41;
    std::uint16_t vendorId = 0x7A3C;
    std::uint16_t productId = 0x6102;
};

/** CRC-32 (reflected 0xEDB88320), bit by bit. */
std::uint32_t referenceCrc32 (const std::uint8_t* data, std::size_t len);

/** A current-form update file: patterned firmware bytes, then the trailer. */
std::vector<std::uint8_t> makeUpdateFile (const UpdateFileOptions& options = {});

/** A 0x80000-byte legacy image: trailer name all 0xFF, version at 0x7A000. */
std::vector<std::uint8_t> makeLegacyFile (std::uint16_t firmwareVersion);

/** Writes the trailer's file size field. */
void setTrailerSize (std::vector<std::uint8_t>& file, std::uint32_t size);

/** Stores the CRC the file must carry, after an edit. */
void restampCrc (std::vector<std::uint8_t>& file);

/** The blocks the host's load sends for file: 29 bytes each, the last one
    ending in what the reused buffer still held from the block before. */
std::vector<Block> hostBlocks (const std::vector<std::uint8_t>& file);
} // namespace simtest
