// One way of getting sound out: JACK, PulseAudio or ALSA. The sound player tries the back ends of
// the table in order (or the one HARMOLOOM_AUDIO names); adding one is a file of its own and a
// line of the table.
//
// Open, Start, Stop and the destructor: main thread. Rate, Period, Name, Underruns: any thread.
// The render function runs on the back end's real-time thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/support/SupportDefs.h"

class AudioBackend
{
public:
    // Fills frames of interleaved stereo float. Real-time thread; must not block for long.
    typedef void (*Render)(void* cookie, float* buffer, size_t frames);

    virtual ~AudioBackend() = default;

    // Opens the stream, stopped, asking for the rate and period; a back end whose server sets
    // its own (JACK) runs at those instead. On failure, says why in *why.
    virtual bool Open(const char* client_name, int rate, size_t period, Render render, void* cookie,
                      std::string* why) = 0;
    virtual bool Start() = 0;
    // Returns once the render function does not run and will not run again.
    virtual void Stop() = 0;

    // What the stream really runs at; the period may change while it runs (JACK's buffer size).
    virtual int Rate() const = 0;
    virtual size_t Period() const = 0;
    // "jack", "pulse" or "alsa".
    virtual const char* Name() const = 0;
    // What the user is shown: "JACK (44.1 kHz, 256)", "PulseAudio" or "ALSA".
    virtual std::string Description() const = 0;
    virtual uint64 Underruns() const = 0;

    // Told, on a thread of the back end's, when its server goes away (running false) and when a
    // server takes the stream back (running true, at rate), before the first render there. Only
    // a back end whose server can come and go (JACK) ever calls it. Set before Start.
    typedef void (*ServerHandler)(void* cookie, bool running, int rate);
    virtual void SetServerHandler(ServerHandler, void*) {}
};

struct AudioBackendEntry
{
    const char* name;
    std::unique_ptr<AudioBackend> (*make)();
};

// In order of preference.
extern const AudioBackendEntry kAudioBackends[];
extern const size_t kAudioBackendCount;

std::unique_ptr<AudioBackend> make_jack_backend();
std::unique_ptr<AudioBackend> make_pulse_backend();
std::unique_ptr<AudioBackend> make_alsa_backend();
