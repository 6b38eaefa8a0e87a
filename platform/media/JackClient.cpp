#include "platform/media/JackClient.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/support/AutoConnect.h"
#include "platform/support/Threads.h"

namespace
{

// Larger periods than JACK's largest are rendered as silence: the buffer is never grown on the
// process thread.
constexpr size_t kMaxPeriod = 8192;

// A server welcoming another client may turn one away for a moment.
constexpr int kOpenAttempts = 10;
constexpr bigtime_t kBusyPause = 200000;

struct Client
{
    jack_client_t* client = nullptr;
    int users = 0;

    std::atomic<jack_port_t*> left{nullptr};
    std::atomic<jack_port_t*> right{nullptr};
    std::atomic<AudioBackend::Render> render{nullptr};
    void* cookie = nullptr;
    std::atomic<bool> running{false};
    std::atomic<bool> rendering{false};
    std::vector<float> interleaved = std::vector<float>(kMaxPeriod * 2);
    std::atomic<jack_nframes_t> period{0};
    int rate = 0;
    std::atomic<uint64> xruns{0};
    std::atomic<uint64> cycles{0};

    std::atomic<jack_client::CycleReader*> reader{nullptr};
    // The start of the latest cycle on the client's timeline: the server's 32-bit frame clock
    // counted on (written by the process thread).
    std::atomic<bigtime_t> cycle_start{0};
};

Client the_client;

std::atomic<jack_client::PortConnectionWatcher> port_connection_watcher{nullptr};

// Registered before the client is activated, as JACK requires.
void forward_port_connections(jack_client_t* client)
{
    jack_set_port_connect_callback(
        client,
        [](jack_port_id_t a, jack_port_id_t b, int connected, void* data)
        {
            auto* self = static_cast<jack_client_t*>(data);
            jack_client::PortConnectionWatcher watcher = port_connection_watcher.load();
            if (watcher != nullptr)
                watcher(jack_port_by_id(self, a), jack_port_by_id(self, b), connected != 0);
        },
        client);
}

// The server's 32-bit frame time as a frame of the timeline, which goes on past 2^32 frames
// (a day at 48 kHz); frame is at most 2^31 frames away from the latest cycle's start.
bigtime_t on_timeline(const Client& self, jack_nframes_t frame)
{
    bigtime_t start = self.cycle_start.load(std::memory_order_acquire);
    return start + static_cast<int32_t>(frame - static_cast<jack_nframes_t>(start));
}

int process(jack_nframes_t frames, void* data)
{
    auto& self = *static_cast<Client*>(data);
    self.cycles++;
    // Stop clears running and then waits while rendering is set: either it sees this render
    // through to its end, or this sees running cleared.
    self.rendering = true;
    jack_port_t* left_port = self.left;
    jack_port_t* right_port = self.right;
    auto* left = left_port != nullptr ? static_cast<float*>(jack_port_get_buffer(left_port, frames))
                                      : nullptr;
    auto* right = right_port != nullptr
                      ? static_cast<float*>(jack_port_get_buffer(right_port, frames))
                      : nullptr;
    AudioBackend::Render render = self.render.load(std::memory_order_acquire);
    bool rendering = self.running && render != nullptr && frames <= kMaxPeriod && left != nullptr &&
                     right != nullptr;
    bigtime_t first_frame = on_timeline(self, jack_last_frame_time(self.client));
    self.cycle_start.store(first_frame, std::memory_order_release);
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

void silence_jack(const char*) {}

// Waits until the process callback has begun a cycle after now, so that what it read before
// is no longer in use; a server that has stopped calling is waited for a second at most.
void wait_for_a_cycle(Client& self)
{
    uint64 start = self.cycles;
    for (int waited = 0; waited < 1000 && self.cycles < start + 2; waited++)
        snooze(1000);
}

} // namespace

namespace jack_client
{

bool Acquire(std::string* why)
{
    Client& self = the_client;
    if (self.client != nullptr)
    {
        self.users++;
        return true;
    }
    jack_set_error_function(silence_jack);
    jack_set_info_function(silence_jack);
    jack_client_t* client = nullptr;
    for (int attempt = 0; attempt < kOpenAttempts && client == nullptr; attempt++)
    {
        if (attempt > 0)
            snooze(kBusyPause);
        jack_status_t status = static_cast<jack_status_t>(0);
        client = jack_client_open("Harmoloom", JackNoStartServer, &status);
        // JackServerFailed: no server could be reached at all, so there is no one to ask again.
        if (client == nullptr && (status & JackServerFailed) != 0)
        {
            *why += "jack: no server; ";
            return false;
        }
    }
    if (client == nullptr)
    {
        *why += "jack: the server refused the client; ";
        return false;
    }
    self.client = client;
    self.rate = static_cast<int>(jack_get_sample_rate(client));
    self.period = jack_get_buffer_size(client);
    self.cycle_start = jack_frame_time(client);
    // The process thread is the server's to make: it gets what every thread of ours has for the
    // crash handler before its first cycle, not during one.
    jack_set_thread_init_callback(
        client, [](void*) { use_alternate_signal_stack(); }, nullptr);
    jack_set_process_callback(client, process, &self);
    jack_set_buffer_size_callback(client, buffer_size_changed, &self);
    jack_set_xrun_callback(client, xrun, &self);
    forward_port_connections(client);
    if (jack_activate(client) != 0)
    {
        jack_client_close(client);
        self.client = nullptr;
        *why += "jack: the client could not be activated; ";
        return false;
    }
    self.users = 1;
    return true;
}

void Release()
{
    Client& self = the_client;
    if (self.client == nullptr || --self.users > 0)
        return;
    jack_deactivate(self.client);
    jack_client_close(self.client);
    self.client = nullptr;
    self.left = nullptr;
    self.right = nullptr;
    self.render = nullptr;
}

bool AttachAudio(AudioBackend::Render render, void* cookie)
{
    Client& self = the_client;
    if (self.client == nullptr)
        return false;
    // Registered only here: a client that only takes MIDI (the sound going elsewhere) has no
    // outputs to show.
    if (self.left == nullptr)
    {
        jack_port_t* left =
            jack_port_register(self.client, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_port_t* right =
            jack_port_register(self.client, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (left == nullptr || right == nullptr)
            return false;
        self.right = right;
        self.left = left;
    }
    self.cookie = cookie;
    self.render.store(render, std::memory_order_release);
    if (AutoConnect())
    {
        ConnectPhysical(self.left, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        ConnectPhysical(self.right, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 1);
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

void SetCycleReader(CycleReader* reader)
{
    Client& self = the_client;
    self.reader.store(reader, std::memory_order_release);
    if (self.client != nullptr)
        wait_for_a_cycle(self);
}

jack_port_t* RegisterPort(const char* name, const char* type, unsigned long flags)
{
    Client& self = the_client;
    return self.client != nullptr ? jack_port_register(self.client, name, type, flags, 0) : nullptr;
}

void UnregisterPort(jack_port_t* port)
{
    Client& self = the_client;
    if (self.client == nullptr || port == nullptr)
        return;
    wait_for_a_cycle(self);
    jack_port_unregister(self.client, port);
}

void ConnectPhysical(jack_port_t* port, const char* type, unsigned long flags, size_t index)
{
    Client& self = the_client;
    const char** ports = jack_get_ports(self.client, nullptr, type, JackPortIsPhysical | flags);
    if (ports == nullptr)
        return;
    size_t count = 0;
    while (ports[count] != nullptr)
        count++;
    if (index < count)
    {
        if ((flags & JackPortIsInput) != 0)
            jack_connect(self.client, jack_port_name(port), ports[index]);
        else
            jack_connect(self.client, ports[index], jack_port_name(port));
    }
    jack_free(ports);
}

void SetPortConnectionWatcher(PortConnectionWatcher watcher)
{
    port_connection_watcher = watcher;
}

bigtime_t FrameNow()
{
    Client& self = the_client;
    if (self.client == nullptr)
        return self.cycle_start.load(std::memory_order_acquire);
    return on_timeline(self, jack_frame_time(self.client));
}

} // namespace jack_client
