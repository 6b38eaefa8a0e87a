#include "platform/support/Locker.h"

#include <ctime>

#include "platform/support/Threads.h"

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

void BLocker::Acquired()
{
    if (count_++ == 0)
    {
        owner_ = pthread_self();
        owned_ = true;
    }
}

bool BLocker::Lock()
{
    if (pthread_mutex_lock(&mutex_) != 0)
        return false;
    Acquired();
    return true;
}

status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
    if (pthread_mutex_trylock(&mutex_) == 0)
    {
        Acquired();
        return B_OK;
    }
    bigtime_t now = system_time();
    // An infinite (or any overlong) timeout must not wrap round to a deadline in the past.
    bigtime_t deadline = timeout > B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + timeout;
    do
    {
        timespec pause = {0, 20000};
        nanosleep(&pause, nullptr);
        if (pthread_mutex_trylock(&mutex_) == 0)
        {
            Acquired();
            return B_OK;
        }
    } while (system_time() < deadline);
    return B_TIMED_OUT;
}

void BLocker::Unlock()
{
    if (--count_ == 0)
        owned_ = false;
    pthread_mutex_unlock(&mutex_);
}

bool BLocker::IsLocked() const
{
    return owned_ && pthread_equal(owner_.load(), pthread_self());
}

int32 BLocker::CountLocks() const
{
    return IsLocked() ? count_ : 0;
}
