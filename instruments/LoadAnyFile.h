// The one way an instrument file reaches the engine: a WAV recording is converted into a
// SoundFont first, anything else is handed to the engine as a SoundFont.
#pragma once

class HARMOLOOM;

// Loads the file at path into the engine with a bank offset. Returns the engine's font handle,
// or 0 when the engine is null, the file cannot be opened, or the load fails. Window thread (the
// main thread at start-up); a long load holds the engine.
int LoadAnyFile(HARMOLOOM* synth, const char* path, int bank);
