// make_update_file.exe <path> good|wrong-crc: writes a QM-KM3300 update file
// for the runs of the Windows program under wine, with its trailer's CRC right
// or wrong.

#include <UpdateFileBuilder.h>

#include <cstdio>
#include <string>

int main (int argc, char** argv)
{
    const std::string kind = argc == 3 ? argv[2] : "";
    if (kind != "good" && kind != "wrong-crc")
    {
        std::fprintf (stderr, "usage: make_update_file <path> good|wrong-crc\n");
        return 2;
    }

    auto builder = ulktest::UpdateFileBuilder::km3300();
    if (kind == "wrong-crc")
        builder.wrongCrc();
    builder.writeTo (argv[1]);
    return 0;
}
