// MIDI applied inside the render, at its frame: JACK MIDI read in the process cycle before the
// render (JackMidiInput.cpp), and ALSA sequencer events stamped as they arrived
// (StampedInput.h), one period later. The render function tells when each buffer starts and
// ends, renders up to an event, calls ApplyCycleMidiBefore, and renders on, so that an event
// keeps its place within the buffer.
//
// Render function only, on the audio thread of any output; real-time safe (no allocation, no
// lock waited for). With no input to apply, they do nothing.
#pragma once

#include <cstddef>

// A buffer of frames at rate begins / has been rendered (or was not).
void CycleMidiBufferStarts(size_t frames, int rate);
void CycleMidiBufferEnds();

// Applies, in order, every event and held-back event falling before the frame limit of the
// buffer being rendered. Returns the frame of the buffer at which the next one falls, or
// SIZE_MAX when none falls within it. Events kept from a buffer that could not be applied
// fall before every limit.
size_t ApplyCycleMidiBefore(size_t limit);
