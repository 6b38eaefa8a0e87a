// MIDI input: BMidiPort receives from the system and hands channel and system-exclusive messages
// to the BMidi consumer connected to it, calling its handler for each kind of message.
//
// A port is a named input that other software (and the hardware sources, connected
// automatically unless HARMOLOOM_AUTOCONNECT=0) can send to. The ports run on the ALSA sequencer
// (AlsaSequencerInput.cpp: one client for both), or on JACK MIDI on the process's one JACK
// client when the sequencer is absent (JackMidiInput.cpp); HARMOLOOM_MIDI=alsa or jack chooses
// one. When the sources of a port leave, its notes and sustain are released. Each port
// delivers its events on a thread of its own, in order; while an output renders, it delivers
// them instead on the audio thread inside the render, each at its frame (CycleMidi.h). Either way
// every event is timed on the port's clock (MidiClock.h), which is fixed when the port is made. The
// port's queue (MidiQueue.h) keeps a second of dense playing; past that it drops whole messages,
// never the ones that silence a channel, and counts them.
#pragma once

#include <atomic>
#include <memory>

#include "platform/midi/MidiClock.h"
#include "platform/support/SupportDefs.h"

class BMidi
{
public:
    BMidi() = default;
    virtual ~BMidi() = default;

    BMidi(const BMidi&) = delete;
    BMidi& operator=(const BMidi&) = delete;

    // Handlers, called on the delivering port's thread (or inside the render). Channels are
    // 1..16; time is the delivery's in milliseconds of system_time().
    virtual void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time);
    virtual void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time);
    virtual void KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time);
    virtual void ControlChange(uchar channel, uchar controlNumber, uchar controlValue, uint32 time);
    virtual void ProgramChange(uchar channel, uchar programNumber, uint32 time);
    virtual void ChannelPressure(uchar channel, uchar pressure, uint32 time);
    virtual void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time);
    // A whole system-exclusive message, F0 to F7. Always on the port's own thread, never inside
    // the render: what it sets up (a tuning) may allocate.
    virtual void SystemExclusive(const uint8_t* data, size_t length, uint32 time);

    // A consumer that holds events back is called again where they fall due, and after each
    // message, with now on the port's clock. Returns when the next falls due, on that clock;
    // B_INFINITE_TIMEOUT (what the base class returns): nothing is held.
    virtual bigtime_t ApplyHeldEvents(bigtime_t now);

    // A consumer receives events only while started.
    virtual status_t Start();
    virtual void Stop();
    bool IsRunning() const;

    // Inside a handler: when the event takes effect, on the delivering port's clock.
    bigtime_t EventTime() const { return event_time_; }

    // Calls the handler for one channel message that takes effect at when.
    void Dispatch(uint8_t status, uint8_t data1, uint8_t data2, bigtime_t when);
    void DispatchSystemExclusive(const uint8_t* data, size_t length, bigtime_t when);

private:
    std::atomic<bool> running_{false};
    bigtime_t event_time_ = 0;
};

class BMidiPort : public BMidi
{
public:
    // Without a name, ports are named "MIDI In 1", "MIDI In 2" in the order they are made.
    explicit BMidiPort(const char* name = nullptr);
    ~BMidiPort() override;

    status_t InitCheck() const;
    // One consumer per port. Disconnecting delivers what has arrived first, stops accepting
    // more, and waits for a handler that runs; not from the consumer's own handlers.
    void Connect(BMidi* consumer);
    void Disconnect(BMidi* consumer);
    // Starts delivering (the port's thread runs from here on).
    status_t Start() override;
    void Stop() override;

    // What the port runs on: "alsa" or "jack". Chosen by the first port, for the others too.
    const char* BackendName() const;
    // Why the port could not be opened (each back end's reason), or "".
    const char* FailureReason() const;
    // Where the names of the sources connected automatically are told, a line each (null:
    // nowhere). Main thread, before the ports are made; the lines come on the MIDI thread.
    static void SetConnectionTrace(void (*trace)(const char* line));
    // The clock its events are timed on; the system's while it could not be opened.
    const MidiClock& Clock() const;
    // Messages lost because the port's thread or the render fell too far behind.
    uint64 DroppedMessages() const;

    // Feeds bytes as if they had arrived from the system now, for testing the delivery path.
    void Receive(const uint8_t* bytes, size_t count);

    struct Input;

private:
    std::unique_ptr<Input> input_;
};
