// Which sources our sequencer client connects to its ports, and which ports lose a sender.
//
// A hardware source is a readable port of a device: a driver's client (not a program's), typed
// hardware and not software (so never Midi Through or VirMIDI), exported, not ours. With one
// port every hardware source goes to it, present at start or plugged in later (many senders may
// share a port). With two, the sources of the first device (client) go to port 1, those of the
// second to port 2, later devices to the port with fewer devices. A connection the user removes
// is not made again while its device stays plugged in.
//
// Plain bookkeeping over listings and announcements: no sequencer calls. One thread (the
// client's input thread); not real-time safe (allocates).
#pragma once

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/midi/SequencerCalls.h"

bool IsHardwareSource(const SequencerPort& port, int our_client);

class SourceConnections
{
public:
    struct Connection
    {
        SequencerAddress source;
        size_t port_index; // of our ports, from 0
    };

    // our_ports: the port numbers of our client, in order.
    SourceConnections(int our_client, std::vector<int> our_ports);

    // Every hardware source of the listing, device by device in the order of their clients.
    std::vector<Connection> AtStart(const std::vector<SequencerPort>& listing);
    // A port appeared: its connection, if it is a hardware source.
    std::vector<Connection> PortStarted(const std::vector<SequencerPort>& listing,
                                        SequencerAddress port);

    // What the system announces of connections and leaving ports. The three that end a
    // connection return the indexes of our ports that lost a sender by it.
    void Connected(SequencerAddress source, SequencerAddress dest);
    std::vector<size_t> Disconnected(SequencerAddress source, SequencerAddress dest);
    std::vector<size_t> PortExited(SequencerAddress port);
    std::vector<size_t> ClientExited(int client);

private:
    size_t PortForDevice(int client);
    // Drops the senders that match; the ports they were connected to.
    std::vector<size_t> Forget(SequencerAddress source, bool whole_client);
    int Index(SequencerAddress dest) const; // of our port, or -1

    const int our_client_;
    const std::vector<int> our_ports_;
    std::map<int, size_t> devices_;                            // client -> our port index
    std::set<std::pair<int, int>> made_;                       // connections we made: source
    std::set<std::pair<int, int>> removed_by_hand_;            // sources not to connect again
    std::set<std::pair<std::pair<int, int>, size_t>> senders_; // source, our port index
};
