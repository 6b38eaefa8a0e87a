// The one way an instrument file reaches the engine: a WAV recording is converted into a
// SoundFont first, anything else is handed to the engine as a SoundFont.
#pragma once

#include "engine/FluidBinding.h"

class HARMOLOOM;

// Reads the file at path into the engine's loading synth (see HARMOLOOM::PrepareSoundfont),
// converting a recording first. Null when the engine is null, the file cannot be opened or
// does not load. Holds nothing the music needs; one conversion at a time per process.
fluid_sfont_t* PrepareAnyFile(HARMOLOOM* synth, const char* path);

// PrepareAnyFile, then the font joins the engine with a bank offset. Returns the engine's font
// handle, or 0 when nothing loaded.
int LoadAnyFile(HARMOLOOM* synth, const char* path, int bank);
