#include "platform/Locker.h"

#include <ctime>

#include "platform/Threads.h"

BLocker::BLocker()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

BLocker::~BLocker()
{
    pthread_mutex_destroy(&mutex_);
}

bool BLocker::Lock()
{
    return pthread_mutex_lock(&mutex_) == 0;
}

status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
    if (pthread_mutex_trylock(&mutex_) == 0)
        return B_OK;
    bigtime_t deadline = system_time() + timeout;
    do
    {
        timespec pause = {0, 20000};
        nanosleep(&pause, nullptr);
        if (pthread_mutex_trylock(&mutex_) == 0)
            return B_OK;
    } while (system_time() < deadline);
    return B_TIMED_OUT;
}

void BLocker::Unlock()
{
    pthread_mutex_unlock(&mutex_);
}
