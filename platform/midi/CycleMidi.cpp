#include "platform/midi/CycleMidi.h"

#include <algorithm>

#include "platform/midi/MidiInputBackend.h"
#include "platform/midi/StampedInput.h"

void CycleMidiBufferStarts(size_t frames, int rate)
{
    StampedInput::BufferStarts(frames, rate);
}

void CycleMidiBufferEnds()
{
    StampedInput::BufferEnds();
}

size_t ApplyCycleMidiBefore(size_t limit)
{
    return std::min(ApplyJackCycleMidiBefore(limit), StampedInput::ApplyBefore(limit));
}
