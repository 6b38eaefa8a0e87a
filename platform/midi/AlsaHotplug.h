// Hardware MIDI sources that appear while the program runs (a keyboard plugged in) are connected
// to this process's first sequencer input port that has no hardware source yet, as the ones
// present at start are (see AlsaHardwareSources.h). One watching thread for the process, on
// the sequencer's announcements; it runs while a port is watched.
//
// Main thread; not real-time safe.
#pragma once

// Watches for new sources on behalf of the port named port_name of this process.
void watch_hardware_sources(const char* port_name);
// Stops doing so; the last one ends the watching thread (waiting for it, at most 0.2 s).
void unwatch_hardware_sources(const char* port_name);
