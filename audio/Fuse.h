// The CPU-overload fuse. A watchdog thread of ordinary priority keeps stamping the time; when the
// audio thread finds the stamp more than 2 s old, it has been starving everybody else, and it
// lowers the polyphony by one slider step (8 voices), or at the lowest step plays 0.25 s of
// silence without rendering, which leaves the processor to the others.
// A trip never waits for anyone: the callback only writes atomics. The new polyphony, the slider,
// the message to a busy window and the debug lines follow on the watchdog's thread, which is what
// the callback could not do in real time.
#pragma once

#include <atomic>

#include "platform/support/Locker.h"

extern std::atomic<bigtime_t> fuse_timer; // the last stamp, by the watchdog or a trip
// Held by the watchdog while it reaches the window, and by the window's destructor while it lets
// go of app_window, so that the window cannot go meanwhile. Never taken by the audio thread.
// Lock order: fuse_locker, then the window's lock, then the engine's.
extern BLocker& fuse_locker;
extern int32 started_fuse_thread; // 1 once the watchdog runs; it is started once per process

// The watchdog: stamps the time every 0.25 s and shows the polyphony the last trip chose, forever.
status_t fuse_thread(void*);

// Starts the watchdog unless it runs already. Main thread, from StartAudio.
void StartFuse();

// The check at the end of every render callback (while the fuse is on). Audio thread; real-time
// safe: it only writes atomics, and the watchdog acts on them.
void FuseCheck();

// The check as at the given time; true when it tripped. Lets tests pick the moment. Any thread;
// real-time safe.
bool FuseCheckAt(bigtime_t now);

// Whether the pause of a trip at the lowest step lasts at the given time: the callback then
// outputs silence without rendering. Audio thread; real-time safe.
bool FusePauseActive(bigtime_t now);
