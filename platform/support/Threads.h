// Named threads with two priorities, cooperative suspension, sleeping and the clock.
//
// A thread made by spawn_thread starts suspended and runs its function once resume_thread is
// called. Suspension is cooperative: a suspended thread stops at its next snooze() and stays
// there until it is resumed. Thread ids are the system's thread ids, so find_thread(NULL) also
// names threads that the kit did not make (an audio library's callback thread, say).
#pragma once

#include "platform/support/SupportDefs.h"

typedef status_t (*thread_func)(void* data);

enum : int32
{
    B_NORMAL_PRIORITY = 10,
    B_URGENT_DISPLAY_PRIORITY = 20,
};

// Creates a suspended thread. Returns its id, or a negative status. Any thread; not real-time
// safe.
thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data);

// Starts a freshly spawned thread or wakes a suspended one. Any thread.
status_t resume_thread(thread_id thread);

// Asks a kit thread to stop at its next snooze() and waits up to a second until it has (or has
// ended): B_TIMED_OUT when it did not get there. The calling thread itself stops at once.
status_t suspend_thread(thread_id thread);

// The calling thread's id for a null name; otherwise the kit thread of that name, or
// B_NAME_NOT_FOUND.
thread_id find_thread(const char* name);

// 10 is an ordinary thread; 20 and above ask for real-time scheduling where the system allows
// it. Returns B_OK when the priority took effect, B_NOT_ALLOWED when the system refused it.
status_t set_thread_priority(thread_id thread, int32 priority);

// Sleeps for at least the given number of microseconds. A suspended kit thread stops here.
status_t snooze(bigtime_t microseconds);

// Microseconds of a monotonic clock. Real-time safe.
bigtime_t system_time();

// Gives the calling thread a stack of its own for signal handlers (unless it has one already), so
// that a handler installed with SA_ONSTACK runs even after a stack overflow. Freed when the thread
// ends. Every thread the program makes calls it first thing (spawn_thread's threads do it
// themselves); not real-time safe, so the audio thread calls it on its first callback only.
void use_alternate_signal_stack();
