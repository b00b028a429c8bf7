#pragma once

#include "qmhid_Types.h"

namespace qmhid
{
/** The HID library's debug log: "qmhid_log.txt" in the working directory, made
    or emptied by the first line of a run, whose first line is the local time.
    Every line is flushed at once.  In the Windows flavour the logger opens
    nothing and writes nothing. */
class Logger
{
public:
    /** The one logger, built by the first call. */
    static Logger* Instance();

    virtual ~Logger();

    /** Appends one printf-style line of at most 255 characters. */
    int output (const char* format, ...)
#if defined(__GNUC__)
        __attribute__ ((format (printf, 2, 3)))
#endif
        ;

    /** Appends one line "[local time] text". */
    int output_timestamp (const char* text);

private:
    Logger();

    Logger (const Logger&) = delete;
    Logger& operator= (const Logger&) = delete;
};

/** Writes the current local time into buf with strftime's "%c". */
void get_time_str (char* buf, int size);
} // namespace qmhid
