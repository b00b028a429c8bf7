// Start-up to first paint and resident memory of programs, each against the
// first one given (the bare JUCE window): starts each program on the X
// display of DISPLAY, watches the screen until its pixels change (the first
// paint of its window), then reads the program's resident set after a second
// of idling, and ends it.  Best of five starts.
//
//   startup_bench BARE PROGRAM...

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

std::vector<char> screen (Display* display)
{
    const Window root = DefaultRootWindow (display);
    XWindowAttributes a{};
    XGetWindowAttributes (display, root, &a);
    XImage* image =
        XGetImage (display, root, 0, 0, (unsigned) a.width, (unsigned) a.height, AllPlanes, ZPixmap);
    std::vector<char> pixels;
    if (image != nullptr)
    {
        pixels.assign (image->data, image->data + (size_t) image->bytes_per_line * (size_t) image->height);
        XDestroyImage (image);
    }
    return pixels;
}

long residentKiB (pid_t pid)
{
    std::ifstream in ("/proc/" + std::to_string (pid) + "/status");
    std::string line;
    while (std::getline (in, line))
        if (line.rfind ("VmRSS:", 0) == 0)
            return std::stol (line.substr (6));
    return -1;
}

struct Start
{
    double seconds = -1;
    long residentKiB = -1;
};

Start startOnce (Display* display, const char* program)
{
    const auto before = screen (display);
    std::fflush (stdout); // or the child's freopen writes it out again
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0)
    {
        // Alone in its own directory's worth of state: no arguments, output dropped.
        freopen ("/dev/null", "w", stdout);
        freopen ("/dev/null", "w", stderr);
        execl (program, program, (char*) nullptr);
        _exit (127);
    }
    Start s;
    while (Clock::now() - started < std::chrono::seconds (20))
    {
        if (screen (display) != before)
        {
            s.seconds = std::chrono::duration<double> (Clock::now() - started).count();
            break;
        }
    }
    std::this_thread::sleep_for (std::chrono::seconds (1));
    s.residentKiB = residentKiB (pid);
    kill (pid, SIGKILL);
    waitpid (pid, nullptr, 0);
    // The screen settles back before the next start.
    std::this_thread::sleep_for (std::chrono::milliseconds (200));
    return s;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf (stderr, "usage: startup_bench BARE PROGRAM...\n");
        return 2;
    }
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
    {
        std::fprintf (stderr, "startup_bench: no X display\n");
        return 1;
    }

    Start bare;
    for (int i = 1; i < argc; ++i)
    {
        Start best;
        for (int run = 0; run < 5; ++run)
        {
            const Start s = startOnce (display, argv[i]);
            if (s.seconds < 0)
                continue;
            if (best.seconds < 0 || s.seconds < best.seconds)
                best.seconds = s.seconds;
            best.residentKiB = std::max (best.residentKiB, s.residentKiB);
        }
        if (i == 1)
            bare = best;
        const char* name = std::strrchr (argv[i], '/') != nullptr ? std::strrchr (argv[i], '/') + 1 : argv[i];
        if (best.seconds < 0)
        {
            std::printf ("start-up %s: no paint within 20 s\n", name);
            continue;
        }
        std::printf ("start-up %s: first paint %.3f s (ratio %.2f), resident %ld KiB (ratio %.2f)\n", name,
                     best.seconds, best.seconds / bare.seconds, best.residentKiB,
                     (double) best.residentKiB / (double) bare.residentKiB);
    }
    XCloseDisplay (display);
    return 0;
}
