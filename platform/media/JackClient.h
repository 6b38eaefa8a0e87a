// The process's one JACK client, "Harmoloom": the audio outputs "left" and "right", and room for
// other ports of the process (the JACK MIDI inputs, platform/midi/JackMidiInput.cpp), all served
// by one process callback. Each cycle the callback first hands the cycle to the cycle reader
// (the MIDI inputs read their ports there), then renders.
//
// The server may go away (a crash, a restart from a patchbay) and come back. The client then
// keeps its users, its ports and their connections: a watching thread of ours asks about once a
// second for a server (without starting one) and, when one answers, opens the client again with
// the same name and ports, at that server's rate and period, and makes the connections its
// ports had (by the other ports' names; the physical ones again where they were made
// automatically). The event handler hears of both moments.
//
// Everything here but the cycle reader's calls, PortBuffer and FrameNow: main thread, not
// real-time safe (talks to the server).
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
    // A cycle of frames begins at first_frame of the client's timeline (see FrameNow);
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
// The server's rate and period (the last server's while none runs).
int Rate();
size_t Period();
uint64 Underruns();
// False from the moment the server went away until a server took the client back. Any thread.
bool ServerRunning();

// Told on the watching thread when the server has gone (running false) and when one has taken
// the client back (running true, at rate), before its first cycle there. One handler.
typedef void (*ServerHandler)(void* cookie, bool running, int rate);
void SetServerHandler(ServerHandler handler, void* cookie);

// The reader of every cycle from now on (null: none). Returns once the process callback no
// longer uses the one before.
void SetCycleReader(CycleReader* reader);

// Registers a port of the client; its number, or -1. Unregistering returns once the process
// callback no longer uses the port.
int RegisterPort(const char* name, const char* type, unsigned long flags);
void UnregisterPort(int port);
// Connects the port to the index-th physical port of the system that fits its direction (a
// playback port for an output, a source for an input), unless there is none; made again after
// a restart of the server.
void ConnectPhysical(int port, size_t index);
// The port's buffer for this cycle; null while the port has none. Process thread; real-time
// safe.
void* PortBuffer(int port, jack_nframes_t frames);

// Told of every connection made or removed between one of the client's ports and another, with
// how many the port has now, on the server's notification thread (not the process thread);
// null: nobody. A server that goes takes every connection with it unannounced: the count starts
// again from 0 with the next server. Any thread.
using PortConnectionWatcher = void (*)(int port, int connections);
void SetPortConnectionWatcher(PortConnectionWatcher watcher);

// The current frame of the client's timeline. Any thread; real-time safe.
bigtime_t FrameNow();

} // namespace jack_client
