// JACK MIDI applied inside the render, at its frame. The process cycle reads the MIDI ports
// before it renders (JackMidiInput.cpp); the render function renders up to an event, calls this,
// and renders on, so that an event keeps its place within the buffer.
//
// Render function only, on the audio thread; real-time safe (no allocation, no lock waited for).
// Outside JACK's render it does nothing.
#pragma once

#include <cstddef>

// Applies, in order, every event and held-back event falling before the frame limit of the
// buffer being rendered. Returns the frame of the buffer at which the next one falls, or
// SIZE_MAX when none falls within it. Events kept from a buffer that could not be applied
// fall before every limit.
size_t ApplyCycleMidiBefore(size_t limit);
