#include "tests/support/FakeSequencer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/support/Threads.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr int kOurs = 128;
FakeSequencer* fake = nullptr;

} // namespace

// The table's entries, on the input thread (open and close on the test's).
struct FakeCalls
{
    static SequencerHandle* Open(const char* name, int, std::string*)
    {
        std::lock_guard<std::mutex> hold(fake->lock_);
        fake->client_name_ = name;
        return reinterpret_cast<SequencerHandle*>(fake);
    }
    static void Close(SequencerHandle*) {}
    static int ClientId(SequencerHandle*) { return kOurs; }
    static int CreateInputPort(SequencerHandle*, const char* name)
    {
        std::lock_guard<std::mutex> hold(fake->lock_);
        int port =
            static_cast<int>(std::count_if(fake->ports_.begin(), fake->ports_.end(),
                                           [](auto& p) { return p.address.client == kOurs; }));
        fake->ports_.push_back({{kOurs, port}, fake->client_name_, name, false, 0, 0});
        return port;
    }
    static bool Connect(SequencerHandle*, SequencerAddress source, int port)
    {
        std::lock_guard<std::mutex> hold(fake->lock_);
        fake->connections_.push_back({source, {kOurs, port}});
        fake->Announce(SequencerEvent::kConnected, source, {kOurs, port});
        return true;
    }
    static bool WatchAnnouncements(SequencerHandle* handle, int port)
    {
        return Connect(handle, {0, 1}, port);
    }
    static std::vector<SequencerPort> List(SequencerHandle*)
    {
        std::lock_guard<std::mutex> hold(fake->lock_);
        return fake->ports_;
    }
    static int Descriptor(SequencerHandle*) { return fake->pipe_[0]; }
    static bool Next(SequencerHandle*, SequencerEvent* event)
    {
        if (read(fake->pipe_[0], event, sizeof(*event)) == sizeof(*event))
        {
            std::lock_guard<std::mutex> hold(fake->lock_);
            fake->read_++;
            return true;
        }
        std::lock_guard<std::mutex> hold(fake->lock_);
        fake->settled_ = fake->read_;
        return false;
    }
    static uint64 Lost(SequencerHandle*) { return fake->lost; }
};

namespace
{

const SequencerCalls fake_calls = {FakeCalls::Open,
                                   FakeCalls::Close,
                                   FakeCalls::ClientId,
                                   FakeCalls::CreateInputPort,
                                   FakeCalls::WatchAnnouncements,
                                   FakeCalls::List,
                                   FakeCalls::Connect,
                                   FakeCalls::Descriptor,
                                   FakeCalls::Next,
                                   FakeCalls::Lost};

} // namespace

FakeSequencer::FakeSequencer()
{
    fake = this;
    if (pipe2(pipe_, O_NONBLOCK) != 0)
        ADD_FAILURE() << "no pipe";
    UseSequencerCalls(&fake_calls);
}

FakeSequencer::~FakeSequencer()
{
    UseSequencerCalls(nullptr);
    close(pipe_[0]);
    close(pipe_[1]);
    fake = nullptr;
}

void FakeSequencer::Announce(SequencerEvent::Kind kind, SequencerAddress source,
                             SequencerAddress dest)
{
    SequencerEvent event;
    event.kind = kind;
    event.source = source;
    event.dest = dest;
    if (write(pipe_[1], &event, sizeof(event)) == sizeof(event))
        written_++;
}

void FakeSequencer::AddPort(int client, const std::string& client_name, unsigned type,
                            unsigned capability, bool user)
{
    std::lock_guard<std::mutex> hold(lock_);
    int port = static_cast<int>(std::count_if(ports_.begin(), ports_.end(),
                                              [&](auto& p) { return p.address.client == client; }));
    ports_.push_back({{client, port}, client_name, client_name + " port", !user, type, capability});
    if (!client_name_.empty())
        Announce(SequencerEvent::kPortStarted, {client, port});
}

void FakeSequencer::Unplug(int client)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& [source, dest] : connections_)
    {
        if (source.client == client)
            Announce(SequencerEvent::kDisconnected, source, dest);
    }
    std::erase_if(connections_,
                  [&](auto& connection) { return connection.first.client == client; });
    for (const SequencerPort& port : ports_)
    {
        if (port.address.client == client)
            Announce(SequencerEvent::kPortExited, port.address);
    }
    std::erase_if(ports_, [&](const SequencerPort& port) { return port.address.client == client; });
    Announce(SequencerEvent::kClientExited, {client, -1});
}

void FakeSequencer::DisconnectByHand(SequencerAddress source, int our_port)
{
    std::lock_guard<std::mutex> hold(lock_);
    std::erase_if(connections_, [&](auto& connection)
                  { return connection.first == source && connection.second.port == our_port; });
    Announce(SequencerEvent::kDisconnected, source, {kOurs, our_port});
}

void FakeSequencer::Send(SequencerAddress source, int our_port, std::vector<uint8_t> bytes)
{
    SequencerEvent event;
    event.kind = SequencerEvent::kMessage;
    event.source = source;
    event.dest = {kOurs, our_port};
    event.length = static_cast<uint8_t>(bytes.size());
    std::memcpy(event.bytes, bytes.data(), bytes.size());
    std::lock_guard<std::mutex> hold(lock_);
    if (write(pipe_[1], &event, sizeof(event)) == sizeof(event))
        written_++;
}

void FakeSequencer::Settle()
{
    EXPECT_TRUE(Eventually(
        [this]
        {
            std::lock_guard<std::mutex> hold(lock_);
            return settled_ == written_;
        },
        10));
}

std::string FakeSequencer::Connections()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::string text;
    for (auto& [source, dest] : connections_)
        text += std::to_string(source.client) + ":" + std::to_string(source.port) + ">" +
                std::to_string(dest.port) + " ";
    return text;
}

std::string FakeSequencer::Listing()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::string text = "client 128: '" + client_name_ + "' [type=user]\n";
    for (const SequencerPort& port : ports_)
    {
        if (port.address.client == kOurs)
            text += "    " + std::to_string(port.address.port) + " '" + port.port_name + "'\n";
    }
    return text;
}
