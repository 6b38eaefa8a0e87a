#include "platform/support/Threads.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

namespace
{

struct KitThread
{
    thread_func function = nullptr;
    void* data = nullptr;
    char name[32] = {};
    int32 priority = B_NORMAL_PRIORITY;
    thread_id id = -1;

    std::mutex mutex;
    std::condition_variable wake;
    bool started = false;
    bool suspended = false;
    bool parked = false;             // waiting in park_if_suspended
    bool finished = false;           // its function has returned
    std::condition_variable settled; // parked or finished changed
};

// Every thread made by spawn_thread, by id, for as long as it runs.
struct Registry
{
    std::mutex mutex;
    std::map<thread_id, std::shared_ptr<KitThread>> threads;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

thread_local std::shared_ptr<KitThread> current_thread;

// Large enough for the crash handler and the sanitizers' own handlers.
constexpr size_t kAlternateStackSize = 64 * 1024;

struct AlternateStack
{
    void* memory = nullptr;
    ~AlternateStack()
    {
        if (memory == nullptr)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory, kAlternateStackSize);
    }
};

thread_local AlternateStack alternate_stack;

thread_id current_id()
{
    return static_cast<thread_id>(syscall(SYS_gettid));
}

std::shared_ptr<KitThread> lookup(thread_id thread)
{
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    auto found = reg.threads.find(thread);
    return found == reg.threads.end() ? nullptr : found->second;
}

// Where a suspended kit thread waits for resume_thread.
void park_if_suspended()
{
    KitThread* self = current_thread.get();
    if (self == nullptr)
        return;
    std::unique_lock<std::mutex> hold(self->mutex);
    if (!self->suspended)
        return;
    self->parked = true;
    self->settled.notify_all();
    self->wake.wait(hold, [self] { return !self->suspended; });
    self->parked = false;
}

// How long suspend_thread waits for another thread to reach its next pause.
constexpr auto kSuspendPatience = std::chrono::seconds(1);

struct StartInfo
{
    std::shared_ptr<KitThread> thread;
    std::mutex mutex;
    std::condition_variable known;
    bool id_known = false;
};

void* thread_entry(void* argument)
{
    auto* start = static_cast<StartInfo*>(argument);
    std::shared_ptr<KitThread> self = start->thread;
    current_thread = self;
    use_alternate_signal_stack();
    self->id = current_id();
    pthread_setname_np(pthread_self(), self->name);
    {
        Registry& reg = registry();
        std::lock_guard<std::mutex> guard(reg.mutex);
        reg.threads[self->id] = self;
    }
    {
        std::lock_guard<std::mutex> guard(start->mutex);
        start->id_known = true;
        start->known.notify_one();
    }
    // start belongs to spawn_thread from here on and may be gone.

    {
        std::unique_lock<std::mutex> hold(self->mutex);
        self->wake.wait(hold, [&] { return self->started; });
    }
    set_thread_priority(self->id, self->priority);
    park_if_suspended();
    self->function(self->data);
    {
        std::lock_guard<std::mutex> guard(self->mutex);
        self->finished = true;
        self->settled.notify_all();
    }

    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    reg.threads.erase(self->id);
    return nullptr;
}

} // namespace

thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data)
{
    if (function == nullptr)
        return B_BAD_VALUE;

    auto thread = std::make_shared<KitThread>();
    thread->function = function;
    thread->data = data;
    thread->priority = priority;
    if (name != nullptr)
        std::strncpy(thread->name, name, 15); // the system keeps 15 characters of a name

    StartInfo start;
    start.thread = thread;
    pthread_t handle;
    if (pthread_create(&handle, nullptr, thread_entry, &start) != 0)
        return B_NO_MEMORY;
    pthread_detach(handle);

    std::unique_lock<std::mutex> hold(start.mutex);
    start.known.wait(hold, [&] { return start.id_known; });
    return thread->id;
}

status_t resume_thread(thread_id thread)
{
    std::shared_ptr<KitThread> target = lookup(thread);
    if (target == nullptr)
        return B_BAD_THREAD_ID;
    std::lock_guard<std::mutex> guard(target->mutex);
    target->started = true;
    target->suspended = false;
    target->wake.notify_all();
    return B_OK;
}

status_t suspend_thread(thread_id thread)
{
    std::shared_ptr<KitThread> target = lookup(thread);
    if (target == nullptr)
        return B_BAD_THREAD_ID;
    if (target == current_thread)
    {
        {
            std::lock_guard<std::mutex> guard(target->mutex);
            target->suspended = true;
        }
        park_if_suspended();
        return B_OK;
    }
    // Wait (a little) for the thread to stop, so that the caller may then take away what it was
    // using. A thread that has not started yet counts as stopped.
    std::unique_lock<std::mutex> hold(target->mutex);
    target->suspended = true;
    bool stopped = target->settled.wait_for(
        hold, kSuspendPatience,
        [&] { return target->parked || target->finished || !target->started; });
    return stopped ? B_OK : B_TIMED_OUT;
}

thread_id find_thread(const char* name)
{
    if (name == nullptr)
        return current_id();
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    for (const auto& [id, thread] : reg.threads)
    {
        if (std::strncmp(thread->name, name, sizeof(thread->name) - 1) == 0)
            return id;
    }
    return B_NAME_NOT_FOUND;
}

status_t set_thread_priority(thread_id thread, int32 priority)
{
    if (thread <= 0)
        return B_BAD_THREAD_ID;
    if (priority >= B_URGENT_DISPLAY_PRIORITY)
    {
        sched_param parameters{};
        parameters.sched_priority = sched_get_priority_min(SCHED_RR) + (priority - 20) / 10 + 1;
        if (sched_setscheduler(thread, SCHED_RR, &parameters) == 0)
            return B_OK;
        // No real-time rights: a lower nice value still lifts the thread above ordinary ones.
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), -10) == 0)
            return B_OK;
        return B_NOT_ALLOWED;
    }
    sched_param parameters{};
    if (sched_setscheduler(thread, SCHED_OTHER, &parameters) != 0)
        return errno == ESRCH ? B_BAD_THREAD_ID : B_NOT_ALLOWED;
    int nice_value = priority >= B_NORMAL_PRIORITY ? 0 : B_NORMAL_PRIORITY - priority;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice_value) != 0)
        return B_NOT_ALLOWED;
    return B_OK;
}

status_t snooze(bigtime_t microseconds)
{
    park_if_suspended();
    if (microseconds > 0)
    {
        timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += microseconds / 1000000;
        until.tv_nsec += (microseconds % 1000000) * 1000;
        if (until.tv_nsec >= 1000000000)
        {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR)
        {
        }
    }
    park_if_suspended();
    return B_OK;
}

void use_alternate_signal_stack()
{
    stack_t current{};
    if (alternate_stack.memory != nullptr ||
        (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0))
        return; // a sanitizer's runtime may have given the thread one already
    void* memory = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = kAlternateStackSize;
    if (sigaltstack(&stack, nullptr) != 0)
    {
        munmap(memory, kAlternateStackSize);
        return;
    }
    alternate_stack.memory = memory;
}

bigtime_t system_time()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<bigtime_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
