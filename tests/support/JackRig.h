// A JACK server of the test's own (dummy driver: no sound card) and a JACK client that plays
// MIDI into the program and records what comes out, frame-accurately.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class BackgroundProcess;

// jackd -n NAME -R -d dummy -r RATE -p PERIOD (--no-realtime where real-time scheduling is
// refused) for the life of the object, under a name of its own; clients find it through
// JACK_DEFAULT_SERVER=Name(). Stopped with SIGTERM, so that it leaves JACK's registry of servers
// (eight at most) as it found it.
class JackServer
{
public:
    explicit JackServer(int rate = 48000, int period = 64);
    ~JackServer();
    bool Running() const { return server_ != nullptr; }
    // Kills the server, as a crash would; starts one of the same name again, at any rate. A
    // client of the killed server must be closed before the new one starts: libjack reaches
    // into the new server's memory when it closes an old client.
    void Kill() { server_.reset(); }
    bool Restart(int rate);
    const std::string& Name() const { return name_; }

private:
    std::unique_ptr<BackgroundProcess> server_;
    int period_ = 0;
    int lock_ = -1; // holds the name while the server runs
    std::string name_;
};

class JackRig
{
public:
    explicit JackRig(const std::string& server);
    ~JackRig();
    bool Open() const { return client_ != nullptr; }
    int SampleRate() const { return static_cast<int>(jack_get_sample_rate(client_)); }
    int Period() const { return static_cast<int>(jack_get_buffer_size(client_)); }
    bool ChangePeriod(int frames) { return jack_set_buffer_size(client_, frames) == 0; }

    // Waits until a port (not ours) whose name ends with suffix exists; its full name, or "".
    std::string FindPort(const std::string& suffix, double timeout_seconds = 20);
    // Our MIDI output (0 or 1) to a MIDI input, and two audio outputs (the benchmarks' peer's
    // too) to our recorder's inputs.
    bool ConnectMidiTo(const std::string& port, int output = 0);
    bool DisconnectMidiFrom(const std::string& port, int output = 0);
    bool RecordFrom(const std::string& left, const std::string& right);
    // Records the program's outputs and plays into its first midi_ports MIDI inputs.
    bool Attach(int midi_ports);
    jack_nframes_t Now() const { return jack_frame_time(client_); }
    // Sends a MIDI message at an absolute frame, a little ahead of Now(), from one of our two
    // MIDI outputs. In order of time: a message waits for the one sent before it.
    void Send(jack_nframes_t frame, std::vector<unsigned char> message, int output = 0);
    // 10,000 events a second on 16 channels from begin (notes, controllers, bends and programs
    // in a fixed pseudo-random order), then all-notes-off and all-sound-off on every channel at
    // the frame it returns, 50 ms after the last.
    jack_nframes_t FloodThenSilence(jack_nframes_t begin, int seconds);
    // Sleeps until the server's clock has passed the frame and this client has recorded it.
    void WaitUntil(jack_nframes_t frame) const;
    // What was recorded from frame begin for frames frames, interleaved stereo (zeros where
    // nothing was recorded); one side (0, 1) or the mean of both (2) of it, and its level.
    std::vector<float> Recorded(jack_nframes_t begin, jack_nframes_t frames) const;
    std::vector<float> Mono(jack_nframes_t begin, jack_nframes_t frames, int side = 2) const;
    double Level(jack_nframes_t begin, jack_nframes_t frames, int side = 2) const;
    // Whether a cycle of ours recorded every one of those frames (none was missed).
    bool Complete(jack_nframes_t begin, jack_nframes_t frames) const;
    int Xruns() const { return xruns_; }
    // How many of this client's cycles recorded only zeros on both inputs.
    long SilentCycles() const { return silent_cycles_; }
    std::vector<std::string> Connections(const std::string& port) const;
    std::vector<std::string> Ports(const std::string& port_prefix = "") const;

private:
    static int Process(jack_nframes_t frames, void* data);
    const float* At(jack_nframes_t frame) const; // the two samples recorded there, or null
    struct Event
    {
        jack_nframes_t frame;
        unsigned char bytes[16]; // a system-exclusive message of the tests' fits
        size_t size, output;
    };

    jack_client_t* client_ = nullptr;
    jack_port_t* midi_out_[2] = {nullptr, nullptr};
    jack_port_t* in_[2] = {nullptr, nullptr};
    // Written by the test's thread, read by the process callback.
    static constexpr size_t kEvents = 8192;
    std::vector<Event> events_;
    std::atomic<size_t> events_written_{0};
    std::atomic<size_t> events_sent_{0};
    // Recording: 90 s of stereo from the frame the client started at.
    std::vector<float> recording_;
    std::atomic<jack_nframes_t> recorded_frames_{0};
    jack_nframes_t first_frame_ = 0; // set by the first cycle
    std::atomic<int> xruns_{0};
    std::atomic<bool> server_gone_{false};
    std::atomic<long> cycles_{0};
    std::atomic<long> silent_cycles_{0};
};
