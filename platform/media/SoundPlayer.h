// The sound player: one stereo output stream that calls a render function for every buffer.
//
// The back end is JACK when a JACK server runs, else PulseAudio, else ALSA; HARMOLOOM_AUDIO=jack,
// pulse or alsa chooses one (see platform/media/AudioBackend.h). Buffers are 32-bit float,
// interleaved stereo. With PulseAudio and ALSA they come at the asked rate and are always
// exactly buffer_size bytes, cut up or gathered to fit the back end's period. With JACK they
// come at the server's rate, each as long as the server's period (which may change while it
// runs): the outputs "left" and "right" of the client "Harmoloom", connected to the system's
// playback ports unless HARMOLOOM_AUTOCONNECT=0.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/support/SupportDefs.h"

enum : uint32
{
    B_AUDIO_FLOAT = 0x24,
    B_MEDIA_LITTLE_ENDIAN = 2,
};

// What the event notifier is told besides the format: the audio server has gone (the output
// plays nothing until it comes back), and a server has taken the output back; an int after
// B_SERVER_BACK gives the rate it now runs at. On a thread of the back end's, never the render's.
enum sound_player_notification : int32
{
    B_SERVER_LOST = 1,
    B_SERVER_BACK,
};

struct media_raw_audio_format
{
    float frame_rate = 0;
    uint32 channel_count = 0;
    uint32 format = 0;
    uint32 byte_order = 0;
    size_t buffer_size = 0;
};

class BSoundPlayer
{
public:
    // Runs on the back end's real-time thread; must not block for long.
    typedef void (*BufferPlayerFunc)(void* cookie, void* buffer, size_t size,
                                     const media_raw_audio_format& format);
    typedef void (*EventNotifierFunc)(void* cookie, int32 what, ...);

    // Opens the stream (stopped). Only stereo float formats are offered; check InitCheck(). The
    // notifier, when given, hears of the audio server going and coming back.
    BSoundPlayer(const media_raw_audio_format* format, const char* name, BufferPlayerFunc player,
                 EventNotifierFunc notifier = nullptr, void* cookie = nullptr);
    ~BSoundPlayer(); // stops first

    BSoundPlayer(const BSoundPlayer&) = delete;
    BSoundPlayer& operator=(const BSoundPlayer&) = delete;

    status_t InitCheck() const;
    status_t Start();
    // Why the stream could not be opened (each back end's reason) or started, or "".
    const char* FailureReason() const;
    // With block, returns only once no call of the render function runs or will run.
    void Stop(bool block = true, bool flush = true);

    // What the player runs on: "jack", "pulse" or "alsa"; empty when nothing could be opened.
    const char* BackendName() const;
    // What the stream really runs at (the server's, with JACK); 0 when nothing is open.
    int FrameRate() const;
    size_t Period() const;
    // What the user is shown: "JACK (44.1 kHz, 256)", "PulseAudio" or "ALSA".
    std::string BackendDescription() const;
    // Buffers the back end reported as late since the start.
    uint64 UnderrunCount() const;

    struct Stream;

private:
    std::unique_ptr<Stream> stream_;
};
