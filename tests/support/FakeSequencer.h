// A sequencer of the test's own in place of alsa-lib's (no /dev/snd here): ports the test edits,
// the connections our client (128) makes, and events that reach its input thread through a pipe,
// announcements as the kernel makes them. Test thread; the input thread calls it too (locked).
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/midi/SequencerCalls.h"

struct FakeSequencer
{
    FakeSequencer();  // in place from now on
    ~FakeSequencer(); // alsa-lib's again

    // A device's port (a driver's client unless user); announced once our client is open.
    void AddPort(int client, const std::string& name, unsigned type, unsigned capability,
                 bool user = false);
    // A device unplugged: its connections, port 0 and client go, as the kernel announces them.
    void Unplug(int client);
    // An event for our client: a message (bytes) or an announcement (a disconnection, as by
    // hand, also removes the connection).
    void Announce(SequencerEvent::Kind kind, SequencerAddress source, SequencerAddress dest = {},
                  std::vector<uint8_t> bytes = {});
    void Settle(); // waits until the input thread has handled every event sent so far
    // "source>dest " for each connection to our client.
    std::string Connections();

    std::recursive_mutex lock;
    std::string client_name; // ours, once open
    std::vector<SequencerPort> ports;
    std::vector<std::pair<SequencerAddress, SequencerAddress>> connections;
    int pipe[2] = {-1, -1};
    size_t written = 0, read = 0, settled = 0;
    uint64 lost = 0;
};
