// Whether our ports are connected to the system's at start (the physical audio outputs, the
// hardware MIDI sources): yes, unless HARMOLOOM_AUTOCONNECT=0 leaves the wiring to a session
// manager or patchbay. Any thread.
#pragma once

#include <cstdlib>
#include <cstring>

inline bool AutoConnect()
{
    const char* value = std::getenv("HARMOLOOM_AUTOCONNECT");
    return value == nullptr || std::strcmp(value, "0") != 0;
}
