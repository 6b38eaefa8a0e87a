// The inputs a MIDI port can run on, and what they hand their events to. A back end owns the
// system's side of one port (an ALSA sequencer port, or a JACK MIDI port of the process's one
// JACK client); the port (Midi.cpp) owns the queue, the delivering thread and the consumer.
//
// Opening and closing: main thread, not real-time safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/midi/MidiClock.h"

// The port, as its back end sees it.
class MidiReceiver
{
public:
    // One whole message as it arrived, at time on the back end's clock, for the port's thread.
    // On one thread of the back end's at a time (with JACK, the process thread); real-time safe.
    virtual void Arrived(const uint8_t* bytes, size_t count, bigtime_t time) = 0;

    // The next three only inside the render (CycleMidi.h), on the audio thread; real-time safe,
    // and they never wait.
    // Hands one message to the consumer, taking effect at frame. False: the consumer cannot be
    // had now; keep the message.
    virtual bool DeliverInCycle(const uint8_t* bytes, size_t count, bigtime_t frame) = 0;
    // Applies what the consumer held back and is due by frame; returns when the next falls due,
    // or B_INFINITE_TIMEOUT.
    virtual bigtime_t ApplyHeldInCycle(bigtime_t frame) = 0;
    // The render has stopped applying events: what the consumer holds is the port's thread's
    // again.
    virtual void CycleDeliveryEnded() = 0;

protected:
    ~MidiReceiver() = default;
};

class MidiInputBackend
{
public:
    virtual ~MidiInputBackend() = default;
    // The clock of the times it hands over.
    virtual const MidiClock& Clock() const = 0;
    // Messages it lost before they reached the port's queue.
    virtual uint64 Dropped() const { return 0; }
    // The port starts delivering: every port of the process has been made by now.
    virtual void Started() {}
};

// Each opens the index-th (from 0) input of the process, named name, or returns null with the
// reason added to *why. The receiver outlives the back end.
std::unique_ptr<MidiInputBackend> OpenAlsaSequencerInput(const char* name, int index,
                                                         MidiReceiver* receiver, std::string* why);
std::unique_ptr<MidiInputBackend> OpenJackMidiInput(const char* name, int index,
                                                    MidiReceiver* receiver, std::string* why);

// JACK's part of ApplyCycleMidiBefore (CycleMidi.h): inside JACK's render only.
size_t ApplyJackCycleMidiBefore(size_t limit);
