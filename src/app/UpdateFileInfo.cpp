#include "UpdateFileInfo.h"

#include "CRC32.h"

#include <cstring>
#include <limits>
#include <memory>

namespace
{
constexpr int trailerSize = 32;
constexpr int modelNameCharacters = 16;
constexpr int crcSize = 4;

constexpr juce::int64 legacyFileSize = 0x80000;
constexpr juce::int64 legacyVersionOffset = 0x7A000;
constexpr juce::uint16 legacyVendorId = 0x7A3C;

/** How a legacy image's file name tells its model. */
struct LegacyModel
{
    const char* prefix;
    const char* const& modelName;
    juce::uint8 modelNumber;
    juce::uint16 productId;
};

// Tried in this order.
const LegacyModel legacyModels[] = {
    { "KM3300_", QM_DeviceName_KM3300, 0x41, 0x6102 },
    { "KM3800_", QM_DeviceName_KM3800, 0x42, 0x6109 },
};

constexpr const char* legacySuffix = ".bin";

/** True when text starts with prefix and ends with suffix, ignoring case. */
bool stringStartsEnds (const juce::String& text, const juce::String& prefix, const juce::String& suffix)
{
    return text.startsWithIgnoreCase (prefix) && text.endsWithIgnoreCase (suffix);
}

/** True for the name field of a legacy image: erased flash, all 0xFF. */
bool isErasedName (const char* modelName)
{
    for (int i = 0; i < modelNameCharacters; ++i)
        if ((juce::uint8) modelName[i] != 0xFF)
            return false;
    return true;
}

/** Feeds n bytes of the stream to crc in chunks that fit the calculator's int count. */
void feedStream (CRC32& crc, juce::InputStream& in, juce::uint32 n)
{
    constexpr juce::uint32 chunk = (juce::uint32) std::numeric_limits<int>::max();

    while (n > 0 && !in.isExhausted())
    {
        const auto count = juce::jmin (n, chunk);
        crc.calc (&in, (int) count);
        n -= count;
    }
}
} // namespace

int UpdateFileInfo::initWithFile (const juce::File& file)
{
    if (!file.existsAsFile())
        return cannotOpen;

    const std::unique_ptr<juce::FileInputStream> in = file.createInputStream();
    if (in == nullptr)
        return cannotOpen;

    // The trailer states the length in 32 bits, so no longer file can be a
    // valid one; cutting the length to 32 bits would read the trailer from
    // the wrong place.
    const juce::int64 length = file.getSize();
    if (length < trailerSize || length > (juce::int64) std::numeric_limits<juce::uint32>::max())
        return invalidSize;

    const auto n = (juce::uint32) length;

    *this = UpdateFileInfo();
    in->setPosition (n - trailerSize);
    in->read (modelName, modelNameCharacters + 1);
    // Trailer byte 16 is not part of the name; its terminator takes its place.
    modelName[modelNameCharacters] = 0;
    modelNumber = (juce::uint8) in->readByte();
    vendorId = (juce::uint16) in->readShortBigEndian();
    productId = (juce::uint16) in->readShortBigEndian();
    firmwareVersion = (juce::uint16) in->readShortBigEndian();
    fileSize = (juce::uint32) in->readIntBigEndian();
    fileCrc = (juce::uint32) in->readIntBigEndian();

    // The stored CRC covers the file with its own four bytes as zeros.
    CRC32 crc;
    in->setPosition (0);
    feedStream (crc, *in, n - crcSize);
    const juce::uint8 zeros[crcSize] = {};
    crc.calc (zeros, crcSize);

    if (crc.get() != fileCrc)
        return crcMismatch;

    // A legacy image carries no description; its name tells the model.
    if (isErasedName (modelName) && length == legacyFileSize)
    {
        in->setPosition (legacyVersionOffset);
        firmwareVersion = (juce::uint16) in->readShortBigEndian();
        vendorId = legacyVendorId;
        fileSize = (juce::uint32) legacyFileSize;

        const auto name = file.getFileName();
        const LegacyModel* model = nullptr;
        for (const auto& candidate : legacyModels)
        {
            if (stringStartsEnds (name, candidate.prefix, legacySuffix))
            {
                model = &candidate;
                break;
            }
        }

        if (model == nullptr)
            return unknownLegacyModel;

        std::memset (modelName, 0, sizeof (modelName));
        juce::CharPointer_UTF8 destination (modelName);
        juce::CharacterFunctions::copyWithCharLimit (destination, juce::CharPointer_UTF8 (model->modelName),
                                                     modelNameCharacters + 1);
        modelNumber = model->modelNumber;
        productId = model->productId;
    }

    return n == fileSize ? ok : invalidSize;
}

bool UpdateFileInfo::isMatchDevice (const UlkDeviceInfo& device) const
{
    if (device.productId != (int) productId)
        return false;
    if (device.vendorId != (int) vendorId)
        return false;
    if (modelNumber != device.modelNumber)
        return false;

    // Letter case counts.  Both names are terminated within their 17 bytes.
    return std::strncmp (device.modelName, modelName, sizeof (modelName)) == 0;
}
