// The relative timed wait of macOS's POSIX threads, for the simulated macOS
// platform.

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace
{
/** ETIMEDOUT as macOS numbers it, which the callers of the relative wait compare with. */
constexpr int macTimedOut = 60;
} // namespace

extern "C" int pthread_cond_timedwait_relative_np (pthread_cond_t* cond, pthread_mutex_t* mutex,
                                                   const struct timespec* relative)
{
    if (relative == nullptr || relative->tv_sec < 0 || relative->tv_nsec < 0 ||
        relative->tv_nsec >= 1000000000L)
        return EINVAL;

    // A condition made with default attributes waits on the real-time clock.
    timespec deadline;
    clock_gettime (CLOCK_REALTIME, &deadline);
    deadline.tv_sec += relative->tv_sec;
    deadline.tv_nsec += relative->tv_nsec;
    if (deadline.tv_nsec >= 1000000000L)
    {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }

    const int result = pthread_cond_timedwait (cond, mutex, &deadline);
    return result == ETIMEDOUT ? macTimedOut : result;
}
