#include "platform/midi/SourceConnections.h"

#include <alsa/asoundlib.h>

#include <algorithm>

namespace
{

std::pair<int, int> key(SequencerAddress address)
{
    return {address.client, address.port};
}

} // namespace

bool IsHardwareSource(const SequencerPort& port, int our_client)
{
    constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    return port.kernel_client && port.address.client != our_client &&
           port.address.client != SND_SEQ_CLIENT_SYSTEM &&
           (port.type & SND_SEQ_PORT_TYPE_HARDWARE) != 0 &&
           (port.type & SND_SEQ_PORT_TYPE_SOFTWARE) == 0 &&
           (port.capability & kReadable) == kReadable &&
           (port.capability & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
}

SourceConnections::SourceConnections(int our_client, std::vector<int> our_ports)
    : our_client_(our_client), our_ports_(std::move(our_ports))
{
}

size_t SourceConnections::PortForDevice(int client)
{
    auto known = devices_.find(client);
    if (known != devices_.end())
        return known->second;
    std::vector<size_t> devices_on(our_ports_.size(), 0);
    for (const auto& [device, index] : devices_)
        devices_on[index]++;
    // The fewest devices; of equals, the first port.
    size_t index = static_cast<size_t>(std::min_element(devices_on.begin(), devices_on.end()) -
                                       devices_on.begin());
    devices_[client] = index;
    return index;
}

std::vector<SourceConnections::Connection>
SourceConnections::AtStart(const std::vector<SequencerPort>& listing)
{
    std::vector<SequencerPort> sorted = listing;
    // By client, then port: devices in the order the system numbered them.
    std::sort(sorted.begin(), sorted.end(),
              [](const SequencerPort& a, const SequencerPort& b)
              {
                  return std::pair(a.address.client, a.address.port) <
                         std::pair(b.address.client, b.address.port);
              });
    std::vector<Connection> connections;
    for (const SequencerPort& port : sorted)
    {
        for (const Connection& connection : PortStarted(sorted, port.address))
            connections.push_back(connection);
    }
    return connections;
}

std::vector<SourceConnections::Connection>
SourceConnections::PortStarted(const std::vector<SequencerPort>& listing, SequencerAddress port)
{
    if (our_ports_.empty() || removed_by_hand_.count(key(port)) != 0)
        return {};
    for (const SequencerPort& entry : listing)
    {
        if (entry.address == port && IsHardwareSource(entry, our_client_))
        {
            made_.insert(key(port));
            return {{port, PortForDevice(port.client)}};
        }
    }
    return {};
}

int SourceConnections::Index(SequencerAddress dest) const
{
    if (dest.client != our_client_)
        return -1;
    auto found = std::find(our_ports_.begin(), our_ports_.end(), dest.port);
    return found != our_ports_.end() ? static_cast<int>(found - our_ports_.begin()) : -1;
}

void SourceConnections::Connected(SequencerAddress source, SequencerAddress dest)
{
    int index = Index(dest);
    // The system's announcements reach us through a connection too: that is no sender.
    if (index >= 0 && source.client != SND_SEQ_CLIENT_SYSTEM)
        senders_.insert({key(source), static_cast<size_t>(index)});
}

std::vector<size_t> SourceConnections::Forget(SequencerAddress source, bool whole_client)
{
    std::vector<size_t> ports;
    for (auto sender = senders_.begin(); sender != senders_.end();)
    {
        bool matches = sender->first.first == source.client &&
                       (whole_client || sender->first.second == source.port);
        if (!matches)
        {
            ++sender;
            continue;
        }
        if (std::find(ports.begin(), ports.end(), sender->second) == ports.end())
            ports.push_back(sender->second);
        sender = senders_.erase(sender);
    }
    return ports;
}

std::vector<size_t> SourceConnections::Disconnected(SequencerAddress source, SequencerAddress dest)
{
    int index = Index(dest);
    if (index < 0 || senders_.erase({key(source), static_cast<size_t>(index)}) == 0)
        return {};
    // Ours, undone while its device stays: the user's doing (a device that leaves takes its
    // marks with it, ClientExited).
    if (made_.erase(key(source)) != 0)
        removed_by_hand_.insert(key(source));
    return {static_cast<size_t>(index)};
}

std::vector<size_t> SourceConnections::PortExited(SequencerAddress port)
{
    made_.erase(key(port));
    removed_by_hand_.erase(key(port));
    return Forget(port, false);
}

std::vector<size_t> SourceConnections::ClientExited(int client)
{
    devices_.erase(client);
    auto of_client = [client](const std::pair<int, int>& source) { return source.first == client; };
    std::erase_if(made_, of_client);
    std::erase_if(removed_by_hand_, of_client);
    return Forget({client, -1}, true);
}
