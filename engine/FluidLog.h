// Where FluidSynth's own messages go: its errors to standard error, each line in one write, and
// its warnings, notes and debug lines to the debug trace (seen in debug mode only). Left to
// itself, the library writes a warning for every empty channel at each load.
#pragma once

// Hands the library our log function for every level, when the loaded library can take one
// (hook_fluid_set_log_function is not null). Main thread, after LoadLibrary and before the
// first settings or synth is made.
void RouteFluidLog();

// The log function itself, for FluidSynth's level (0 panic, 1 error, 2 warning, 3 info,
// 4 debug). Any thread, the audio thread too: real-time safe (no allocation, no lock; one
// write(2) of a line put together on the stack, cut at 1 KiB).
void FluidLogMessage(int level, const char* message, void* data);
