// Where FluidSynth's own messages go: its errors to standard error, each line in one write, and
// its warnings, notes and debug lines to the debug trace (seen in debug mode only). Left to
// itself, the library writes a warning for every empty channel at each load.
#pragma once

// Hands the library our log function for every level, when the loaded library can take one
// (hook_fluid_set_log_function is not null), and GLib's messages (from the libraries FluidSynth
// is built on) to the same function, when the library brought GLib with it. Main thread, after
// LoadLibrary and before the first settings or synth is made.
void RouteFluidLog();

// The log function itself, for FluidSynth's level (0 panic, 1 error, 2 warning, 3 info,
// 4 debug). Any thread, the audio thread too: real-time safe (no allocation, no lock). On other
// threads, one write(2) of a line put together on the stack, cut at 1 KiB. On a thread that
// has called DeferFluidLogOnThisThread (the audio thread, where notes are applied with JACK),
// no write at all: the line, cut at 240 bytes, waits for FlushFluidLog; when 32 lines wait,
// later ones are lost.
void FluidLogMessage(int level, const char* message, void* data);

// From now on, this thread's lines wait for FlushFluidLog. The audio thread, once.
void DeferFluidLogOnThisThread();

// Writes the lines that wait. Any thread but a deferring one; not real-time safe. The meter
// thread calls it at its pace, StopAudio once more.
void FlushFluidLog();
