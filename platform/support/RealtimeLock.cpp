#include "platform/support/RealtimeLock.h"

#include <ctime>

#include "platform/support/Threads.h"

namespace
{

// How long a queued ordinary thread spins for the word before it sleeps between looks: most
// real-time holds (one render) end within it.
constexpr bigtime_t kOrdinarySpin = 50;
constexpr long kOrdinaryNap = 20000; // nanoseconds

// Tells the processor that this is a spin loop: it saves power and lets the other hardware
// thread of the core run.
inline void spin_pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    __asm__ __volatile__("yield");
#endif
}

} // namespace

RealtimeLock::RealtimeLock()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&queue_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

RealtimeLock::~RealtimeLock()
{
    pthread_mutex_destroy(&queue_);
}

uintptr_t RealtimeLock::CurrentThread()
{
    return static_cast<uintptr_t>(pthread_self()); // never 0 for a running thread
}

bool RealtimeLock::TakeWord(uintptr_t thread)
{
    uintptr_t free = 0;
    return holder_.compare_exchange_strong(free, thread, std::memory_order_acquire,
                                           std::memory_order_relaxed);
}

void RealtimeLock::Lock()
{
    uintptr_t self = CurrentThread();
    if (holder_.load(std::memory_order_relaxed) == self)
    {
        count_++;
        return;
    }
    pthread_mutex_lock(&queue_);
    ordinary_waiting_.store(true);
    bigtime_t spin_until = system_time() + kOrdinarySpin;
    while (!TakeWord(self))
    {
        if (system_time() < spin_until)
            spin_pause();
        else
        {
            timespec nap = {0, kOrdinaryNap};
            nanosleep(&nap, nullptr);
        }
    }
    ordinary_waiting_.store(false);
    count_ = 1;
    holds_queue_ = true;
}

status_t RealtimeLock::TryLockFor(bigtime_t patience)
{
    uintptr_t self = CurrentThread();
    if (holder_.load(std::memory_order_relaxed) == self)
    {
        count_++;
        return B_OK;
    }
    bigtime_t deadline = -1;
    for (;;)
    {
        // A queued ordinary thread goes first, so that it cannot be starved.
        if (!ordinary_waiting_.load() && TakeWord(self))
        {
            count_ = 1;
            holds_queue_ = false;
            return B_OK;
        }
        if (patience <= 0)
            return B_TIMED_OUT;
        bigtime_t now = system_time();
        if (deadline < 0)
            deadline = patience > B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + patience;
        else if (now >= deadline)
            return B_TIMED_OUT;
        spin_pause();
    }
}

void RealtimeLock::Unlock()
{
    if (--count_ > 0)
        return;
    bool release_queue = holds_queue_;
    holds_queue_ = false;
    holder_.store(0, std::memory_order_release);
    if (release_queue)
        pthread_mutex_unlock(&queue_);
}

bool RealtimeLock::IsLocked() const
{
    return holder_.load(std::memory_order_relaxed) == CurrentThread();
}

int32 RealtimeLock::CountLocks() const
{
    return IsLocked() ? count_ : 0;
}
