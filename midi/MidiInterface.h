// MIDI input: one or two ports, each feeding a MIDIINTERFACE that turns its events into engine
// calls. The first port plays engine channels 0..15, the second 16..31.
//
// Where an event waits: a note-off (and what must keep its order behind it) waits in the
// interface's HeldEvents for the note-off delay, on the port's clock; everything else goes to
// the engine at once. The port's own thread applies held events when they fall due, or, with
// JACK MIDI while the sound renders on JACK, the render does, at their frame.
#pragma once

#include "midi/HeldEvents.h"
#include "platform/midi/Midi.h"

class MIDIINTERFACE : public BMidi, private HeldEvents::Target
{
public:
    // Times its held events on clock, the clock of the port that delivers to it.
    MIDIINTERFACE(int channel_offset, const MidiClock& clock);
    ~MIDIINTERFACE() override = default;

    // On the port's thread (with JACK MIDI, the audio thread inside the render), with the MIDI
    // channel 1..16.
    void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time) override;
    void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time) override;
    void ControlChange(uchar channel, uchar controlNumber, uchar controlValue,
                       uint32 time) override;
    void ProgramChange(uchar channel, uchar programNumber, uint32 time) override;
    void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time) override;
    // Like a controller reset of every channel: what is held on any channel first, then itself.
    void SystemExclusive(const uint8_t* data, size_t length, uint32 time) override;

    // Applies the note-offs that have fallen due by now (on the port's clock), and what waited
    // behind them; returns when the next falls due. On the port's thread.
    bigtime_t ApplyHeldEvents(bigtime_t now) override;

    // Applies everything still held, in order. Once the port is disconnected, before the
    // interface is deleted.
    void ApplyAllHeldEvents();

    // The engine channel of a MIDI channel of this port.
    int EngineChannel(uchar channel) const { return channel + channel_offset - 1; }

    const int channel_offset;

private:
    // Locked on the Channels page: bank selects and program changes are ignored.
    bool IsLocked(uchar channel) const;
    // Through the note-off delay to the engine.
    void Route(uchar status, uchar channel, uchar data1, uchar data2);
    void Apply(const ChannelEvent& event) override;

    HeldEvents held;
};

extern MIDIINTERFACE* midiinterface_a;
extern MIDIINTERFACE* midiinterface_b;
extern BMidiPort* midiport_a;
extern BMidiPort* midiport_b;

// Bank selects: 0 passes all, 1 drops those on MIDI channel 10, 2 or more drops all.
extern int IgnoreBankChanges;
// Non-zero drops program changes on MIDI channel 10.
extern int IgnoreDrumChanges;

// Opens one port, or two when two_ports is non-zero, unless they are open. Ends the process
// through MidiError when a port cannot be made. Main thread, at start-up.
void StartMidiInterface(int two_ports);

// Closes the ports and deletes the interfaces; no handler runs once it returns. Main thread,
// before the engine is deleted.
void StopMidiInterface();

// The MIDI-failure alert, then exit status 1. cause: the back ends' reasons, shown on a line of
// their own ("" for none).
[[noreturn]] void MidiError(const char* cause = "");

// How long a note-off is held back: one audio buffer period plus 1.2 ms, in whole microseconds;
// so that a note whose on and off come together still sounds. The period is the output's own
// (the JACK server's, with JACK), or the stored rate and timing's while no output is open. Each
// port's held events convert it to their own clock.
bigtime_t NoteOffDelay();
