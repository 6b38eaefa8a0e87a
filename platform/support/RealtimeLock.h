// A recursive lock shared by one real-time thread and any number of ordinary threads, in which
// the real-time side never sleeps, never makes a blocking call and never releases a mutex that
// another thread may be waiting on.
//
// Who holds it is one atomic word (the holder's thread, or 0). The real-time side takes it with
// a compare-exchange and gives it back with a store. Ordinary threads first queue among
// themselves on a priority-inheritance mutex (so a low-priority holder is lifted while a more
// urgent thread waits behind it), then take the word. While one of them waits for the word,
// the real-time side does not take it again: an ordinary thread gets the lock after at most
// the real-time side's current hold, however often that side comes back.
//
// Real-time safe: TryLockFor, and Unlock of a hold that TryLockFor took (a store). A thread
// that already holds the lock may also take it again with Lock, which then only counts.
// Ordinary threads only: a first Lock (it may sleep), and the Unlock that ends it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/support/SupportDefs.h"

class RealtimeLock
{
public:
    RealtimeLock();
    ~RealtimeLock();

    RealtimeLock(const RealtimeLock&) = delete;
    RealtimeLock& operator=(const RealtimeLock&) = delete;

    // Waits until the lock is held. Ordinary threads; recursive.
    void Lock();
    // Takes the lock if it can be had within patience microseconds, spinning meanwhile (a pause
    // instruction and a clock read each turn, nothing else); 0 tries once. B_OK when held,
    // B_TIMED_OUT otherwise. Any thread, the real-time one included; recursive.
    status_t TryLockFor(bigtime_t patience);
    // Releases one take. The holder only.
    void Unlock();

    // Whether the calling thread holds the lock, and how many times it took it.
    bool IsLocked() const;
    int32 CountLocks() const;

private:
    static uintptr_t CurrentThread();
    bool TakeWord(uintptr_t thread);

    pthread_mutex_t queue_; // ordinary threads take it before the word, and hold it with it
    std::atomic<uintptr_t> holder_{0};
    std::atomic<bool> ordinary_waiting_{false}; // a queued ordinary thread wants the word next
    // Only the holder reads or writes these.
    int32 count_ = 0;
    bool holds_queue_ = false;
};

// Holds a RealtimeLock with Lock for the life of a scope: ordinary threads, or a thread that
// already holds the lock.
class RealtimeAutolock
{
public:
    explicit RealtimeAutolock(RealtimeLock& lock) : lock_(lock) { lock_.Lock(); }
    ~RealtimeAutolock() { lock_.Unlock(); }

    RealtimeAutolock(const RealtimeAutolock&) = delete;
    RealtimeAutolock& operator=(const RealtimeAutolock&) = delete;

private:
    RealtimeLock& lock_;
};
