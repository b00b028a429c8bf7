// Makes update files for trying the program by hand:
//
//     make_update_file [options] <file>
//
//     --model QM-KM3300|QM-KM3800   the controller the file is for (QM-KM3300)
//     --version 1.0a2|0x10a2        its firmware version (1.010)
//     --size <bytes>                the whole file's length, trailer included
//                                   (524288); current form only
//     --legacy                      the old 512 KiB form, without a description:
//                                   the program tells its model by the file
//                                   name, KM3300_*.bin or KM3800_*.bin
//     --wrong-crc                   store a CRC that does not hold
//     --wrong-size                  state a length in the trailer that is not
//                                   the file's; current form only
//
// The bytes come from the tests' update file builder, so a file made here is
// one the tests know; versions read as the control window reads them.

#include <UpdateFileBuilder.h>
#include <sim_control/SimulatedWorld.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
int usage (const char* why)
{
    std::fprintf (stderr,
                  "make_update_file: %s\n"
                  "usage: make_update_file [--model QM-KM3300|QM-KM3800] [--version 1.010] [--size BYTES]\n"
                  "                        [--legacy] [--wrong-crc] [--wrong-size] FILE\n",
                  why);
    return 2;
}

std::string fileNameOf (const std::string& path)
{
    const auto slash = path.find_last_of ('/');
    return slash == std::string::npos ? path : path.substr (slash + 1);
}

bool startsWithIgnoringCase (const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && strncasecmp (text.c_str(), prefix.c_str(), prefix.size()) == 0;
}
} // namespace

int main (int argc, char** argv)
{
    std::string model = "QM-KM3300";
    std::uint16_t version = 0x1010;
    std::size_t size = ulktest::UpdateFileBuilder::legacyFileSize;
    bool sizeGiven = false, legacy = false, wrongCrc = false, wrongSize = false;
    std::string path;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--model" && hasValue)
            model = argv[++i];
        else if (arg == "--version" && hasValue)
        {
            if (!simctl::parseVersion (argv[++i], version))
                return usage ("the version reads like 1.0a2 or 0x10a2");
        }
        else if (arg == "--size" && hasValue)
        {
            char* end = nullptr;
            size = std::strtoul (argv[++i], &end, 0);
            if (*end != '\0')
                return usage ("the size is a number of bytes");
            sizeGiven = true;
        }
        else if (arg == "--legacy")
            legacy = true;
        else if (arg == "--wrong-crc")
            wrongCrc = true;
        else if (arg == "--wrong-size")
            wrongSize = true;
        else if (!arg.empty() && arg[0] != '-' && path.empty())
            path = arg;
        else
            return usage (("unknown argument " + arg).c_str());
    }

    if (path.empty())
        return usage ("no file named");
    if (model != "QM-KM3300" && model != "QM-KM3800")
        return usage ("the model is QM-KM3300 or QM-KM3800");
    if (legacy && (sizeGiven || wrongSize))
        return usage ("a legacy image is always 524288 bytes");
    if (!legacy && size < ulktest::UpdateFileBuilder::trailerSize)
        return usage ("a file holds at least its 32-byte trailer");

    auto builder = legacy                 ? ulktest::UpdateFileBuilder::legacy (version)
                   : model == "QM-KM3300" ? ulktest::UpdateFileBuilder::km3300()
                                          : ulktest::UpdateFileBuilder::km3800();
    if (!legacy)
    {
        builder.imageSize (size - ulktest::UpdateFileBuilder::trailerSize).firmwareVersion (version);
        if (wrongSize)
            builder.trailerFileSize ((std::uint32_t) size + ulktest::UpdateFileBuilder::trailerSize);
    }
    if (wrongCrc)
        builder.wrongCrc();

    if (legacy)
    {
        const std::string prefix = model == "QM-KM3300" ? "KM3300_" : "KM3800_";
        const auto name = fileNameOf (path);
        if (!startsWithIgnoringCase (name, prefix) || name.size() < 4 ||
            strcasecmp (name.c_str() + name.size() - 4, ".bin") != 0)
            std::fprintf (stderr,
                          "make_update_file: warning: the program knows a legacy image for %s only by a "
                          "name like %s....bin\n",
                          model.c_str(), prefix.c_str());
    }

    builder.writeTo (path);
    return 0;
}
