// With the ALSA sequencer, a new input port is connected to a hardware source automatically, as
// a user plugging in a keyboard expects.
#pragma once

// Connects the index-th (from 0) hardware MIDI source of the system to this process's sequencer
// port named port_name. Does nothing when there is no such source or no sequencer.
void connect_hardware_source(int index, const char* port_name);

// Whether the ALSA sequencer can be opened (quietly: its absence is no error to report).
bool alsa_sequencer_available();
