#include "platform/media/JackClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/media/CycleMidi.h"
#include "platform/midi/MidiParser.h"
#include "platform/support/Threads.h"

namespace
{

// Larger periods than JACK's largest are rendered as silence: the buffer is never grown on the
// process thread.
constexpr size_t kMaxPeriod = 8192;

// A server welcoming another client may turn one away for a moment.
constexpr int kOpenAttempts = 10;
constexpr bigtime_t kBusyPause = 200000;

// A second of 10,000 messages a second can wait for a render held up by a SoundFont load; the
// last places are kept for the messages that silence a channel.
constexpr size_t kPending = 16384;
constexpr size_t kKeptForSilencing = 256;

struct PendingEvent
{
    bigtime_t frame;
    uint8_t slot;
    uint8_t length;
    uint8_t bytes[3];
};

struct MidiSlot
{
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<JackMidiSink*> sink{nullptr};
    bigtime_t held_due = B_INFINITE_TIMEOUT; // process thread
};

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

    MidiSlot slots[2];

    // Process thread only.
    std::vector<PendingEvent> pending = std::vector<PendingEvent>(kPending);
    size_t pending_count = 0;
    size_t pending_next = 0; // the first not yet applied
    bigtime_t timeline = 0;  // frames since the client started
    bigtime_t buffer_start = 0;
    bool in_render = false;
};

Client the_client;

// Inserts after every event of an earlier or equal frame, so that order of arrival holds.
void keep(Client& self, const PendingEvent& event, JackMidiSink* sink)
{
    bool silencing = SilencesAChannel(event.bytes, event.length);
    if (self.pending_count == kPending ||
        (!silencing && self.pending_count >= kPending - kKeptForSilencing))
    {
        sink->Dropped();
        return;
    }
    size_t at = self.pending_count;
    while (at > self.pending_next && self.pending[at - 1].frame > event.frame)
    {
        self.pending[at] = self.pending[at - 1];
        at--;
    }
    self.pending[at] = event;
    self.pending_count++;
}

void read_midi(Client& self, jack_nframes_t frames, bool rendering)
{
    for (uint8_t slot = 0; slot < 2; slot++)
    {
        jack_port_t* port = self.slots[slot].port.load(std::memory_order_acquire);
        JackMidiSink* sink = self.slots[slot].sink.load(std::memory_order_acquire);
        if (port == nullptr || sink == nullptr)
            continue;
        void* buffer = jack_port_get_buffer(port, frames);
        jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t index = 0; index < count; index++)
        {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, index) != 0 || event.size == 0)
                continue;
            // System messages (exclusive, clock, sensing) play nothing: they are not kept.
            if (!rendering || event.size > 3 || event.buffer[0] >= 0xF0)
            {
                if (!rendering)
                    sink->ArrivedOutsideRender(event.buffer, event.size);
                continue;
            }
            PendingEvent pending{
                self.timeline + event.time, slot, static_cast<uint8_t>(event.size), {0, 0, 0}};
            std::memcpy(pending.bytes, event.buffer, event.size);
            keep(self, pending, sink);
        }
    }
}

// Removes what has been applied, keeping the rest for the next buffer.
void forget_applied(Client& self)
{
    if (self.pending_next == 0)
        return;
    size_t left = self.pending_count - self.pending_next;
    std::memmove(self.pending.data(), self.pending.data() + self.pending_next,
                 left * sizeof(PendingEvent));
    self.pending_count = left;
    self.pending_next = 0;
}

int process(jack_nframes_t frames, void* data)
{
    auto& self = *static_cast<Client*>(data);
    self.cycles++;
    // Stop clears running and then waits while rendering is set: either it sees this render
    // through to its end, or this sees running cleared.
    self.rendering = true;
    bool rendering = self.running;
    read_midi(self, frames, rendering);

    jack_port_t* left_port = self.left;
    jack_port_t* right_port = self.right;
    auto* left = left_port != nullptr ? static_cast<float*>(jack_port_get_buffer(left_port, frames))
                                      : nullptr;
    auto* right = right_port != nullptr
                      ? static_cast<float*>(jack_port_get_buffer(right_port, frames))
                      : nullptr;
    AudioBackend::Render render = self.render.load(std::memory_order_acquire);
    if (rendering && render != nullptr && frames <= kMaxPeriod && left != nullptr &&
        right != nullptr)
    {
        self.buffer_start = self.timeline;
        self.in_render = true;
        render(self.cookie, self.interleaved.data(), frames);
        self.in_render = false;
        for (jack_nframes_t frame = 0; frame < frames; frame++)
        {
            left[frame] = self.interleaved[2 * frame];
            right[frame] = self.interleaved[2 * frame + 1];
        }
        forget_applied(self);
    }
    else if (left != nullptr && right != nullptr)
    {
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
    }
    self.timeline += frames;
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

// Connects our port to the index-th physical port of the kind, unless there is none.
void connect_physical(jack_client_t* client, jack_port_t* port, const char* type,
                      unsigned long flags, size_t index)
{
    const char** ports = jack_get_ports(client, nullptr, type, JackPortIsPhysical | flags);
    if (ports == nullptr)
        return;
    size_t count = 0;
    while (ports[count] != nullptr)
        count++;
    if (index < count)
    {
        if ((flags & JackPortIsInput) != 0)
            jack_connect(client, jack_port_name(port), ports[index]);
        else
            jack_connect(client, ports[index], jack_port_name(port));
    }
    jack_free(ports);
}

// Waits until the process callback has begun a cycle after now, so that what it read before
// is no longer in use; a server that has stopped calling is waited for a second at most.
void wait_for_a_cycle(Client& self)
{
    uint64 start = self.cycles;
    for (int waited = 0; waited < 1000 && self.cycles < start + 2; waited++)
        snooze(1000);
}

} // namespace

size_t ApplyCycleMidiBefore(size_t limit)
{
    Client& self = the_client;
    if (!self.in_render)
        return SIZE_MAX;
    bigtime_t end = self.buffer_start + static_cast<bigtime_t>(limit);
    for (;;)
    {
        // The earliest of the next event and the ports' held events.
        bigtime_t next = B_INFINITE_TIMEOUT;
        int held_slot = -1;
        if (self.pending_next < self.pending_count)
            next = self.pending[self.pending_next].frame;
        for (int slot = 0; slot < 2; slot++)
        {
            if (self.slots[slot].held_due < next)
            {
                next = self.slots[slot].held_due;
                held_slot = slot;
            }
        }
        if (next >= end)
            break;
        // Late ones (kept from a silent buffer) take effect where the render is now.
        bigtime_t at = std::max(next, self.buffer_start);
        if (held_slot >= 0)
        {
            MidiSlot& slot = self.slots[held_slot];
            JackMidiSink* sink = slot.sink.load(std::memory_order_acquire);
            bigtime_t due = sink != nullptr ? sink->ApplyHeldInCycle(at) : B_INFINITE_TIMEOUT;
            slot.held_due = due <= at ? at + 1 : due;
            continue;
        }
        PendingEvent& event = self.pending[self.pending_next];
        MidiSlot& slot = self.slots[event.slot];
        JackMidiSink* sink = slot.sink.load(std::memory_order_acquire);
        if (sink != nullptr)
        {
            if (!sink->DeliverInCycle(event.bytes, event.length, at))
                return SIZE_MAX; // kept, in order, for the next buffer
            bigtime_t due = sink->ApplyHeldInCycle(at);
            slot.held_due = due <= at ? at + 1 : due;
        }
        self.pending_next++;
    }
    bigtime_t next = B_INFINITE_TIMEOUT;
    if (self.pending_next < self.pending_count)
        next = self.pending[self.pending_next].frame;
    next = std::min({next, self.slots[0].held_due, self.slots[1].held_due});
    if (next == B_INFINITE_TIMEOUT)
        return SIZE_MAX;
    return static_cast<size_t>(std::max(next - self.buffer_start, static_cast<bigtime_t>(limit)));
}

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
    self.timeline = 0;
    // The process thread is the server's to make: it gets what every thread of ours has for the
    // crash handler before its first cycle, not during one.
    jack_set_thread_init_callback(
        client, [](void*) { use_alternate_signal_stack(); }, nullptr);
    jack_set_process_callback(client, process, &self);
    jack_set_buffer_size_callback(client, buffer_size_changed, &self);
    jack_set_xrun_callback(client, xrun, &self);
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
    self.pending_count = 0;
    self.pending_next = 0;
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
        connect_physical(self.client, self.left, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        connect_physical(self.client, self.right, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 1);
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

int AddMidiInput(const char* name, JackMidiSink* sink)
{
    Client& self = the_client;
    if (self.client == nullptr)
        return -1;
    for (int slot = 0; slot < 2; slot++)
    {
        if (self.slots[slot].port.load() != nullptr)
            continue;
        jack_port_t* port =
            jack_port_register(self.client, name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (port == nullptr)
            return -1;
        self.slots[slot].sink.store(sink, std::memory_order_release);
        self.slots[slot].port.store(port, std::memory_order_release);
        if (AutoConnect())
            connect_physical(self.client, port, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput,
                             static_cast<size_t>(slot));
        return slot;
    }
    return -1;
}

void RemoveMidiInput(int slot)
{
    Client& self = the_client;
    if (self.client == nullptr || slot < 0 || slot > 1)
        return;
    jack_port_t* port = self.slots[slot].port.exchange(nullptr);
    self.slots[slot].sink.store(nullptr);
    wait_for_a_cycle(self);
    if (port != nullptr)
        jack_port_unregister(self.client, port);
}

bool AutoConnect()
{
    const char* value = std::getenv("HARMOLOOM_AUTOCONNECT");
    return value == nullptr || std::strcmp(value, "0") != 0;
}

} // namespace jack_client
