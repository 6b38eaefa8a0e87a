// PulseAudio and ALSA through RtAudio, at the asked rate and period. RtAudio may settle on
// another period than the one asked for: the render function is still called for exactly the
// asked period, its buffers cut up or gathered to fit.
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/media/AudioBackend.h"
#include "platform/support/Realtime.h"
#include "platform/support/Threads.h"

namespace
{

class RtAudioBackend : public AudioBackend
{
public:
    RtAudioBackend(RtAudio::Api api, const char* name, const char* description)
        : api_(api), name_(name), description_(description)
    {
    }

    ~RtAudioBackend() override
    {
        Stop();
        if (audio_ == nullptr)
            return;
        try
        {
            if (audio_->isStreamOpen())
                audio_->closeStream();
        }
        catch (const RtAudioError&)
        {
        }
    }

    bool Open(const char* client_name, int rate, size_t period, Render render, void* cookie,
              std::string* why) override
    {
        render_ = render;
        cookie_ = cookie;
        rate_ = rate;
        block_frames_ = period;
        block_.assign(period * 2, 0.0f);
        try
        {
            auto audio = std::make_unique<RtAudio>(api_);
            audio->showWarnings(false);
            if (audio->getCurrentApi() != api_ || audio->getDeviceCount() == 0)
            {
                *why += std::string(name_) + ": no device; ";
                return false;
            }
            RtAudio::StreamParameters output;
            output.deviceId = audio->getDefaultOutputDevice();
            output.nChannels = 2;
            RtAudio::StreamOptions options;
            options.streamName = client_name;
            options.flags = RTAUDIO_SCHEDULE_REALTIME;
            auto frames = static_cast<unsigned int>(period);
            audio->openStream(&output, nullptr, RTAUDIO_FLOAT32, static_cast<unsigned int>(rate),
                              &frames, Callback, this, &options);
            audio_ = std::move(audio);
            return true;
        }
        catch (const RtAudioError& error)
        {
            *why += std::string(name_) + ": " + error.getMessage() + "; ";
            return false;
        }
    }

    bool Start() override
    {
        frames_left_ = 0;
        running_ = true;
        try
        {
            if (!audio_->isStreamRunning())
                audio_->startStream();
        }
        catch (const RtAudioError&)
        {
            running_ = false;
            return false;
        }
        return true;
    }

    void Stop() override
    {
        running_ = false;
        if (audio_ != nullptr)
        {
            try
            {
                if (audio_->isStreamRunning())
                    audio_->stopStream();
            }
            catch (const RtAudioError&)
            {
            }
        }
        while (in_render_ > 0)
            snooze(100);
    }

    int Rate() const override { return rate_; }
    size_t Period() const override { return block_frames_; }
    const char* Name() const override { return name_; }
    std::string Description() const override { return description_; }
    uint64 Underruns() const override { return underruns_; }

private:
    static int Callback(void* output, void*, unsigned int frames, double,
                        RtAudioStreamStatus status, void* data) HARMOLOOM_NONBLOCKING
    {
        auto* self = static_cast<RtAudioBackend*>(data);
        auto* out = static_cast<float*>(output);
        if ((status & RTAUDIO_OUTPUT_UNDERFLOW) != 0)
            self->underruns_++;
        // Counted in before the check, so that Stop can wait for every call that got past it.
        self->in_render_++;
        if (!self->running_)
        {
            self->in_render_--;
            std::memset(out, 0, frames * 2 * sizeof(float));
            return 0;
        }
        while (frames > 0)
        {
            if (self->frames_left_ == 0)
            {
                self->render_(self->cookie_, self->block_.data(), self->block_frames_);
                self->frames_left_ = self->block_frames_;
            }
            size_t taken = std::min<size_t>(frames, self->frames_left_);
            const float* from =
                self->block_.data() + 2 * (self->block_frames_ - self->frames_left_);
            std::memcpy(out, from, taken * 2 * sizeof(float));
            out += 2 * taken;
            frames -= static_cast<unsigned int>(taken);
            self->frames_left_ -= taken;
        }
        self->in_render_--;
        return 0;
    }

    RtAudio::Api api_;
    const char* name_;
    const char* description_;
    std::unique_ptr<RtAudio> audio_;
    Render render_ = nullptr;
    void* cookie_ = nullptr;
    int rate_ = 0;

    // One buffer of the asked period, handed out in the back end's pieces.
    std::vector<float> block_;
    size_t block_frames_ = 0;
    size_t frames_left_ = 0;

    std::atomic<bool> running_{false};
    std::atomic<int> in_render_{0};
    std::atomic<uint64> underruns_{0};
};

} // namespace

std::unique_ptr<AudioBackend> make_pulse_backend()
{
    return std::make_unique<RtAudioBackend>(RtAudio::LINUX_PULSE, "pulse", "PulseAudio");
}

std::unique_ptr<AudioBackend> make_alsa_backend()
{
    return std::make_unique<RtAudioBackend>(RtAudio::LINUX_ALSA, "alsa", "ALSA");
}
