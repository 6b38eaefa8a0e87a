// The process's one JACK client, "Harmoloom": the audio outputs "left" and "right", and room for
// other ports of the process (the JACK MIDI inputs, platform/midi/JackMidiInput.cpp), all served
// by one process callback. Each cycle the callback first hands the cycle to the cycle reader
// (the MIDI inputs read their ports there), then renders.
//
// Everything here but the cycle reader's calls and FrameNow: main thread, not real-time safe
// (talks to the server).
#pragma once

#include <jack/types.h>

#include <cstddef>
#include <string>

#include "platform/media/AudioBackend.h"
#include "platform/support/SupportDefs.h"

namespace jack_client
{

// What reads the cycle before the render. Both calls on the process thread: real-time safe.
class CycleReader
{
public:
    // A cycle of frames begins at first_frame of the client's timeline (frames, see FrameNow);
    // rendering: the render function runs in this cycle.
    virtual void CycleStarts(jack_nframes_t frames, bigtime_t first_frame, bool rendering) = 0;
    // The render of the cycle is over (or did not run).
    virtual void CycleEnds() = 0;

protected:
    ~CycleReader() = default;
};

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

// The reader of every cycle from now on (null: none). Returns once the process callback no
// longer uses the one before.
void SetCycleReader(CycleReader* reader);
// Registers a port of the client; null when it cannot. Unregistering returns once the process
// callback no longer uses the port.
jack_port_t* RegisterPort(const char* name, const char* type, unsigned long flags);
void UnregisterPort(jack_port_t* port);
// Connects the port to the index-th physical port of the system that fits flags
// (JackPortIsInput: a playback port; JackPortIsOutput: a source), unless there is none.
void ConnectPhysical(jack_port_t* port, const char* type, unsigned long flags, size_t index);

// Told of every connection made (connected) or removed between two ports of the server, on the
// server's notification thread (not the process thread); null: nobody. Any thread.
using PortConnectionWatcher = void (*)(jack_port_t* a, jack_port_t* b, bool connected);
void SetPortConnectionWatcher(PortConnectionWatcher watcher);

// The current frame of the client's timeline: the server's frame clock, counted on past the
// 32 bits in which the server keeps it. Any thread; real-time safe.
bigtime_t FrameNow();

} // namespace jack_client
