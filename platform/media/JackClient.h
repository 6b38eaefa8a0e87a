// The process's one JACK client, "Harmoloom": the audio outputs "left" and "right" and the MIDI
// inputs "MIDI In 1" and "MIDI In 2", all served by one process callback. MIDI read there is
// applied inside the render, each event at its frame within the buffer (see CycleMidi.h); while
// no audio renders on the client, it goes to the port's own thread as it arrives.
//
// Everything here but the sink's calls: main thread, not real-time safe (talks to the server).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/media/AudioBackend.h"
#include "platform/support/SupportDefs.h"

// What a MIDI input port of the client hands its events to. All calls on the process thread,
// so they must be real-time safe.
class JackMidiSink
{
public:
    // Outside the render: one whole message, as it arrived.
    virtual void ArrivedOutsideRender(const uint8_t* bytes, size_t count) = 0;
    // Inside the render, with frame the time it takes effect on the client's timeline (frames
    // since the client started). False: the consumer cannot be had now; keep the event.
    virtual bool DeliverInCycle(const uint8_t* bytes, size_t count, bigtime_t frame) = 0;
    // Inside the render: applies what the consumer held back and is due by frame; returns when
    // the next falls due, or B_INFINITE_TIMEOUT.
    virtual bigtime_t ApplyHeldInCycle(bigtime_t frame) = 0;
    // A message lost because too many waited for the render.
    virtual void Dropped() = 0;

protected:
    ~JackMidiSink() = default;
};

namespace jack_client
{

// Opens the client unless it is open, and counts a user in. A server that is there but busy
// (welcoming another client) is asked again for about two seconds; without a server it returns
// false at once. The reasons of a failure are added to *why.
bool Acquire(std::string* why);
// Counts a user out; the last one closes the client.
void Release();

// Registers "left" and "right" and renders into them with render from Start to Stop.
bool AttachAudio(AudioBackend::Render render, void* cookie);
void StartAudio();
// Returns once the render function does not run and will not run again.
void StopAudio();
void DetachAudio();
int Rate();
size_t Period();
uint64 Underruns();

// Registers a MIDI input port; its slot (0 or 1), or -1.
int AddMidiInput(const char* name, JackMidiSink* sink);
// Unregisters it; returns once the process callback no longer uses the sink.
void RemoveMidiInput(int slot);

// Whether ports are connected to the system's at start (HARMOLOOM_AUTOCONNECT=0: not).
bool AutoConnect();

} // namespace jack_client
