// The update-file check (UpdateFileInfo::initWithFile: trailer, CRC-32 of the
// whole file through one 1024-byte buffer) against a bare loop of the same
// byte-table CRC-32 over the same bytes read the same way, with zlib's crc32
// for reference; and the peak resident memory the check adds, which must not
// grow with the file.
//
//   file_check_bench [MiB...]       default: 0.5 64

#include "BenchSupport.h"

#include <UpdateFileBuilder.h>
#include <UpdateFileInfo.h>

#include <juce_core/juce_core.h>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace
{
const std::array<std::uint32_t, 256> table = []
{
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();

/** Reads the file as the check does: its trailer, then all but the last four
    bytes through a 1024-byte buffer, then four zeros in place of the CRC. */
template <typename Feed>
std::uint32_t readAs (const juce::File& file, Feed&& feed)
{
    juce::FileInputStream in (file);
    const auto n = (std::int64_t) file.getSize();
    in.setPosition (n - 32);
    char trailer[32];
    in.read (trailer, 32);
    in.setPosition (0);
    std::int64_t left = n - 4;
    char buffer[1024];
    while (left > 0 && !in.isExhausted())
    {
        const int got = in.read (buffer, (int) std::min<std::int64_t> (left, sizeof (buffer)));
        if (got <= 0)
            break;
        feed (reinterpret_cast<const std::uint8_t*> (buffer), got);
        left -= got;
    }
    const std::uint8_t zeros[4] = {};
    feed (zeros, 4);
    return 0;
}

double bestOf (int runs, const std::function<void()>& f)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
    {
        const auto start = std::chrono::steady_clock::now();
        f();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
        best = std::min (best, d.count());
    }
    return best;
}
} // namespace

int main (int argc, char** argv)
{
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back (std::atof (argv[i]));
    if (sizes.empty())
        sizes = { 0.5, 64 };

    const auto dir =
        juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("ulk-bench", "");
    dir.createDirectory();

    for (double mib : sizes)
    {
        const auto bytes = (std::size_t) (mib * 1048576.0);
        const juce::File file (
            ulktest::UpdateFileBuilder::km3300()
                .imageSize (bytes - 32)
                .writeTo (dir.getChildFile ("update.bin").getFullPathName().toStdString()));
        const int runs = bytes > 8 * 1048576 ? 5 : 50;

        int code = -1;
        bench::resetPeakResident();
        const long residentBefore = bench::residentKiB();
        const double check = bestOf (runs,
                                     [&]
                                     {
                                         UpdateFileInfo info;
                                         code = info.initWithFile (file);
                                     });
        const long peakAdded = bench::peakResidentKiB() - residentBefore;

        std::uint32_t bareCrc = 0, zlibCrc = 0;
        const double bare = bestOf (runs,
                                    [&]
                                    {
                                        std::uint32_t crc = 0xFFFFFFFF;
                                        readAs (file,
                                                [&crc] (const std::uint8_t* p, int n)
                                                {
                                                    for (int i = 0; i < n; ++i)
                                                        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
                                                });
                                        bareCrc = ~crc;
                                    });
        const double zlib = bestOf (runs,
                                    [&]
                                    {
                                        uLong crc = crc32 (0L, Z_NULL, 0);
                                        readAs (file, [&crc] (const std::uint8_t* p, int n)
                                                { crc = crc32 (crc, p, (uInt) n); });
                                        zlibCrc = (std::uint32_t) crc;
                                    });

        if (code != 0 || bareCrc != zlibCrc)
        {
            std::printf ("file check %.1f MiB: failed (code %d)\n", mib, code);
            return 1;
        }
        std::printf ("file check %g MiB: %.4f s, bare byte-table loop %.4f s, ratio %.3f, zlib crc32 %.4f s; "
                     "peak resident +%ld KiB\n",
                     mib, check, bare, check / bare, zlib, peakAdded);
    }
    dir.deleteRecursively();
    return 0;
}
