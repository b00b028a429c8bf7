#include "UpdateImage.h"

#include <zlib.h>

namespace sim
{
namespace
{
std::uint32_t readBigEndian32 (const std::uint8_t* p)
{
    return ((std::uint32_t) p[0] << 24) | ((std::uint32_t) p[1] << 16) | ((std::uint32_t) p[2] << 8) |
           (std::uint32_t) p[3];
}

std::uint16_t readBigEndian16 (const std::uint8_t* p)
{
    return (std::uint16_t) ((p[0] << 8) | p[1]);
}

bool hasLegacyName (const std::uint8_t* trailer)
{
    for (std::size_t i = 0; i < UpdateFileLayout::nameBytes; ++i)
        if (trailer[UpdateFileLayout::nameOffset + i] != 0xFF)
            return false;
    return true;
}

std::optional<UpdateImageInfo> checkAt (const std::vector<std::uint8_t>& received, std::size_t length)
{
    using L = UpdateFileLayout;
    const std::uint8_t* file = received.data();
    const std::uint8_t* trailer = file + length - L::trailerBytes;
    const bool legacy = length == L::legacyLength && hasLegacyName (trailer);

    // The cheap test first: the CRC runs only where the length could be right.
    if (!legacy && readBigEndian32 (trailer + L::sizeOffset) != length)
        return std::nullopt;

    if (updateFileCrc (file, length) != readBigEndian32 (trailer + L::crcOffset))
        return std::nullopt;

    UpdateImageInfo info;
    info.length = length;
    info.legacy = legacy;
    info.firmwareVersion = legacy ? readBigEndian16 (file + L::legacyVersionOffset)
                                  : readBigEndian16 (trailer + L::versionOffset);
    return info;
}
} // namespace

std::uint32_t updateFileCrc (const std::uint8_t* file, std::size_t length)
{
    if (length < 4)
        return 0;
    static const std::uint8_t zeros[4] = {};
    uLong crc = crc32 (0L, Z_NULL, 0);
    crc = crc32 (crc, file, (uInt) (length - 4));
    crc = crc32 (crc, zeros, 4);
    return (std::uint32_t) crc;
}

std::optional<UpdateImageInfo> findUpdateImage (const std::vector<std::uint8_t>& received,
                                                std::size_t maxFiller)
{
    const std::size_t size = received.size();
    if (size < UpdateFileLayout::trailerBytes)
        return std::nullopt;

    const std::size_t shortest =
        size > UpdateFileLayout::trailerBytes + maxFiller ? size - maxFiller : UpdateFileLayout::trailerBytes;
    for (std::size_t length = shortest; length <= size; ++length)
        if (auto info = checkAt (received, length))
            return info;

    return std::nullopt;
}
} // namespace sim
