#include "BenchSupport.h"

#include <dirent.h>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <time.h>

namespace bench
{
std::vector<int> threadIds()
{
    std::vector<int> ids;
    if (DIR* dir = opendir ("/proc/self/task"))
    {
        while (dirent* entry = readdir (dir))
            if (entry->d_name[0] != '.')
                ids.push_back (std::stoi (entry->d_name));
        closedir (dir);
    }
    return ids;
}

double threadCpuSeconds (int tid)
{
    // The first field is the nanoseconds the thread has run.
    std::ifstream in ("/proc/self/task/" + std::to_string (tid) + "/schedstat");
    unsigned long long ns = 0;
    in >> ns;
    return (double) ns * 1e-9;
}

double currentThreadCpuSeconds()
{
    timespec t{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + (double) t.tv_nsec * 1e-9;
}

namespace
{
long statusField (const std::string& name)
{
    std::ifstream in ("/proc/self/status");
    std::string line;
    while (std::getline (in, line))
        if (line.compare (0, name.size(), name) == 0 && line[name.size()] == ':')
            return std::stol (line.substr (name.size() + 1));
    return -1;
}
} // namespace

long residentKiB()
{
    return statusField ("VmRSS");
}

long heapInUseBytes()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return 0;
#else
    const struct mallinfo2 info = mallinfo2();
    return (long) (info.uordblks + info.hblkhd);
#endif
}

long peakResidentKiB()
{
    return statusField ("VmHWM");
}

void resetPeakResident()
{
    std::ofstream ("/proc/self/clear_refs") << "5";
}

int threadCount()
{
    return (int) statusField ("Threads");
}

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir ("/proc/self/fd"))
    {
        while (dirent* entry = readdir (dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir (dir);
    }
    return count - 1; // the directory's own
}
} // namespace bench
