// The clock a port's events are timed on, fixed when the port is made: microseconds of
// system_time() for the ALSA sequencer, frames of the JACK client's timeline for JACK MIDI,
// which is read in the process cycle and applied at its frame. Everything that compares two
// times of one port (the note-off delay above all) does so on that port's clock, whichever
// thread delivers the event.
//
// Any thread; real-time safe.
#pragma once

#include "platform/support/SupportDefs.h"

class MidiClock
{
public:
    // The current time on this clock.
    virtual bigtime_t Now() const = 0;
    // A length of time given in microseconds, on this clock.
    virtual bigtime_t DurationOf(bigtime_t microseconds) const = 0;
    // The system_time() at which this clock reads when (for a thread's timed wait).
    virtual bigtime_t SystemTimeAt(bigtime_t when) const = 0;

protected:
    ~MidiClock() = default;
};

// system_time() itself.
const MidiClock& SystemMidiClock();
