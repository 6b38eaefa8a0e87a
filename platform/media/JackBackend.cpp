// The JACK back end: the audio outputs of the process's one JACK client, at the server's rate and
// period whatever was asked, the render function called for exactly the frames of each cycle.
#include <cstdio>

#include "platform/media/AudioBackend.h"
#include "platform/media/JackClient.h"

namespace
{

class JackBackend : public AudioBackend
{
public:
    ~JackBackend() override
    {
        if (!open_)
            return;
        jack_client::SetServerHandler(nullptr, nullptr);
        jack_client::DetachAudio();
        jack_client::Release();
    }

    bool Open(const char*, int, size_t, Render render, void* cookie, std::string* why) override
    {
        if (!jack_client::Acquire(why))
            return false;
        open_ = true;
        return jack_client::AttachAudio(render, cookie);
    }

    bool Start() override
    {
        jack_client::StartAudio();
        return true;
    }

    void Stop() override { jack_client::StopAudio(); }

    int Rate() const override { return jack_client::Rate(); }
    size_t Period() const override { return jack_client::Period(); }
    const char* Name() const override { return "jack"; }

    std::string Description() const override
    {
        if (!jack_client::ServerRunning())
            return "JACK (stopped)";
        char text[64];
        std::snprintf(text, sizeof(text), "JACK (%g kHz, %zu)", Rate() / 1000.0, Period());
        return text;
    }

    uint64 Underruns() const override { return jack_client::Underruns(); }

    void SetServerHandler(ServerHandler handler, void* cookie) override
    {
        jack_client::SetServerHandler(handler, cookie);
    }

private:
    bool open_ = false;
};

} // namespace

std::unique_ptr<AudioBackend> make_jack_backend()
{
    return std::make_unique<JackBackend>();
}
