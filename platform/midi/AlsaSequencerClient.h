// The process's one ALSA sequencer client, "Harmoloom": its input ports ("MIDI In 1" and
// "MIDI In 2"), the subscription to the system's announcements (on the first port), and one
// input thread, of real-time priority where the system allows it. The thread stamps each
// message as the sequencer hands it over and passes it to its port's StampedInput; it connects
// the hardware sources (SourceConnections.h) at start and as they are plugged in, unless
// HARMOLOOM_AUTOCONNECT=0; and when a source connected to a port leaves (its port or client
// goes, or the connection is removed), it releases that port's notes and sustain.
//
// Main thread; not real-time safe. The sequencer calls are CurrentSequencerCalls().
#pragma once

#include <string>

#include "platform/midi/StampedInput.h"

namespace alsa_client
{

// Opens the client unless it is open, and counts a user in; false, with the reason added to
// *why, when there is no sequencer.
bool Acquire(std::string* why);
// Counts a user out; the last one ends the input thread and closes the client.
void Release();

// Makes our port number index (from 0) named name, its messages going to input; false, with
// the reason, when it cannot. RemovePort returns once the thread no longer uses input.
bool AddPort(int index, const char* name, StampedInput* input, std::string* why);
void RemovePort(int index);

// Starts the input thread unless it runs: every port of the process has been made by now.
void Start();

// Events the kernel could not hand us (its input pool overran).
uint64 LostEvents();

// Where the thread says which source it connected (a line each); null: nowhere. Any thread.
void SetTrace(void (*trace)(const char* line));

} // namespace alsa_client
