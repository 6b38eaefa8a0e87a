// The window thread: one thread runs the toolkit's event loop (FLTK) for every window, or, with
// no display, a plain loop of posted work. Everything that touches the toolkit runs on it; other
// threads hand it work.
#pragma once

#include <functional>

// Starts the window thread unless it runs. Any thread.
void start_event_loop();

// Ends the window thread and waits for it. Not on the window thread.
void stop_event_loop();

bool event_loop_running();
bool on_event_loop_thread();

// Whether the window thread drives a real display (FLTK); false when it runs without one.
bool event_loop_has_display();

// Runs work on the window thread: later (after what the window thread is doing now, also when
// called on it), or, with wait, before returning (at once when called on the window thread
// itself). Without a window thread, work runs on the calling thread at once.
// Never wait while holding a window's lock: the window thread may need it to finish.
void run_on_event_loop(std::function<void()> work, bool wait);

// What the program does when the window thread's display goes away (its X server ended, the
// session was logged out). It is called once, on whichever thread found the connection broken,
// in the middle of a toolkit call that holds the toolkit's lock: it may not touch the toolkit,
// wait for another thread, or return. Should it return (or none be set), the process ends at
// once with status 1. Set it before the window thread starts; any thread.
void set_display_lost_handler(void (*handler)());
