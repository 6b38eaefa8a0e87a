// A kit thread's wait for its semaphore, posted by whoever has work for it, or for a moment on
// system_time()'s clock, whichever comes first. Not real-time safe (it sleeps).
#pragma once

#include <semaphore.h>

#include <cerrno>
#include <ctime>

#include "platform/support/SupportDefs.h"

// Returns once the semaphore was taken or until (B_INFINITE_TIMEOUT: never) has come.
inline void wait_for_semaphore(sem_t* semaphore, bigtime_t until)
{
    if (until == B_INFINITE_TIMEOUT)
    {
        while (sem_wait(semaphore) != 0 && errno == EINTR)
        {
        }
        return;
    }
    timespec deadline;
    deadline.tv_sec = static_cast<time_t>(until / 1000000);
    deadline.tv_nsec = static_cast<long>(until % 1000000) * 1000;
    while (sem_clockwait(semaphore, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR)
    {
    }
}
