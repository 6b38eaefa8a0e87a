// MIDI input: BMidiPort receives from the system and hands channel messages to the BMidi
// consumer connected to it, calling its handler for each kind of message.
//
// A port is a named input that other software (and the first or second hardware source,
// connected automatically unless HARMOLOOM_AUTOCONNECT=0) can send to. It uses the ALSA
// sequencer, or JACK MIDI on the process's one JACK client when the sequencer is absent;
// HARMOLOOM_MIDI=alsa or jack chooses one. Each port delivers its events on a thread of its own,
// in order, with the time they arrived (milliseconds of system_time()); a handler that sleeps
// holds back the later events of its port only. With JACK MIDI while the sound player renders
// on JACK, events are instead delivered on the audio thread inside the render, each at its
// frame (platform/media/CycleMidi.h), and the consumer's clock is the frame (see Now()). The port
// keeps a second of dense playing waiting for its thread; past that it drops whole messages,
// never all-sound-off, reset-all-controllers or all-notes-off, and counts them.
#pragma once

#include <atomic>
#include <memory>

#include "platform/support/SupportDefs.h"
#include "platform/support/Threads.h"

class BMidi
{
public:
    BMidi() = default;
    virtual ~BMidi() = default;

    BMidi(const BMidi&) = delete;
    BMidi& operator=(const BMidi&) = delete;

    // Handlers, called on the delivering port's thread. Channels are 1..16.
    virtual void NoteOff(uchar channel, uchar note, uchar velocity, uint32 time);
    virtual void NoteOn(uchar channel, uchar note, uchar velocity, uint32 time);
    virtual void KeyPressure(uchar channel, uchar note, uchar pressure, uint32 time);
    virtual void ControlChange(uchar channel, uchar controlNumber, uchar controlValue, uint32 time);
    virtual void ProgramChange(uchar channel, uchar programNumber, uint32 time);
    virtual void ChannelPressure(uchar channel, uchar pressure, uint32 time);
    virtual void PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time);

    // A consumer that holds events back is called again on the delivering port's thread at the
    // time this returns, and after each message; now is system_time(). B_INFINITE_TIMEOUT (what
    // the base class returns): nothing is held.
    virtual bigtime_t ApplyHeldEvents(bigtime_t now);

    // A consumer receives events only while started.
    virtual status_t Start();
    virtual void Stop();
    bool IsRunning() const;

    // Sleeps until the given time (milliseconds of system_time()); returns at once for a time
    // that has come. Any thread.
    void SnoozeUntil(uint32 time) const;

    // The clock the consumer's held-back events run on, on the delivering thread: the frame
    // of the JACK timeline at which the event being delivered takes effect once a port has
    // delivered inside the JACK render, else system_time().
    bigtime_t Now() const { return frame_now_ >= 0 ? frame_now_ : system_time(); }
    bool OnFrameClock() const { return frame_now_ >= 0; }
    // Set by the delivering port before each event.
    void SetFrameClock(bigtime_t frame) { frame_now_ = frame; }

    // Calls the handler for one channel message.
    void Dispatch(uint8_t status, uint8_t data1, uint8_t data2, uint32 time);

private:
    std::atomic<bool> running_{false};
    bigtime_t frame_now_ = -1;
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

    // What the port runs on: "alsa" or "jack".
    const char* BackendName() const;
    // Messages lost because the port's thread fell too far behind.
    uint64 DroppedMessages() const;

    // Feeds bytes as if they had arrived from the system, for testing the delivery path.
    void Receive(const uint8_t* bytes, size_t count);

    struct Input;

private:
    std::unique_ptr<Input> input_;
};
