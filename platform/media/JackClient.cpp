#include "platform/media/JackClient.h"

#include <jack/jack.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/media/JackTimeline.h"
#include "platform/support/AutoConnect.h"
#include "platform/support/Realtime.h"
#include "platform/support/SemaphoreWait.h"
#include "platform/support/Threads.h"

namespace
{

// Larger periods than JACK's largest are rendered as silence: the buffer is never grown on the
// process thread.
constexpr size_t kMaxPeriod = 8192;

// A server welcoming another client may turn one away for a moment.
constexpr int kOpenAttempts = 10;
constexpr bigtime_t kBusyPause = 200000;

// How often the watcher asks for a server while none runs.
constexpr bigtime_t kWatchInterval = 1000000;
// A server that is being stopped may first take the other clients away, and what they leave is
// not what is to be made again: connections that stood this long are made again even when they
// went just before the server did.
constexpr bigtime_t kSettling = 200000;

// The outputs and two MIDI inputs.
constexpr int kPorts = 4;

struct Port
{
    bool used = false;
    std::string name;
    std::string type;
    unsigned long flags = 0;
    long physical = -1; // the physical port it was connected to automatically, or -1
    std::vector<std::string> connections;      // as they were last seen
    std::vector<std::string> settled;          // as they were last seen standing for a while
    std::atomic<jack_port_t*> handle{nullptr}; // null while no server has it
    std::atomic<int> links{0};                 // connections, counted from the server's notices

    void Forget()
    {
        used = false;
        name.clear();
        type.clear();
        physical = -1;
        connections.clear();
        settled.clear();
        handle = nullptr;
        links = 0;
    }
};

struct Client
{
    // Held by every call of ours but the process thread's, and by the watcher.
    std::mutex control;
    std::atomic<jack_client_t*> client{nullptr};
    int users = 0;
    Port ports[kPorts];
    std::atomic<int> left{-1};
    std::atomic<int> right{-1};

    std::atomic<AudioBackend::Render> render{nullptr};
    void* cookie = nullptr;
    std::atomic<bool> running{false};
    std::atomic<bool> rendering{false};
    std::vector<float> interleaved = std::vector<float>(kMaxPeriod * 2);
    std::atomic<jack_nframes_t> period{0};
    std::atomic<int> rate{0};
    std::atomic<uint64> xruns{0};
    std::atomic<uint64> cycles{0};
    std::atomic<jack_client::CycleReader*> reader{nullptr};

    JackTimeline timeline;
    // Process thread, and the watcher before it activates a client: how the server's frame time
    // maps onto the timeline.
    std::atomic<bool> anchored{false};
    jack_nframes_t last_server_frame = 0;
    bigtime_t last_first_frame = 0;

    // The watcher.
    std::thread watcher;
    sem_t wake;
    std::atomic<bool> quitting{false};
    std::atomic<bool> gone{false};
    std::atomic<bool> server_running{false};
    std::atomic<bool> connections_changed{false};
    bigtime_t seen_at = 0;                                    // when the connections were last seen
    std::vector<std::pair<std::string, std::string>> pending; // source, destination
    jack_client::ServerHandler handler = nullptr;
    void* handler_cookie = nullptr;
};

Client the_client;

bigtime_t first_frame_of_cycle(Client& self, jack_client_t* client, bigtime_t now)
{
    jack_nframes_t server_frame = jack_last_frame_time(client);
    bigtime_t first;
    if (!self.anchored.exchange(true, std::memory_order_relaxed))
        first = self.timeline.At(now, self.rate.load(std::memory_order_relaxed));
    else
        first = self.last_first_frame + static_cast<int32_t>(server_frame - self.last_server_frame);
    self.last_server_frame = server_frame;
    self.last_first_frame = first;
    return first;
}

int process(jack_nframes_t frames, void* data) HARMOLOOM_NONBLOCKING
{
    auto& self = *static_cast<Client*>(data);
    self.cycles++;
    // Stop clears running and then waits while rendering is set: either it sees this render
    // through to its end, or this sees running cleared.
    self.rendering = true;
    auto* left = static_cast<float*>(jack_client::PortBuffer(self.left, frames));
    auto* right = static_cast<float*>(jack_client::PortBuffer(self.right, frames));
    AudioBackend::Render render = self.render.load(std::memory_order_acquire);
    bool rendering = self.running && render != nullptr && frames <= kMaxPeriod && left != nullptr &&
                     right != nullptr;
    bigtime_t now = system_time();
    bigtime_t first_frame = first_frame_of_cycle(self, self.client.load(), now);
    self.timeline.Publish(first_frame, now);
    jack_client::CycleReader* reader = self.reader.load(std::memory_order_acquire);
    if (reader != nullptr)
        reader->CycleStarts(frames, first_frame, rendering);
    if (rendering)
    {
        render(self.cookie, self.interleaved.data(), frames);
        for (jack_nframes_t frame = 0; frame < frames; frame++)
        {
            left[frame] = self.interleaved[2 * frame];
            right[frame] = self.interleaved[2 * frame + 1];
        }
    }
    else if (left != nullptr && right != nullptr)
    {
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
    }
    if (reader != nullptr)
        reader->CycleEnds();
    self.rendering = false;
    return 0;
}

int buffer_size_changed(jack_nframes_t frames, void* data)
{
    static_cast<Client*>(data)->period = frames;
    return 0;
}

int xrun(void* data)
{
    static_cast<Client*>(data)->xruns++;
    return 0;
}

// On a thread of JACK's: only flags, and the watcher is woken to act on them.
void server_gone(jack_status_t, const char*, void* data)
{
    auto& self = *static_cast<Client*>(data);
    self.gone = true;
    sem_post(&self.wake);
}

std::atomic<jack_client::PortConnectionWatcher> port_connection_watcher{nullptr};

// On the server's notification thread: the watcher remembers the connections, and the MIDI
// inputs learn how many they have.
void connections_changed(jack_port_id_t a, jack_port_id_t b, int connected, void* data)
{
    auto& self = *static_cast<Client*>(data);
    self.connections_changed = true;
    sem_post(&self.wake);
    jack_client::PortConnectionWatcher watcher = port_connection_watcher.load();
    jack_client_t* client = self.client.load();
    if (watcher == nullptr || client == nullptr)
        return;
    jack_port_t* ends[] = {jack_port_by_id(client, a), jack_port_by_id(client, b)};
    for (int number = 0; number < kPorts; number++)
    {
        Port& port = self.ports[number];
        jack_port_t* handle = port.handle.load();
        if (handle == nullptr || (handle != ends[0] && handle != ends[1]))
            continue;
        int links = connected != 0 ? ++port.links : --port.links;
        if (links < 0)
            port.links = links = 0;
        watcher(number, links);
    }
}

void port_registered(jack_port_id_t, int, void* data)
{
    sem_post(&static_cast<Client*>(data)->wake);
}

void silence_jack(const char*) {}

// Waits until the process callback has begun a cycle after now, so that what it read before
// is no longer in use; a server that has stopped calling is waited for a second at most.
void wait_for_a_cycle(Client& self)
{
    if (self.client.load() == nullptr)
        return;
    uint64 start = self.cycles;
    for (int waited = 0; waited < 1000 && self.cycles < start + 2; waited++)
        snooze(1000);
}

jack_client_t* open_client(bool ask_again, std::string* why)
{
    jack_set_error_function(silence_jack);
    jack_set_info_function(silence_jack);
    for (int attempt = 0; attempt < (ask_again ? kOpenAttempts : 1); attempt++)
    {
        if (attempt > 0)
            snooze(kBusyPause);
        jack_status_t status = static_cast<jack_status_t>(0);
        jack_client_t* client = jack_client_open("Harmoloom", JackNoStartServer, &status);
        if (client != nullptr)
            return client;
        // JackServerFailed: no server could be reached at all, so there is no one to ask again.
        if ((status & JackServerFailed) != 0)
        {
            *why += "jack: no server; ";
            return nullptr;
        }
    }
    *why += "jack: the server refused the client; ";
    return nullptr;
}

void connect_physical(Client& self, Port& port)
{
    jack_client_t* client = self.client.load();
    unsigned long wanted =
        (port.flags & JackPortIsOutput) != 0 ? JackPortIsInput : JackPortIsOutput;
    const char** ports =
        jack_get_ports(client, nullptr, port.type.c_str(), JackPortIsPhysical | wanted);
    if (ports == nullptr)
        return;
    long count = 0;
    while (ports[count] != nullptr)
        count++;
    const char* ours = jack_port_name(port.handle.load());
    if (port.physical < count)
    {
        if (wanted == JackPortIsInput)
            jack_connect(client, ours, ports[port.physical]);
        else
            jack_connect(client, ports[port.physical], ours);
    }
    jack_free(ports);
}

// Closes the client; after the server has gone, only what the library holds is freed.
void close_client(Client& self)
{
    jack_client_t* client = self.client.exchange(nullptr);
    for (Port& port : self.ports)
    {
        port.handle = nullptr;
        port.links = 0; // no notice tells of the connections a server took with it
    }
    if (client == nullptr)
        return;
    if (!self.gone)
        jack_deactivate(client);
    jack_client_close(client);
}

bool register_port(Client& self, Port& port)
{
    jack_port_t* handle =
        jack_port_register(self.client.load(), port.name.c_str(), port.type.c_str(), port.flags, 0);
    port.handle.store(handle, std::memory_order_release);
    return handle != nullptr;
}

void tell(Client& self, bool running)
{
    if (self.handler != nullptr)
        self.handler(self.handler_cookie, running, self.rate);
}

// Sets the new client up with our callbacks and every port we have, and starts it; a client
// taken back by a server is told to the handler before its first cycle.
bool start_client(Client& self, jack_client_t* client, bool taken_back)
{
    self.client = client;
    self.rate = static_cast<int>(jack_get_sample_rate(client));
    self.period = jack_get_buffer_size(client);
    self.anchored = false;
    // The process thread is the server's to make: it gets what every thread of ours has for the
    // crash handler before its first cycle, not during one.
    jack_set_thread_init_callback(
        client, [](void*) { use_alternate_signal_stack(); }, nullptr);
    jack_set_process_callback(client, process, &self);
    jack_set_buffer_size_callback(client, buffer_size_changed, &self);
    jack_set_xrun_callback(client, xrun, &self);
    jack_on_info_shutdown(client, server_gone, &self);
    jack_set_port_connect_callback(client, connections_changed, &self);
    jack_set_port_registration_callback(client, port_registered, &self);
    for (Port& port : self.ports)
    {
        if (port.used)
            register_port(self, port);
    }
    if (taken_back)
        tell(self, true);
    if (jack_activate(client) == 0)
    {
        self.server_running = true;
        return true;
    }
    close_client(self);
    return false;
}

// What was seen before becomes the settled state once it has stood for a while.
void settle_connections(Client& self, bigtime_t now)
{
    if (now - self.seen_at < kSettling)
        return;
    for (Port& port : self.ports)
        port.settled = port.connections;
}

void remember_connections(Client& self, bigtime_t now)
{
    settle_connections(self, now);
    self.seen_at = now;
    for (Port& port : self.ports)
    {
        jack_port_t* handle = port.handle.load();
        if (!port.used || handle == nullptr)
            continue;
        port.connections.clear();
        const char** names = jack_port_get_all_connections(self.client.load(), handle);
        for (size_t index = 0; names != nullptr && names[index] != nullptr; index++)
            port.connections.emplace_back(names[index]);
        jack_free(names);
    }
}

// Makes what can be made of the connections still to make again; the rest waits for its ports.
void make_pending(Client& self)
{
    jack_client_t* client = self.client.load();
    std::vector<std::pair<std::string, std::string>> waiting;
    for (const auto& [source, destination] : self.pending)
    {
        int result = jack_connect(client, source.c_str(), destination.c_str());
        if (result != 0 && result != EEXIST)
            waiting.emplace_back(source, destination);
    }
    self.pending = std::move(waiting);
}

void lose_server(Client& self)
{
    settle_connections(self, system_time());
    self.server_running = false;
    close_client(self);
    self.gone = false;
    tell(self, false);
}

void take_back(Client& self)
{
    std::string why;
    jack_client_t* client = open_client(false, &why);
    if (client == nullptr || !start_client(self, client, true))
        return;
    self.pending.clear();
    for (Port& port : self.ports)
    {
        jack_port_t* handle = port.handle.load();
        if (!port.used || handle == nullptr)
            continue;
        if (port.physical >= 0 && AutoConnect())
            connect_physical(self, port);
        bool output = (port.flags & JackPortIsOutput) != 0;
        std::vector<std::string> others = port.settled;
        others.insert(others.end(), port.connections.begin(), port.connections.end());
        for (const std::string& other : others)
        {
            if (output)
                self.pending.emplace_back(jack_port_name(handle), other);
            else
                self.pending.emplace_back(other, jack_port_name(handle));
        }
    }
    make_pending(self);
}

void watch(Client& self)
{
    pthread_setname_np(pthread_self(), "jack_watcher");
    use_alternate_signal_stack();
    bigtime_t until = system_time() + kWatchInterval;
    for (;;)
    {
        wait_for_semaphore(&self.wake, until);
        std::lock_guard<std::mutex> hold(self.control);
        if (self.quitting)
            return;
        bigtime_t now = system_time();
        if (self.gone && self.client.load() != nullptr)
            lose_server(self);
        if (self.client.load() != nullptr && !self.gone && self.connections_changed.exchange(false))
            remember_connections(self, now);
        if (self.client.load() == nullptr && now >= until)
            take_back(self);
        if (self.client.load() != nullptr && !self.pending.empty())
            make_pending(self);
        if (now >= until)
            until = now + kWatchInterval;
    }
}

int find_port(Client& self, int number)
{
    return number >= 0 && number < kPorts && self.ports[number].used ? number : -1;
}

} // namespace

namespace jack_client
{

bool Acquire(std::string* why)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.control);
    // While the server is away, the client is still ours: it comes back with the server.
    if (self.users > 0)
    {
        self.users++;
        return true;
    }
    jack_client_t* client = open_client(true, why);
    if (client == nullptr)
        return false;
    self.timeline.Publish(0, system_time());
    if (!start_client(self, client, false))
    {
        *why += "jack: the client could not be activated; ";
        return false;
    }
    self.users = 1;
    sem_init(&self.wake, 0, 0);
    self.quitting = false;
    self.watcher = std::thread(watch, std::ref(self));
    return true;
}

void Release()
{
    Client& self = the_client;
    {
        std::lock_guard<std::mutex> hold(self.control);
        if (self.users == 0 || --self.users > 0)
            return;
        self.quitting = true;
        sem_post(&self.wake);
    }
    self.watcher.join();
    std::lock_guard<std::mutex> hold(self.control);
    self.server_running = false;
    close_client(self);
    sem_destroy(&self.wake);
    for (Port& port : self.ports)
        port.Forget();
    self.left = -1;
    self.right = -1;
    self.render = nullptr;
    self.pending.clear();
}

bool AttachAudio(AudioBackend::Render render, void* cookie)
{
    Client& self = the_client;
    // Registered only here: a client that only takes MIDI (the sound going elsewhere) has no
    // outputs to show.
    if (self.left < 0)
    {
        int left = RegisterPort("left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        int right = RegisterPort("right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (left < 0 || right < 0)
            return false;
        self.left = left;
        self.right = right;
    }
    self.cookie = cookie;
    self.render.store(render, std::memory_order_release);
    if (AutoConnect())
    {
        ConnectPhysical(self.left, 0);
        ConnectPhysical(self.right, 1);
    }
    return true;
}

void StartAudio()
{
    the_client.running = true;
}

void StopAudio()
{
    Client& self = the_client;
    self.running = false;
    while (self.rendering)
        snooze(100);
}

void DetachAudio()
{
    StopAudio();
    the_client.render.store(nullptr, std::memory_order_release);
}

int Rate()
{
    return the_client.rate;
}

size_t Period()
{
    return the_client.period;
}

uint64 Underruns()
{
    return the_client.xruns;
}

bool ServerRunning()
{
    return the_client.server_running;
}

void SetServerHandler(ServerHandler handler, void* cookie)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.control);
    self.handler = handler;
    self.handler_cookie = cookie;
}

void SetCycleReader(CycleReader* reader)
{
    Client& self = the_client;
    // Each MIDI input sets the one reader again: only a reader replaced is waited for.
    CycleReader* before = self.reader.exchange(reader, std::memory_order_acq_rel);
    if (before != nullptr && before != reader)
        wait_for_a_cycle(self);
}

int RegisterPort(const char* name, const char* type, unsigned long flags)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.control);
    if (self.users == 0)
        return -1;
    for (int number = 0; number < kPorts; number++)
    {
        Port& port = self.ports[number];
        if (port.used)
            continue;
        port.name = name;
        port.type = type;
        port.flags = flags;
        port.physical = -1;
        port.connections.clear();
        // Without a server now, it is registered when one takes the client back.
        if (self.client.load() != nullptr && !register_port(self, port))
            return -1;
        port.used = true;
        return number;
    }
    return -1;
}

void UnregisterPort(int number)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.control);
    if (find_port(self, number) < 0)
        return;
    Port& port = self.ports[number];
    jack_port_t* handle = port.handle.exchange(nullptr);
    port.used = false;
    wait_for_a_cycle(self);
    if (handle != nullptr && self.client.load() != nullptr)
        jack_port_unregister(self.client.load(), handle);
}

void ConnectPhysical(int number, size_t index)
{
    Client& self = the_client;
    std::lock_guard<std::mutex> hold(self.control);
    if (find_port(self, number) < 0)
        return;
    Port& port = self.ports[number];
    port.physical = static_cast<long>(index);
    if (port.handle.load() != nullptr)
        connect_physical(self, port);
}

void* PortBuffer(int number, jack_nframes_t frames)
{
    if (number < 0 || number >= kPorts)
        return nullptr;
    jack_port_t* handle = the_client.ports[number].handle.load(std::memory_order_acquire);
    return handle != nullptr ? jack_port_get_buffer(handle, frames) : nullptr;
}

void SetPortConnectionWatcher(PortConnectionWatcher watcher)
{
    port_connection_watcher = watcher;
}

bigtime_t FrameNow()
{
    Client& self = the_client;
    return self.timeline.At(system_time(), self.rate.load(std::memory_order_relaxed));
}

} // namespace jack_client
