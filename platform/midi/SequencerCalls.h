// The few ALSA sequencer calls our one client makes, as a table, and the plain records they
// trade in: a listing of the system's ports, and the events our client receives (MIDI messages
// as bytes, and the system's announcements of ports and connections). The real table is
// alsa-lib's (AlsaSequencerCalls.cpp); tests put a fake of their own in its place.
//
// One client at a time calls a table: the main thread opens and closes it, the client's input
// thread does the rest. Not real-time safe (system calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/support/SupportDefs.h"

struct SequencerAddress
{
    int client = -1;
    int port = -1;
    bool operator==(const SequencerAddress& other) const
    {
        return client == other.client && port == other.port;
    }
};

// One port of the system, as a listing shows it.
struct SequencerPort
{
    SequencerAddress address;
    std::string client_name;
    std::string port_name;
    bool kernel_client = false; // a driver's (sound card, USB, Midi Through), not a program's
    unsigned type = 0;          // SND_SEQ_PORT_TYPE_* bits
    unsigned capability = 0;    // SND_SEQ_PORT_CAP_* bits
};

struct SequencerEvent
{
    enum Kind : uint8_t
    {
        kMessage,      // bytes from source to our port dest
        kPortStarted,  // source appeared
        kPortExited,   // source went
        kClientExited, // source.client went, with all its ports
        kConnected,    // source was connected to dest (any two ports of the system)
        kDisconnected, // and disconnected
        kOther,
    };
    Kind kind = kOther;
    SequencerAddress source;
    SequencerAddress dest;
    uint8_t length = 0;
    uint8_t bytes[13] = {};
};

struct SequencerHandle;

struct SequencerCalls
{
    // Opens a client of that name with room for input_pool events waiting in the kernel; null,
    // with the reason in *why, when it cannot.
    SequencerHandle* (*open)(const char* name, int input_pool, std::string* why);
    void (*close)(SequencerHandle* sequencer);
    int (*client_id)(SequencerHandle* sequencer);
    // A port of ours that others write to, or -1.
    int (*create_input_port)(SequencerHandle* sequencer, const char* name);
    // The system's announcements, received on our port.
    bool (*watch_announcements)(SequencerHandle* sequencer, int port);
    std::vector<SequencerPort> (*list_ports)(SequencerHandle* sequencer);
    bool (*connect)(SequencerHandle* sequencer, SequencerAddress source, int our_port);
    // A descriptor that polls readable while events wait.
    int (*descriptor)(SequencerHandle* sequencer);
    // The next waiting event; false when none waits. A system-exclusive message comes as
    // messages of at most sizeof(bytes) each, its pieces in order.
    bool (*next_event)(SequencerHandle* sequencer, SequencerEvent* event);
    // Events the kernel could not give us (our input pool overran), since the client opened.
    uint64 (*lost_events)(SequencerHandle* sequencer);
};

const SequencerCalls& AlsaSequencerCalls();

// The table the ALSA sequencer input uses: alsa-lib's unless a test has put another in place
// (before any port is made; null restores alsa-lib's).
const SequencerCalls& CurrentSequencerCalls();
void UseSequencerCalls(const SequencerCalls* calls);
