// A recursive mutual-exclusion lock: the thread that holds it may take it again, and must
// release it as often as it took it.
#pragma once

#include <pthread.h>

#include <atomic>

#include "platform/support/SupportDefs.h"

class BLocker
{
public:
    BLocker();
    ~BLocker();

    BLocker(const BLocker&) = delete;
    BLocker& operator=(const BLocker&) = delete;

    // Blocks until the lock is held. Always true: a lock that exists can always be had.
    // Real-time safe as long as no other thread holds the lock for long.
    bool Lock();
    // Gives up after the given number of microseconds; B_OK when the lock is held, B_TIMED_OUT
    // otherwise. Polls rather than sleeping on the lock, so that it is fit for the audio thread.
    status_t LockWithTimeout(bigtime_t timeout);
    void Unlock();

    // Whether the calling thread holds the lock, and how many times it took it.
    bool IsLocked() const;
    int32 CountLocks() const;

private:
    void Acquired();

    pthread_mutex_t mutex_;
    std::atomic<pthread_t> owner_{};
    std::atomic<bool> owned_{false};
    int32 count_ = 0; // only the owner reads or writes it
};

// Holds a BLocker for the life of a scope.
class BAutolock
{
public:
    explicit BAutolock(BLocker& locker) : locker_(locker) { locker_.Lock(); }
    ~BAutolock() { locker_.Unlock(); }

    BAutolock(const BAutolock&) = delete;
    BAutolock& operator=(const BAutolock&) = delete;

private:
    BLocker& locker_;
};
