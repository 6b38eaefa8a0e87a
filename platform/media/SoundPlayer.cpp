#include "platform/media/SoundPlayer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/media/AudioBackend.h"
#include "platform/support/QuietAlsa.h"
#include "platform/support/Threads.h"

struct BSoundPlayer::Stream
{
    std::unique_ptr<AudioBackend> backend;
    status_t status = B_ERROR;
    std::string failure; // why nothing could be opened or started

    BufferPlayerFunc player = nullptr;
    EventNotifierFunc notifier = nullptr;
    void* cookie = nullptr;
    media_raw_audio_format format;

    static void ServerChanged(void* data, bool running, int rate)
    {
        auto* stream = static_cast<Stream*>(data);
        if (running)
        {
            // The callbacks that follow come at the new rate (none runs while this is told).
            stream->format.frame_rate = static_cast<float>(rate);
            stream->notifier(stream->cookie, B_SERVER_BACK, rate);
        }
        else
            stream->notifier(stream->cookie, B_SERVER_LOST);
    }

    static void Render(void* data, float* buffer, size_t frames)
    {
        auto* stream = static_cast<Stream*>(data);
        media_raw_audio_format format = stream->format;
        format.buffer_size = frames * 8;
        stream->player(stream->cookie, buffer, format.buffer_size, format);
    }
};

BSoundPlayer::BSoundPlayer(const media_raw_audio_format* format, const char* name,
                           BufferPlayerFunc player, EventNotifierFunc notifier, void* cookie)
    : stream_(std::make_unique<Stream>())
{
    if (format == nullptr || player == nullptr || format->channel_count != 2 ||
        format->format != B_AUDIO_FLOAT || format->buffer_size < 8 || format->frame_rate <= 0)
    {
        stream_->status = B_BAD_VALUE;
        return;
    }
    stream_->player = player;
    stream_->notifier = notifier;
    stream_->cookie = cookie;
    stream_->format = *format;

    const char* forced = std::getenv("HARMOLOOM_AUDIO");
    std::string& why = stream_->failure;
    QuietAlsa quiet;
    for (size_t index = 0; index < kAudioBackendCount; index++)
    {
        const AudioBackendEntry& entry = kAudioBackends[index];
        if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, entry.name) != 0)
            continue;
        std::unique_ptr<AudioBackend> backend = entry.make();
        if (backend->Open(name != nullptr ? name : "Harmoloom",
                          static_cast<int>(format->frame_rate), format->buffer_size / 8,
                          Stream::Render, stream_.get(), &why))
        {
            if (notifier != nullptr)
                backend->SetServerHandler(Stream::ServerChanged, stream_.get());
            stream_->backend = std::move(backend);
            stream_->format.frame_rate = static_cast<float>(stream_->backend->Rate());
            stream_->status = B_OK;
            return;
        }
    }
    if (why.empty())
        why = "no such back end";
    std::fprintf(stderr, "Harmoloom: no audio output could be opened: %s\n", why.c_str());
}

BSoundPlayer::~BSoundPlayer()
{
    Stop(true, true);
}

status_t BSoundPlayer::InitCheck() const
{
    return stream_->status;
}

status_t BSoundPlayer::Start()
{
    if (stream_->status != B_OK)
        return stream_->status;
    if (stream_->backend->Start())
        return B_OK;
    stream_->failure = std::string(stream_->backend->Name()) + ": the output did not start";
    return B_ERROR;
}

const char* BSoundPlayer::FailureReason() const
{
    return stream_->failure.c_str();
}

void BSoundPlayer::Stop(bool, bool)
{
    if (stream_->backend != nullptr)
        stream_->backend->Stop();
}

const char* BSoundPlayer::BackendName() const
{
    return stream_->backend != nullptr ? stream_->backend->Name() : "";
}

std::string BSoundPlayer::BackendDescription() const
{
    return stream_->backend != nullptr ? stream_->backend->Description() : "";
}

int BSoundPlayer::FrameRate() const
{
    return stream_->backend != nullptr ? stream_->backend->Rate() : 0;
}

size_t BSoundPlayer::Period() const
{
    return stream_->backend != nullptr ? stream_->backend->Period() : 0;
}

uint64 BSoundPlayer::UnderrunCount() const
{
    return stream_->backend != nullptr ? stream_->backend->Underruns() : 0;
}
