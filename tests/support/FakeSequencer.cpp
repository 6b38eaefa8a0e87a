#include "tests/support/FakeSequencer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/TestSupport.h"

namespace
{

constexpr int kOurs = 128;
FakeSequencer* fake = nullptr;
using Hold = std::lock_guard<std::recursive_mutex>;

int ports_of(int client)
{
    return static_cast<int>(std::count_if(fake->ports.begin(), fake->ports.end(),
                                          [&](auto& port)
                                          { return port.address.client == client; }));
}

// The table's entries, on the input thread (open and close on the test's).
const SequencerCalls fake_calls = {
    [](const char* name, int, std::string*)
    {
        Hold hold(fake->lock);
        fake->client_name = name;
        return reinterpret_cast<SequencerHandle*>(fake);
    },
    [](SequencerHandle*) {},
    [](SequencerHandle*) { return kOurs; },
    [](SequencerHandle*, const char* name)
    {
        Hold hold(fake->lock);
        fake->ports.push_back({{kOurs, ports_of(kOurs)}, fake->client_name, name, false, 0, 0});
        return ports_of(kOurs) - 1;
    },
    [](SequencerHandle*, int port) // announced, as the kernel does, but no source's connection
    {
        return fake->Announce(SequencerEvent::kConnected, {0, 1}, {kOurs, port}), true;
    },
    [](SequencerHandle*)
    {
        Hold hold(fake->lock);
        return fake->ports;
    },
    [](SequencerHandle*, SequencerAddress source, int port)
    {
        Hold hold(fake->lock);
        fake->connections.push_back({source, {kOurs, port}});
        return fake->Announce(SequencerEvent::kConnected, source, {kOurs, port}), true;
    },
    [](SequencerHandle*) { return fake->pipe[0]; },
    [](SequencerHandle*, SequencerEvent* event)
    {
        bool one = ::read(fake->pipe[0], event, sizeof(*event)) == sizeof(*event);
        Hold hold(fake->lock);
        fake->read += one ? 1 : 0;
        fake->settled = one ? fake->settled : fake->read;
        return one;
    },
    [](SequencerHandle*) { return fake->lost; }};

} // namespace

FakeSequencer::FakeSequencer()
{
    fake = this;
    EXPECT_EQ(pipe2(pipe, O_NONBLOCK), 0);
    UseSequencerCalls(&fake_calls);
}

FakeSequencer::~FakeSequencer()
{
    UseSequencerCalls(nullptr);
    close(pipe[0]);
    close(pipe[1]);
}

void FakeSequencer::Announce(SequencerEvent::Kind kind, SequencerAddress source,
                             SequencerAddress dest, std::vector<uint8_t> bytes)
{
    SequencerEvent event{kind, source, dest, static_cast<uint8_t>(bytes.size())};
    event.dest.client = kind == SequencerEvent::kMessage ? kOurs : dest.client;
    std::copy(bytes.begin(), bytes.end(), event.bytes);
    Hold hold(lock);
    written += write(pipe[1], &event, sizeof(event)) == sizeof(event) ? 1 : 0;
    if (kind == SequencerEvent::kDisconnected)
        std::erase_if(connections,
                      [&](auto& made) { return made.first == source && made.second == dest; });
}

void FakeSequencer::AddPort(int client, const std::string& name, unsigned type, unsigned capability,
                            bool user)
{
    Hold hold(lock);
    ports.push_back({{client, ports_of(client)}, name, name + " port", !user, type, capability});
    if (!client_name.empty())
        Announce(SequencerEvent::kPortStarted, ports.back().address);
}

void FakeSequencer::Unplug(int client)
{
    Hold hold(lock);
    for (auto [source, dest] : std::vector(connections))
    {
        if (source.client == client)
            Announce(SequencerEvent::kDisconnected, source, dest);
    }
    Announce(SequencerEvent::kPortExited, {client, 0});
    std::erase_if(ports, [&](const SequencerPort& port) { return port.address.client == client; });
    Announce(SequencerEvent::kClientExited, {client, -1});
}

void FakeSequencer::Settle()
{
    EXPECT_TRUE(Eventually([this] { return Hold(lock), settled == written; }, 10));
}

std::string FakeSequencer::Connections()
{
    Hold hold(lock);
    std::string text;
    for (auto& [from, to] : connections)
        text += std::to_string(from.client) + ":" + std::to_string(from.port) + ">" +
                std::to_string(to.port) + " ";
    return text;
}
