#include "platform/media/SoundPlayer.h"

#include <rtaudio/RtAudio.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/media/JackServerProbe.h"
#include "platform/support/Threads.h"

struct BSoundPlayer::Stream
{
    std::unique_ptr<RtAudio> audio;
    std::string backend;
    status_t status = B_ERROR;

    BufferPlayerFunc player = nullptr;
    void* cookie = nullptr;
    media_raw_audio_format format;

    // One buffer of the player's size, handed out in the back end's pieces.
    std::vector<float> block;
    size_t block_frames = 0;
    size_t frames_left = 0;

    std::atomic<bool> running{false};
    std::atomic<int> in_player{0};
    std::atomic<uint64> underruns{0};
};

namespace
{

struct Backend
{
    const char* name;
    RtAudio::Api api;
};

const Backend kBackends[] = {
    {"jack", RtAudio::UNIX_JACK},
    {"pulse", RtAudio::LINUX_PULSE},
    {"alsa", RtAudio::LINUX_ALSA},
};

int render(void* output, void*, unsigned int frames, double, RtAudioStreamStatus status, void* data)
{
    auto* stream = static_cast<BSoundPlayer::Stream*>(data);
    auto* out = static_cast<float*>(output);
    if ((status & RTAUDIO_OUTPUT_UNDERFLOW) != 0)
        stream->underruns++;

    // Counted in before the check, so that Stop can wait for every call that got past it.
    stream->in_player++;
    if (!stream->running)
    {
        stream->in_player--;
        std::memset(out, 0, frames * 2 * sizeof(float));
        return 0;
    }
    while (frames > 0)
    {
        if (stream->frames_left == 0)
        {
            stream->player(stream->cookie, stream->block.data(), stream->format.buffer_size,
                           stream->format);
            stream->frames_left = stream->block_frames;
        }
        size_t taken = std::min<size_t>(frames, stream->frames_left);
        const float* from = stream->block.data() + 2 * (stream->block_frames - stream->frames_left);
        std::memcpy(out, from, taken * 2 * sizeof(float));
        out += 2 * taken;
        frames -= static_cast<unsigned int>(taken);
        stream->frames_left -= taken;
    }
    stream->in_player--;
    return 0;
}

bool open_stream(BSoundPlayer::Stream& stream, const Backend& backend, const char* name,
                 std::string* why)
{
    try
    {
        auto audio = std::make_unique<RtAudio>(backend.api);
        audio->showWarnings(false);
        if (audio->getCurrentApi() != backend.api || audio->getDeviceCount() == 0)
        {
            *why += std::string(backend.name) + ": no device; ";
            return false;
        }
        RtAudio::StreamParameters output;
        output.deviceId = audio->getDefaultOutputDevice();
        output.nChannels = 2;
        RtAudio::StreamOptions options;
        options.streamName = name;
        options.flags = RTAUDIO_SCHEDULE_REALTIME;
        unsigned int frames = static_cast<unsigned int>(stream.block_frames);
        audio->openStream(&output, nullptr, RTAUDIO_FLOAT32,
                          static_cast<unsigned int>(stream.format.frame_rate), &frames, render,
                          &stream, &options);
        stream.audio = std::move(audio);
        stream.backend = backend.name;
        return true;
    }
    catch (const RtAudioError& error)
    {
        *why += std::string(backend.name) + ": " + error.getMessage() + "; ";
        return false;
    }
}

} // namespace

BSoundPlayer::BSoundPlayer(const media_raw_audio_format* format, const char* name,
                           BufferPlayerFunc player, EventNotifierFunc, void* cookie)
    : stream_(std::make_unique<Stream>())
{
    if (format == nullptr || player == nullptr || format->channel_count != 2 ||
        format->format != B_AUDIO_FLOAT || format->buffer_size < 8 || format->frame_rate <= 0)
    {
        stream_->status = B_BAD_VALUE;
        return;
    }
    stream_->player = player;
    stream_->cookie = cookie;
    stream_->format = *format;
    stream_->block_frames = format->buffer_size / 8;
    stream_->block.assign(stream_->block_frames * 2, 0.0f);

    const char* forced = std::getenv("HARMOLOOM_AUDIO");
    std::string why;
    for (const Backend& backend : kBackends)
    {
        if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, backend.name) != 0)
            continue;
        // A JACK server busy with another client's arrival may turn a client away; it is
        // asked again before the next back end is tried. Without a server there is no one to
        // ask, and the next back end is tried at once.
        int attempts = backend.api == RtAudio::UNIX_JACK ? 10 : 1;
        for (int attempt = 0; attempt < attempts; attempt++)
        {
            if (attempt > 0)
                snooze(200000);
            if (backend.api == RtAudio::UNIX_JACK &&
                probe_jack_server("Harmoloom") == JackServerState::absent)
            {
                why += "jack: no server; ";
                break;
            }
            if (open_stream(*stream_, backend, name != nullptr ? name : "Harmoloom", &why))
            {
                stream_->status = B_OK;
                return;
            }
        }
    }
    // The alert that follows cannot say which back end refused and why; the terminal can.
    std::fprintf(stderr, "Harmoloom: no audio output could be opened: %s\n",
                 why.empty() ? "no such back end" : why.c_str());
}

BSoundPlayer::~BSoundPlayer()
{
    Stop(true, true);
    if (stream_->audio != nullptr)
    {
        try
        {
            if (stream_->audio->isStreamOpen())
                stream_->audio->closeStream();
        }
        catch (const RtAudioError&)
        {
        }
    }
}

status_t BSoundPlayer::InitCheck() const
{
    return stream_->status;
}

status_t BSoundPlayer::Start()
{
    if (stream_->status != B_OK)
        return stream_->status;
    stream_->frames_left = 0;
    stream_->running = true;
    try
    {
        if (!stream_->audio->isStreamRunning())
            stream_->audio->startStream();
    }
    catch (const RtAudioError&)
    {
        stream_->running = false;
        return B_ERROR;
    }
    return B_OK;
}

void BSoundPlayer::Stop(bool block, bool)
{
    stream_->running = false;
    // RtAudio's JACK stop waits on a condition with a mutex it does not hold; with JACK the
    // stream runs on, silent, until the player is deleted and its client closed.
    if (stream_->audio != nullptr && stream_->backend != "jack")
    {
        try
        {
            if (stream_->audio->isStreamRunning())
                stream_->audio->stopStream();
        }
        catch (const RtAudioError&)
        {
        }
    }
    while (block && stream_->in_player > 0)
        snooze(100);
}

const char* BSoundPlayer::BackendName() const
{
    return stream_->backend.c_str();
}

uint64 BSoundPlayer::UnderrunCount() const
{
    return stream_->underruns;
}
