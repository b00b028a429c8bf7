#include "qmhid_Logger.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace qmhid
{
namespace
{
// The open log file; null before the logger is built, when the file could not
// be opened and after the logger is gone.
std::atomic<FILE*> fp{ nullptr };

constexpr int lineBufferSize = 256;
constexpr int timeBufferSize = 32;
} // namespace

void get_time_str (char* buf, int size)
{
    const std::time_t now = std::time (nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s (&local, &now);
#else
    localtime_r (&now, &local);
#endif
    if (std::strftime (buf, (size_t) size, "%c", &local) == 0 && size > 0)
        buf[0] = 0;
}

Logger* Logger::Instance()
{
    static Logger logger;
    return &logger;
}

Logger::Logger()
{
#if QMHID_MAC_FLAVOUR
    FILE* file = std::fopen ("qmhid_log.txt", "w");
    if (file == nullptr)
    {
        static const char message[] = "Couldn't open log file\n";
        std::fwrite (message, 1, sizeof (message) - 1, stderr);
        return;
    }

    char timeText[timeBufferSize];
    get_time_str (timeText, timeBufferSize);
    std::fprintf (file, "%s\n", timeText);
    fp.store (file);
#endif
}

Logger::~Logger()
{
    if (FILE* file = fp.exchange (nullptr))
        std::fclose (file);
}

int Logger::output (const char* format, ...)
{
#if QMHID_MAC_FLAVOUR
    char text[lineBufferSize];
    va_list args;
    va_start (args, format);
    std::vsnprintf (text, sizeof (text), format, args);
    va_end (args);

    if (FILE* file = fp.load())
    {
        std::fprintf (file, "%s\n", text);
        std::fflush (file);
    }
#else
    (void) format;
#endif
    return 0;
}

int Logger::output_timestamp (const char* text)
{
    char timeText[timeBufferSize];
    get_time_str (timeText, timeBufferSize);
    return output ("[%s] %s", timeText, text);
}
} // namespace qmhid
