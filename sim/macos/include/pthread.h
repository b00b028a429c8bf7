// The system's <pthread.h> plus the relative timed wait that macOS has.
// Found ahead of the system header by everything that uses the simulated
// macOS platform.

#include_next <pthread.h>

#ifndef SIM_MACOS_PTHREAD_EXTRAS
 #define SIM_MACOS_PTHREAD_EXTRAS

__BEGIN_DECLS

/** Waits on cond for at most the relative time given, like
    pthread_cond_timedwait.  A time-out returns 60, the macOS value of
    ETIMEDOUT (this system's own ETIMEDOUT differs); other results are the
    system's codes. */
int pthread_cond_timedwait_relative_np (pthread_cond_t* cond, pthread_mutex_t* mutex,
                                        const struct timespec* relative);

__END_DECLS
#endif
