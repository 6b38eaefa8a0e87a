// The CPU-overload fuse. A watchdog thread of ordinary priority keeps stamping the time; when the
// audio thread finds the stamp more than 2 s old, it has been starving everybody else, and it
// lowers the polyphony by one slider step (8 voices), or pauses a moment at the lowest step.
// A trip never waits long for anyone: the engine takes the new polyphony when it is free (at the
// latest at the next buffer), and a window that is busy is told the new step by a message.
#pragma once

#include "platform/support/Locker.h"

extern bigtime_t fuse_timer; // the last stamp, under fuse_locker
extern BLocker& fuse_locker;
extern int32 started_fuse_thread; // 1 once the watchdog runs; it is started once per process

// The watchdog: stamps the time every 0.25 s, forever.
status_t fuse_thread(void*);

// Starts the watchdog unless it runs already. Main thread, from StartAudio.
void StartFuse();

// The check at the end of every render callback (while the fuse is on), with a quarter of the
// buffer's duration as the longest wait for the window. Audio thread.
void FuseCheck(bigtime_t patience);

// The check as at the given time; true when it tripped. Lets tests pick the moment.
bool FuseCheckAt(bigtime_t now, bigtime_t patience);
