// A sequencer of the test's own in place of alsa-lib's (these machines have no /dev/snd): a
// listing of clients and ports the test edits, the connections our client makes, and events
// that reach our client's input thread through a pipe, announcements as the kernel makes them.
// Our client is 128, its ports 0 and 1. Test thread; the input thread calls it too (locked).
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/midi/SequencerCalls.h"

class FakeSequencer
{
public:
    FakeSequencer();  // in place from now on
    ~FakeSequencer(); // alsa-lib's again

    // A device's port (a driver's client unless user); announced once our client is open.
    void AddPort(int client, const std::string& client_name, unsigned type, unsigned capability,
                 bool user = false);
    // A device unplugged: its connections, ports and client go, as the kernel announces them.
    void Unplug(int client);
    void DisconnectByHand(SequencerAddress source, int our_port);
    // A port of a device still plugged in announced again (a driver re-registering it).
    void Reannounce(SequencerAddress port)
    {
        std::lock_guard<std::mutex> hold(lock_);
        Announce(SequencerEvent::kPortStarted, port);
    }
    void Send(SequencerAddress source, int our_port, std::vector<uint8_t> bytes);
    // Waits until the input thread has handled every event sent so far.
    void Settle();

    // "source>dest " for each connection to our client, in the order they were made.
    std::string Connections();
    // Our client as `aconnect -l` shows it.
    std::string Listing();
    uint64 lost = 0;

private:
    friend struct FakeCalls;
    void Announce(SequencerEvent::Kind kind, SequencerAddress source, SequencerAddress dest = {});

    std::mutex lock_;
    std::string client_name_; // ours, once open
    std::vector<SequencerPort> ports_;
    std::vector<std::pair<SequencerAddress, SequencerAddress>> connections_;
    int pipe_[2] = {-1, -1};
    size_t written_ = 0, read_ = 0, settled_ = 0;
};
