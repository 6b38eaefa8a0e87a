#include "platform/midi/AlsaSequencerClient.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/midi/SequencerCalls.h"
#include "platform/midi/SourceConnections.h"
#include "platform/support/AutoConnect.h"
#include "platform/support/Threads.h"

namespace
{

constexpr int kPorts = 2;
// The kernel's most; its default (200 events) is a fraction of a second of dense playing.
constexpr int kInputPool = 2000;

struct Client
{
    const SequencerCalls* calls = nullptr;
    SequencerHandle* sequencer = nullptr;
    int users = 0;
    int wake[2] = {-1, -1}; // a pipe that ends the thread's wait

    std::mutex ports_lock; // held by the thread while it uses the ports
    int port_numbers[kPorts] = {-1, -1};
    StampedInput* inputs[kPorts] = {};

    std::thread thread;
    std::atomic<bool> quitting{false};
    std::atomic<uint64> lost{0};
};

Client the_client;
std::atomic<void (*)(const char*)> trace{nullptr};

// Runs on the input thread.
class InputThread
{
public:
    explicit InputThread(Client& client) : self_(client) {}
    void Run();

private:
    std::vector<int> OurPorts();
    void Connect(const std::vector<SourceConnections::Connection>& connections,
                 const std::vector<SequencerPort>& listing);
    void Handle(const SequencerEvent& event);
    void Release(const std::vector<size_t>& ports);
    int Index(int port_number) const;

    // A source that sends active sensing promises a message at least every 300 ms: when one
    // falls silent for longer (a DIN cable pulled out of an interface that stays plugged in),
    // its port is released as if it had left. Returns when to look again.
    bigtime_t CheckSensing(bigtime_t now);

    Client& self_;
    std::optional<SourceConnections> plan_;
    bigtime_t sensing_deadline_[kPorts] = {B_INFINITE_TIMEOUT, B_INFINITE_TIMEOUT};
};

constexpr bigtime_t kSensingSilence = 330000;

bigtime_t InputThread::CheckSensing(bigtime_t now)
{
    bigtime_t next = B_INFINITE_TIMEOUT;
    for (size_t index = 0; index < kPorts; index++)
    {
        if (sensing_deadline_[index] <= now)
        {
            sensing_deadline_[index] = B_INFINITE_TIMEOUT;
            Release({index});
        }
        next = std::min(next, sensing_deadline_[index]);
    }
    return next == B_INFINITE_TIMEOUT ? next : next - now;
}

std::vector<int> InputThread::OurPorts()
{
    std::vector<int> ours;
    for (int number : self_.port_numbers)
    {
        if (number >= 0)
            ours.push_back(number);
    }
    return ours;
}

int InputThread::Index(int port_number) const
{
    for (int index = 0; index < kPorts; index++)
    {
        if (self_.port_numbers[index] == port_number && self_.inputs[index] != nullptr)
            return index;
    }
    return -1;
}

void InputThread::Connect(const std::vector<SourceConnections::Connection>& connections,
                          const std::vector<SequencerPort>& listing)
{
    std::vector<int> ours = OurPorts();
    for (const SourceConnections::Connection& connection : connections)
    {
        if (!self_.calls->connect(self_.sequencer, connection.source, ours[connection.port_index]))
            continue;
        void (*say)(const char*) = trace.load();
        auto source = std::find_if(listing.begin(), listing.end(),
                                   [&](const SequencerPort& port)
                                   { return port.address == connection.source; });
        if (say == nullptr || source == listing.end())
            continue;
        std::string line = "MIDI source \"" + source->client_name + ":" + source->port_name +
                           "\" (" + std::to_string(connection.source.client) + ":" +
                           std::to_string(connection.source.port) + ") connected to MIDI In " +
                           std::to_string(connection.port_index + 1);
        say(line.c_str());
    }
}

void InputThread::Release(const std::vector<size_t>& ports)
{
    bigtime_t now = system_time();
    for (size_t index : ports)
    {
        StampedInput* input = self_.inputs[index];
        if (input != nullptr)
            SendReleaseOfEveryChannel([&](const uint8_t(&message)[3])
                                      { input->Arrived(message, sizeof(message), now); });
    }
}

void InputThread::Handle(const SequencerEvent& event)
{
    switch (event.kind)
    {
    case SequencerEvent::kMessage:
    {
        int index = Index(event.dest.port);
        if (index < 0 || event.length == 0)
            break;
        bigtime_t now = system_time();
        self_.inputs[index]->Arrived(event.bytes, event.length, now);
        if (event.bytes[0] == 0xFE || sensing_deadline_[index] != B_INFINITE_TIMEOUT)
            sensing_deadline_[index] = now + kSensingSilence;
        break;
    }
    case SequencerEvent::kPortStarted:
        if (AutoConnect())
        {
            std::vector<SequencerPort> listing = self_.calls->list_ports(self_.sequencer);
            Connect(plan_->PortStarted(listing, event.source), listing);
        }
        break;
    case SequencerEvent::kConnected:
        plan_->Connected(event.source, event.dest);
        break;
    case SequencerEvent::kDisconnected:
        Release(plan_->Disconnected(event.source, event.dest));
        break;
    case SequencerEvent::kPortExited:
        Release(plan_->PortExited(event.source));
        break;
    case SequencerEvent::kClientExited:
        Release(plan_->ClientExited(event.source.client));
        break;
    default:
        break;
    }
}

void InputThread::Run()
{
    use_alternate_signal_stack();
    pthread_setname_np(pthread_self(), "MIDI sequencer");
    // Each message is stamped here: the sooner this thread runs, the truer the stamp.
    set_thread_priority(find_thread(nullptr), B_URGENT_DISPLAY_PRIORITY);
    {
        std::lock_guard<std::mutex> hold(self_.ports_lock);
        plan_.emplace(self_.calls->client_id(self_.sequencer), OurPorts());
        if (AutoConnect())
        {
            std::vector<SequencerPort> listing = self_.calls->list_ports(self_.sequencer);
            Connect(plan_->AtStart(listing), listing);
        }
    }
    pollfd waits[2] = {{self_.calls->descriptor(self_.sequencer), POLLIN, 0},
                       {self_.wake[0], POLLIN, 0}};
    bigtime_t recheck = B_INFINITE_TIMEOUT;
    while (!self_.quitting)
    {
        int timeout = recheck == B_INFINITE_TIMEOUT ? -1 : static_cast<int>(recheck / 1000 + 1);
        poll(waits, 2, timeout);
        std::lock_guard<std::mutex> hold(self_.ports_lock);
        SequencerEvent event;
        bool any = false;
        while (!self_.quitting && self_.calls->next_event(self_.sequencer, &event))
        {
            Handle(event);
            any = true;
        }
        if (any)
            self_.lost = self_.calls->lost_events(self_.sequencer);
        recheck = CheckSensing(system_time());
        for (StampedInput* input : self_.inputs)
        {
            if (input != nullptr)
                recheck = std::min(recheck, input->Check());
        }
    }
}

bool open_client(Client& self, std::string* why)
{
    self.calls = &CurrentSequencerCalls();
    self.sequencer = self.calls->open("Harmoloom", kInputPool, why);
    if (self.sequencer == nullptr)
        return false;
    if (pipe(self.wake) != 0)
    {
        *why += "alsa: no pipe for the input thread; ";
        self.calls->close(self.sequencer);
        self.sequencer = nullptr;
        return false;
    }
    self.users = 0;
    self.lost = 0;
    return true;
}

} // namespace

namespace alsa_client
{

bool Acquire(std::string* why)
{
    Client& self = the_client;
    if (self.sequencer == nullptr && !open_client(self, why))
        return false;
    self.users++;
    return true;
}

void Release()
{
    Client& self = the_client;
    if (self.sequencer == nullptr || --self.users > 0)
        return;
    if (self.thread.joinable())
    {
        self.quitting = true;
        char wake = 0;
        (void)!write(self.wake[1], &wake, 1);
        self.thread.join();
        self.quitting = false;
    }
    close(self.wake[0]);
    close(self.wake[1]);
    self.calls->close(self.sequencer);
    self.sequencer = nullptr;
}

bool AddPort(int index, const char* name, StampedInput* input, std::string* why)
{
    Client& self = the_client;
    if (index < 0 || index >= kPorts || self.port_numbers[index] >= 0)
    {
        *why += "alsa: no room for another port; ";
        return false;
    }
    int number = self.calls->create_input_port(self.sequencer, name);
    if (number < 0)
    {
        *why += "alsa: the port could not be made; ";
        return false;
    }
    // The first port also hears of sources that come and go.
    if (index == 0)
        self.calls->watch_announcements(self.sequencer, number);
    std::lock_guard<std::mutex> hold(self.ports_lock);
    self.port_numbers[index] = number;
    self.inputs[index] = input;
    return true;
}

void RemovePort(int index)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.ports_lock);
    self.inputs[index] = nullptr;
    self.port_numbers[index] = -1;
}

void Start()
{
    Client& self = the_client;
    if (self.sequencer != nullptr && !self.thread.joinable())
        self.thread = std::thread([] { InputThread(the_client).Run(); });
}

uint64 LostEvents()
{
    return the_client.lost;
}

void SetTrace(void (*say)(const char* line))
{
    trace = say;
}

} // namespace alsa_client
