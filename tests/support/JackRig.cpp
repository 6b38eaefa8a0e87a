#include "tests/support/JackRig.h"

#include <fcntl.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

jack_client_t* open_client(const std::string& server, const char* name)
{
    jack_status_t status;
    return jack_client_open(name, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                            &status, server.c_str());
}

void quiet(const char*) {}

} // namespace

JackServer::JackServer(int rate, int period)
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    // JACK keeps eight servers in its registry, and frees the entry of a server that died
    // without closing only when a server of the same name starts: names are taken from a small
    // pool, so that a killed test's entry is reused rather than left there for good. A name a
    // live server has is refused by jackd, which then ends at once.
    // Each name is also held by a lock for the server's life, so that tests running at once,
    // from this suite or another checkout's, never start or reach a server of the same name.
    for (int index = 0; index < 8 && !Running(); index++)
    {
        std::string name = "harmoloom-test-" + std::to_string(index);
        lock_ = open(("/tmp/" + name + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW,
                     0600);
        if (lock_ >= 0 && flock(lock_, LOCK_EX | LOCK_NB) == 0)
        {
            // Real-time scheduling, where the system grants it, makes far fewer xruns.
            Launch(name, rate, period, true);
            if (!Running())
                Launch(name, rate, period, false);
        }
        if (!Running() && lock_ >= 0)
        {
            close(lock_);
            lock_ = -1;
        }
    }
}

void JackServer::Launch(const std::string& name, int rate, int period, bool realtime)
{
    pid_t pid = fork();
    if (pid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that is killed takes its server with it
        setpgid(0, 0);
        std::string r = std::to_string(rate);
        std::string p = std::to_string(period);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        if (realtime)
            execlp("jackd", "jackd", "-n", name.c_str(), "-R", "-P", "70", "-d", "dummy", "-r",
                   r.c_str(), "-p", p.c_str(), static_cast<char*>(nullptr));
        else
            execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r",
                   r.c_str(), "-p", p.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int attempt = 0; attempt < 200; attempt++)
    {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return; // the name is taken, or jackd could not run
        if (jack_client_t* probe = open_client(name, "probe"))
        {
            jack_client_close(probe);
            // The probe may have reached another test's server of that name while ours was
            // still finding out that the name is taken; ours then ends within moments.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;
            pid_ = pid;
            name_ = name;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

JackServer::~JackServer()
{
    if (pid_ > 0)
    {
        kill(pid_, SIGTERM);
        // A server whose client died without closing takes some seconds to go; killing it
        // instead would leave its entry in JACK's registry of servers for good.
        bool ended = false;
        for (int wait = 0; wait < 1500 && !ended; wait++)
        {
            ended = waitpid(pid_, nullptr, WNOHANG) == pid_;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!ended)
        {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (lock_ >= 0)
        close(lock_);
}

JackRig::JackRig(const std::string& server) : events_(kEvents)
{
    // A server busy with another client's arrival may turn one away: ask again.
    for (int attempt = 0; attempt < 10 && client_ == nullptr; attempt++)
    {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client_ = open_client(server, "harmoloom-test-rig");
    }
    if (client_ == nullptr)
        return;
    for (int output = 0; output < 2; output++)
        midi_out_[output] =
            jack_port_register(client_, ("midi out " + std::to_string(output + 1)).c_str(),
                               JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    left_in_ = jack_port_register(client_, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    right_in_ = jack_port_register(client_, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    recording_.assign(static_cast<size_t>(jack_get_sample_rate(client_)) * 2 * 90, 0.0f);
    jack_set_process_callback(client_, Process, this);
    jack_set_xrun_callback(client_, Xrun, this);
    jack_activate(client_);
}

JackRig::~JackRig()
{
    if (client_ != nullptr)
    {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

int JackRig::SampleRate() const
{
    return static_cast<int>(jack_get_sample_rate(client_));
}

int JackRig::Period() const
{
    return static_cast<int>(jack_get_buffer_size(client_));
}

std::string JackRig::FindPort(const std::string& suffix, double timeout_seconds)
{
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(timeout_seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline)
    {
        const char** ports = jack_get_ports(client_, nullptr, nullptr, 0);
        std::string found;
        for (size_t index = 0; ports != nullptr && ports[index] != nullptr; index++)
        {
            std::string name = ports[index];
            // Our own recorder's "left" and "right" are never the one looked for.
            if (jack_port_is_mine(client_, jack_port_by_name(client_, ports[index])) != 0)
                continue;
            if (name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                found = name;
        }
        jack_free(ports);
        if (!found.empty())
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
}

bool JackRig::ConnectMidiTo(const std::string& port, int output)
{
    return jack_connect(client_, jack_port_name(midi_out_[output]), port.c_str()) == 0;
}

bool JackRig::RecordFrom(const std::string& left, const std::string& right)
{
    return jack_connect(client_, left.c_str(), jack_port_name(left_in_)) == 0 &&
           jack_connect(client_, right.c_str(), jack_port_name(right_in_)) == 0;
}

jack_nframes_t JackRig::Now() const
{
    return jack_frame_time(client_);
}

void JackRig::Send(jack_nframes_t frame, std::vector<unsigned char> message, int output)
{
    size_t index = events_written_.load();
    // A full ring waits for the process callback to send its oldest event.
    while (index - events_sent_.load() >= kEvents)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Event& event = events_[index % kEvents];
    event.frame = frame;
    event.output = output;
    event.size = std::min(message.size(), sizeof(event.bytes));
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
        Send(silence, {static_cast<unsigned char>(0xB0 | channel), 120, 0});
    return silence;
}

void JackRig::WaitUntil(jack_nframes_t frame) const
{
    while (static_cast<int32_t>(Now() - frame) < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::vector<float> JackRig::Recorded(jack_nframes_t begin, jack_nframes_t frames) const
{
    std::vector<float> out(static_cast<size_t>(frames) * 2, 0.0f);
    jack_nframes_t available = recorded_frames_.load();
    for (jack_nframes_t frame = 0; frame < frames; frame++)
    {
        jack_nframes_t offset = begin + frame - first_frame_;
        if (static_cast<int32_t>(begin + frame - first_frame_) < 0 || offset >= available)
            continue;
        out[2 * frame] = recording_[2 * static_cast<size_t>(offset)];
        out[2 * frame + 1] = recording_[2 * static_cast<size_t>(offset) + 1];
    }
    return out;
}

std::vector<std::string> JackRig::Connections(const std::string& port) const
{
    std::vector<std::string> names;
    jack_port_t* handle = jack_port_by_name(client_, port.c_str());
    if (handle == nullptr)
        return names;
    const char** connected = jack_port_get_all_connections(client_, handle);
    for (size_t index = 0; connected != nullptr && connected[index] != nullptr; index++)
        names.emplace_back(connected[index]);
    jack_free(connected);
    return names;
}

bool JackRig::ClientExists(const std::string& port_prefix) const
{
    return !Ports(port_prefix).empty();
}

std::vector<std::string> JackRig::Ports(const std::string& port_prefix) const
{
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client_, nullptr, nullptr, 0);
    for (size_t index = 0; ports != nullptr && ports[index] != nullptr; index++)
    {
        if (std::string(ports[index]).rfind(port_prefix, 0) == 0)
            names.emplace_back(ports[index]);
    }
    jack_free(ports);
    return names;
}

namespace
{

// What the clients before us in the graph wrote to our inputs. JACK hands port buffers from one
// client to the next through its own shared memory and semaphores, out of ThreadSanitizer's
// sight: the suppressions name this function.
__attribute__((noinline)) void record_from_ports(const float* left, const float* right,
                                                 jack_nframes_t frames, std::vector<float>* into,
                                                 jack_nframes_t offset)
{
    for (jack_nframes_t frame = 0; frame < frames; frame++)
    {
        size_t at = 2 * static_cast<size_t>(offset + frame);
        if (at + 1 >= into->size())
            break;
        (*into)[at] = left[frame];
        (*into)[at + 1] = right[frame];
    }
}

} // namespace

int JackRig::Process(jack_nframes_t frames, void* data)
{
    auto* rig = static_cast<JackRig*>(data);
    jack_nframes_t cycle = jack_last_frame_time(rig->client_);
    if (!rig->started_)
    {
        rig->first_frame_ = cycle;
        rig->started_ = true;
    }

    void* midi[2];
    for (int output = 0; output < 2; output++)
    {
        midi[output] = jack_port_get_buffer(rig->midi_out_[output], frames);
        jack_midi_clear_buffer(midi[output]);
    }
    size_t written = rig->events_written_.load();
    for (size_t sent = rig->events_sent_.load(); sent < written; sent = rig->events_sent_.load())
    {
        const Event& event = rig->events_[sent % kEvents];
        auto offset = static_cast<int32_t>(event.frame - cycle);
        if (offset >= static_cast<int32_t>(frames))
            break;
        jack_midi_event_write(midi[event.output],
                              offset < 0 ? 0 : static_cast<jack_nframes_t>(offset), event.bytes,
                              event.size);
        rig->events_sent_++;
    }

    // Stored by the frame's place on the server's clock, so that a cycle this client missed
    // leaves a gap instead of moving everything after it.
    auto* left = static_cast<float*>(jack_port_get_buffer(rig->left_in_, frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(rig->right_in_, frames));
    jack_nframes_t offset = cycle - rig->first_frame_;
    record_from_ports(left, right, frames, &rig->recording_, offset);
    rig->recorded_frames_.store(offset + frames);
    rig->cycles_++;
    return 0;
}

int JackRig::Xrun(void* data)
{
    static_cast<JackRig*>(data)->xruns_++;
    return 0;
}
