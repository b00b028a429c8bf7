// The update file reader on hostile files and file names: any trailer, any
// length, the legacy 512 KiB form and names near the legacy naming rules.
// Optionally the harness mends the CRC and the stated length, so that the
// checks behind them are reached too.  Whatever comes out is shown in the
// file panel, as after an open.

#include "FuzzSupport.h"

#include <UpdateFileBuilder.h>
#include <UpdateFileController.h>
#include <UpdateFileInfo.h>
#include <UpdateFileInfoComponent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace
{
using fuzz::check;

constexpr std::size_t legacySize = 0x80000;

enum Mode : std::uint8_t
{
    mendCrc = 1,
    // A legacy-length file costs a thousand small ones, so it takes five bits.
    legacyLength = 0xF2,
    erasedName = 4,
    mendLength = 8
};

std::string fileName (fuzz::Input& input)
{
    static const char* const prefixes[] = { "KM3300_", "km3800_", "Km3300", "KM3800_", "", "release" };
    static const char* const suffixes[] = { ".bin", ".BIN", ".bin.old", "", ".bi", ".Bin" };
    std::string name = prefixes[input.pick (6)];
    const int middle = input.pick (12);
    for (int i = 0; i < middle; ++i)
    {
        // Printable ASCII without the path separator.
        char c = (char) (0x20 + input.pick (0x5F));
        name += c == '/' ? '_' : c;
    }
    name += suffixes[input.pick (6)];
    if (name.empty() || name == "." || name == "..")
        name = "x";
    return name;
}

void putBigEndian32 (std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + (std::size_t) i] = (std::uint8_t) (value >> (24 - 8 * i));
}

} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzz::initialiseJuce();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // Kept for the whole run, as the statics below.
    static auto& panel = *new UpdateFileInfoComponent();

    fuzz::Input input (data, size);
    const std::uint8_t mode = input.byte();
    const std::string name = fileName (input);
    std::vector<std::uint8_t> file = input.rest();

    if ((mode & legacyLength) == legacyLength)
        file.resize (legacySize, 0);
    const std::size_t n = file.size();
    if (n >= 32)
    {
        if ((mode & erasedName) != 0)
            std::memset (file.data() + n - 32, 0xFF, 16);
        if ((mode & mendLength) != 0)
            putBigEndian32 (file, n - 8, (std::uint32_t) n);
        if ((mode & mendCrc) != 0)
            putBigEndian32 (file, n - 4, ulktest::UpdateFileBuilder::correctCrcOf (file));
    }

    const std::string path = fuzz::scratchDirectory() + "/" + name;
    {
        std::ofstream out (path, std::ios::binary | std::ios::trunc);
        out.write (reinterpret_cast<const char*> (file.data()), (std::streamsize) file.size());
    }
    const juce::File juceFile (path);

    UpdateFileInfo info;
    const int code = info.initWithFile (juceFile);
    check (code == 0 || code == 1 || code == 2 || code == 3 || code == 5, "unknown result code");
    if (n < 32)
        check (code == 2, "a file shorter than its trailer was not refused for its size");
    if (n >= 32 && (mode & mendCrc) != 0)
        check (code != 3, "a file with a correct CRC was refused for its CRC");

    if (n < legacySize)
    {
        UpdateFileController controller;
        const int again = controller.setFile (juceFile);
        check (again == code, "the controller and the reader disagree");
        check (controller.hasUpdateFile() == (code == 0), "a refused file became the current one");
    }

    if (code == 0)
    {
        check (info.fileSize == n, "an accepted file's stated length is not its length");
        check (info.modelName[16] == 0, "the model name is not terminated");
        panel.setUpdateFileInfo (info);

        UlkDeviceInfo device{};
        device.vendorId = info.vendorId;
        device.productId = info.productId;
        device.modelNumber = info.modelNumber;
        std::memcpy (device.modelName, info.modelName, sizeof (device.modelName));
        check (info.isMatchDevice (device), "a file does not match the controller it describes");
        check (UpdateFileController::matchDeviceAndUpdateFile (device, info) == info.isMatchDevice (device),
               "the two matching tests disagree");
    }

    std::remove (path.c_str());
    return 0;
}
