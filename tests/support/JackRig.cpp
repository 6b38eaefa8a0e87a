#include "tests/support/JackRig.h"

#include <fcntl.h>
#include <jack/midiport.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ranges>
#include <thread>

#include "tests/support/AudioAnalysis.h"
#include "tests/support/TestSupport.h"

namespace
{

jack_client_t* open_client(const std::string& server, const char* name)
{
    jack_status_t status;
    return jack_client_open(name, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                            &status, server.c_str());
}

void pause_ms(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The names of a list libjack returned, which it then frees.
std::vector<std::string> names_of(const char** list, const std::string& prefix = "")
{
    std::vector<std::string> names;
    for (size_t index = 0; list != nullptr && list[index] != nullptr; index++)
    {
        if (std::string(list[index]).starts_with(prefix))
            names.emplace_back(list[index]);
    }
    jack_free(list);
    return names;
}

// What the clients before us in the graph wrote to our inputs; whether it was all zeros. JACK
// hands port buffers from one client to the next through its own shared memory and semaphores,
// out of ThreadSanitizer's sight: the suppressions name this function.
__attribute__((noinline)) bool record_from_ports(const float* left, const float* right,
                                                 jack_nframes_t frames, std::vector<float>* into,
                                                 jack_nframes_t offset)
{
    bool silent = true;
    size_t at = 2 * static_cast<size_t>(offset);
    for (jack_nframes_t frame = 0; frame < frames && at + 1 < into->size(); frame++, at += 2)
    {
        silent = silent && left[frame] == 0.0f && right[frame] == 0.0f;
        (*into)[at] = left[frame];
        (*into)[at + 1] = right[frame];
    }
    return silent;
}

} // namespace

JackServer::JackServer(int rate, int period) : period_(period)
{
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    // JACK keeps eight servers in its registry, and frees the entry of a server that died
    // without closing only when a server of the same name starts: names come from a pool of
    // eight, so that a killed test's entry is reused rather than left there for good. Each name
    // is held by a lock for the server's life, so that tests running at once, from this suite or
    // another checkout's, never start or reach a server of the same name.
    for (int index = 0; index < 8 && !Running(); index++)
    {
        name_ = "harmoloom-test-" + std::to_string(index);
        lock_ = open(("/tmp/" + name_ + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW,
                     0600);
        if (lock_ >= 0 && (flock(lock_, LOCK_EX | LOCK_NB) != 0 || !Restart(rate)))
            lock_ = (close(lock_), -1);
    }
}

bool JackServer::Restart(int rate)
{
    // Real-time scheduling, where the system grants it, makes far fewer xruns.
    for (const char* scheduling : {"-R", "--no-realtime"})
    {
        // SIGTERM should the test die, as a killed server would stay in the registry.
        auto server = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"/usr/bin/jackd", "-n", name_, scheduling, "-P", "70", "-d",
                                     "dummy", "-r", std::to_string(rate), "-p",
                                     std::to_string(period_)},
            std::map<std::string, std::string>{}, SIGTERM);
        auto reached = [&]
        {
            jack_client_t* probe = open_client(name_, "probe");
            return probe != nullptr && jack_client_close(probe) == 0;
        };
        // A server that ends at once found the name taken or cannot run; the probe may have
        // reached another test's server of that name while ours was still finding that out.
        if (Eventually([&] { return reached() || server->Ended(); }, 10, 0.05) &&
            (pause_ms(300), !server->Ended()))
        {
            server_ = std::move(server);
            return true;
        }
    }
    return false;
}

JackServer::~JackServer()
{
    // A server whose client died without closing takes some seconds to go; killing it instead
    // would leave its entry in JACK's registry of servers for good.
    if (server_)
        server_->Stop(SIGTERM, 30);
    if (lock_ >= 0)
        close(lock_);
}

JackRig::JackRig(const std::string& server) : events_(kEvents)
{
    // A server busy with another client's arrival may turn one away: ask again.
    Eventually([&] { return (client_ = open_client(server, "harmoloom-test-rig")) != nullptr; }, 1);
    if (client_ == nullptr)
        return;
    for (int output = 0; output < 2; output++)
        midi_out_[output] =
            jack_port_register(client_, ("midi out " + std::to_string(output + 1)).c_str(),
                               JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_[0] = jack_port_register(client_, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in_[1] = jack_port_register(client_, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    // Not a number marks what no cycle of ours recorded (a program never plays one).
    recording_.assign(static_cast<size_t>(jack_get_sample_rate(client_)) * 2 * 90, std::nanf(""));
    jack_set_process_callback(client_, Process, this);
    jack_set_xrun_callback(
        client_, [](void* rig) { return static_cast<JackRig*>(rig)->xruns_++, 0; }, this);
    jack_on_shutdown(
        client_, [](void* rig) { static_cast<JackRig*>(rig)->server_gone_ = true; }, this);
    jack_activate(client_);
}

JackRig::~JackRig()
{
    if (client_ == nullptr)
        return;
    // A client whose server has gone has only its memory to give back.
    if (!server_gone_)
        jack_deactivate(client_);
    jack_client_close(client_);
}

std::string JackRig::FindPort(const std::string& suffix, double timeout_seconds)
{
    for (int waited = 0; waited < timeout_seconds * 50; waited++, pause_ms(20))
    {
        // Our own recorder's "left" and "right" are never the one looked for.
        for (const std::string& name : Ports())
        {
            if (name.ends_with(suffix) &&
                jack_port_is_mine(client_, jack_port_by_name(client_, name.c_str())) == 0)
                return name;
        }
    }
    return "";
}

bool JackRig::ConnectMidiTo(const std::string& port, int output)
{
    return jack_connect(client_, jack_port_name(midi_out_[output]), port.c_str()) == 0;
}

bool JackRig::DisconnectMidiFrom(const std::string& port, int output)
{
    return jack_disconnect(client_, jack_port_name(midi_out_[output]), port.c_str()) == 0;
}

bool JackRig::RecordFrom(const std::string& left, const std::string& right)
{
    return jack_connect(client_, left.c_str(), jack_port_name(in_[0])) == 0 &&
           jack_connect(client_, right.c_str(), jack_port_name(in_[1])) == 0;
}

bool JackRig::Attach(int midi_ports)
{
    bool attached = RecordFrom(FindPort("Harmoloom:left"), FindPort("Harmoloom:right"));
    for (int port = 0; port < midi_ports; port++)
        attached =
            attached && ConnectMidiTo(FindPort(":MIDI In " + std::to_string(port + 1)), port);
    return attached;
}

void JackRig::Send(jack_nframes_t frame, std::vector<unsigned char> message, int output)
{
    size_t index = events_written_.load();
    // A full ring waits for the process callback to send its oldest event.
    while (index - events_sent_.load() >= kEvents)
        pause_ms(1);
    Event& event = events_[index % kEvents];
    event = {frame, {}, std::min(message.size(), sizeof(event.bytes)), static_cast<size_t>(output)};
    std::memcpy(event.bytes, message.data(), event.size);
    events_written_.store(index + 1);
}

jack_nframes_t JackRig::FloodThenSilence(jack_nframes_t begin, int seconds)
{
    const unsigned char kinds[] = {0x90, 0x90, 0x80, 0xB0, 0xE0, 0xC0};
    const unsigned char controllers[] = {1, 7, 10, 11, 64, 71, 74};
    unsigned seed = 1;
    auto next = [&seed](unsigned range)
    { return (seed = seed * 1103515245u + 12345u) / 65536u % range; };
    double frames_per_event = SampleRate() / 10000.0;
    for (int sent = 0; sent < seconds * 10000; sent++)
    {
        auto channel = static_cast<unsigned char>(next(16));
        unsigned char kind = kinds[next(6)];
        auto a = static_cast<unsigned char>(kind == 0xB0 ? controllers[next(7)] : next(128));
        auto b = static_cast<unsigned char>(kind == 0x80 ? 0 : next(128));
        Send(begin + static_cast<jack_nframes_t>(sent * frames_per_event),
             {static_cast<unsigned char>(kind | channel), a, b});
    }
    auto silence = begin + static_cast<jack_nframes_t>((seconds + 0.05) * SampleRate());
    for (unsigned char channel = 0; channel < 16; channel++)
    {
        Send(silence, {static_cast<unsigned char>(0xB0 | channel), 123, 0});
        Send(silence, {static_cast<unsigned char>(0xB0 | channel), 120, 0});
    }
    return silence;
}

void JackRig::WaitUntil(jack_nframes_t frame) const
{
    // Until this client has recorded it: the server's clock runs on from the last cycle's start
    // by the wall clock, ahead of a graph that is late. Ten seconds more at most, should the
    // server stop calling us.
    double ahead = std::max(0, static_cast<int32_t>(frame - Now())) / double(SampleRate());
    Eventually(
        [&]
        {
            jack_nframes_t recorded = recorded_frames_.load();
            return recorded != 0 && static_cast<int32_t>(first_frame_ + recorded - frame) >= 0;
        },
        ahead + 10);
}

const float* JackRig::At(jack_nframes_t frame) const
{
    auto available = static_cast<int64_t>(recorded_frames_.load());
    int64_t at = static_cast<int32_t>(frame - first_frame_);
    if (at < 0 || at >= available || std::isnan(recording_[2 * static_cast<size_t>(at)]))
        return nullptr;
    return &recording_[2 * static_cast<size_t>(at)];
}

std::vector<float> JackRig::Recorded(jack_nframes_t begin, jack_nframes_t frames) const
{
    std::vector<float> out(static_cast<size_t>(frames) * 2, 0.0f);
    for (jack_nframes_t frame = 0; frame < frames; frame++)
    {
        if (const float* samples = At(begin + frame))
            std::memcpy(&out[2 * frame], samples, 2 * sizeof(float));
    }
    return out;
}

std::vector<float> JackRig::Mono(jack_nframes_t begin, jack_nframes_t frames, int side) const
{
    return Channel(Recorded(begin, frames), side);
}

double JackRig::Level(jack_nframes_t begin, jack_nframes_t frames, int side) const
{
    return Rms(Mono(begin, frames, side), 0, frames);
}

bool JackRig::Complete(jack_nframes_t begin, jack_nframes_t frames) const
{
    return std::ranges::all_of(std::views::iota(begin, begin + frames),
                               [this](jack_nframes_t frame) { return At(frame) != nullptr; });
}

std::vector<std::string> JackRig::Connections(const std::string& port) const
{
    jack_port_t* handle = jack_port_by_name(client_, port.c_str());
    return names_of(handle == nullptr ? nullptr : jack_port_get_all_connections(client_, handle));
}

std::vector<std::string> JackRig::Ports(const std::string& port_prefix) const
{
    return names_of(jack_get_ports(client_, nullptr, nullptr, 0), port_prefix);
}

int JackRig::Process(jack_nframes_t frames, void* data)
{
    auto* rig = static_cast<JackRig*>(data);
    jack_nframes_t cycle = jack_last_frame_time(rig->client_);
    if (rig->cycles_++ == 0)
        rig->first_frame_ = cycle;
    void* midi[2] = {jack_port_get_buffer(rig->midi_out_[0], frames),
                     jack_port_get_buffer(rig->midi_out_[1], frames)};
    jack_midi_clear_buffer(midi[0]);
    jack_midi_clear_buffer(midi[1]);
    size_t written = rig->events_written_.load();
    for (size_t sent = rig->events_sent_.load(); sent < written; sent = ++rig->events_sent_)
    {
        const Event& event = rig->events_[sent % kEvents];
        auto offset = static_cast<int32_t>(event.frame - cycle);
        if (offset >= static_cast<int32_t>(frames))
            break;
        jack_midi_event_write(midi[event.output], static_cast<jack_nframes_t>(std::max(offset, 0)),
                              event.bytes, event.size);
    }
    // Stored by the frame's place on the server's clock, so that a cycle this client missed
    // leaves a gap instead of moving everything after it.
    jack_nframes_t offset = cycle - rig->first_frame_;
    if (record_from_ports(static_cast<float*>(jack_port_get_buffer(rig->in_[0], frames)),
                          static_cast<float*>(jack_port_get_buffer(rig->in_[1], frames)), frames,
                          &rig->recording_, offset))
        rig->silent_cycles_++;
    rig->recorded_frames_.store(offset + frames);
    return 0;
}
