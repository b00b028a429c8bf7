#include "TestUpdateFile.h"

#include <algorithm>

namespace simtest
{
namespace
{
void putBigEndian (std::uint8_t* p, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        p[i] = (std::uint8_t) (v & 0xFF);
}

std::uint8_t* trailerOf (std::vector<std::uint8_t>& file)
{
    return file.data() + file.size() - 32;
}
} // namespace

std::uint32_t referenceCrc32 (const std::uint8_t* data, std::size_t len)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < len; ++i)
    {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::vector<std::uint8_t> makeUpdateFile (const UpdateFileOptions& options)
{
    std::vector<std::uint8_t> file (std::max<std::size_t> (options.length, 32));
    for (std::size_t i = 0; i + 32 < file.size(); ++i)
        file[i] = (std::uint8_t) (i * 7 + (i >> 8));

    auto* t = trailerOf (file);
    std::copy_n (options.modelName.begin(), std::min<std::size_t> (options.modelName.size(), 16), t);
    t[17] = options.modelNumber;
    putBigEndian (t + 18, options.vendorId, 2);
    putBigEndian (t + 20, options.productId, 2);
    putBigEndian (t + 22, options.firmwareVersion, 2);
    setTrailerSize (file, (std::uint32_t) file.size());
    restampCrc (file);
    return file;
}

std::vector<std::uint8_t> makeLegacyFile (std::uint16_t firmwareVersion)
{
    std::vector<std::uint8_t> file (0x80000);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = (std::uint8_t) (i * 13 + (i >> 9));
    putBigEndian (file.data() + 0x7A000, firmwareVersion, 2);
    std::fill_n (trailerOf (file), 16, 0xFF);
    restampCrc (file);
    return file;
}

void setTrailerSize (std::vector<std::uint8_t>& file, std::uint32_t size)
{
    putBigEndian (trailerOf (file) + 24, size, 4);
}

void restampCrc (std::vector<std::uint8_t>& file)
{
    auto* crcField = file.data() + file.size() - 4;
    std::fill_n (crcField, 4, 0);
    putBigEndian (crcField, referenceCrc32 (file.data(), file.size()), 4);
}

std::vector<Block> hostBlocks (const std::vector<std::uint8_t>& file)
{
    std::vector<Block> blocks;
    Block buffer{};
    for (std::size_t pos = 0; pos < file.size(); pos += buffer.size())
    {
        const std::size_t n = std::min (buffer.size(), file.size() - pos);
        std::copy_n (file.begin() + (long) pos, n, buffer.begin());
        blocks.push_back (buffer);
    }
    return blocks;
}
} // namespace simtest
