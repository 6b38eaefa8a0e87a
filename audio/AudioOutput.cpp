#include "audio/AudioOutput.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/Debug.h"
#include "app/ExitNow.h"
#include "app/Settings.h"
#include "audio/Fuse.h"
#include "audio/LevelMeter.h"
#include "engine/Harmoloom.h"
#include "platform/interface/Alert.h"
#include "platform/support/Threads.h"

BSoundPlayer* player = nullptr;
int current_sample_rate = 0;
MAINVIEW* theview = nullptr;

namespace
{

// Set on the callback's first run, once its thread's priority has been dealt with.
int have_set_priority = 0;

void set_priority_once()
{
    if (have_set_priority != 0)
        return;
    // The audio library's thread is not ours to set up beforehand: here it gets what every
    // thread of ours has for the crash handler.
    use_alternate_signal_stack();
    int index = settings[setting::priority_index];
    if (index == 0)
        set_thread_priority(find_thread(nullptr), B_NORMAL_PRIORITY);
    else if (index == 1)
        set_thread_priority(find_thread(nullptr), B_URGENT_DISPLAY_PRIORITY);
    // Any other choice leaves the priority the audio system gave the thread.
    have_set_priority = 1;
}

} // namespace

bigtime_t EnginePatience(unsigned long frames, int sample_rate)
{
    if (sample_rate <= 0)
        return 0;
    return static_cast<bigtime_t>(frames) * 1000000 / sample_rate / 4;
}

void StartAudio(int sample_rate, int frames_per_buffer, MAINVIEW* view)
{
    if (player != nullptr)
        return;
    theview = view;
    current_sample_rate = sample_rate;
    if (settings[setting::cutout] != 0)
        StartFuse();

    media_raw_audio_format format;
    format.frame_rate = static_cast<float>(sample_rate);
    format.channel_count = 2;
    format.format = B_AUDIO_FLOAT;
    format.byte_order = B_MEDIA_LITTLE_ENDIAN;
    format.buffer_size = static_cast<size_t>(frames_per_buffer) * 8;

    player = new BSoundPlayer(&format, "Harmoloom L/R", BufferFiller, nullptr, nullptr);
    // A stream that opened may still refuse to run; silence would then hide the failure.
    if (player == nullptr || player->InitCheck() != B_OK || player->Start() != B_OK)
        AudioError();
}

void BufferFiller(void*, void* buffer, size_t size, const media_raw_audio_format& format)
{
    set_priority_once();
    unsigned long frames = size / 8;
    if (format.format != B_AUDIO_FLOAT)
        AudioError();

    auto* samples = static_cast<float*>(buffer);
    float max_left = 0.0f;
    float max_right = 0.0f;
    bigtime_t patience = EnginePatience(frames, current_sample_rate);
    if (frames != 0 && samples != nullptr)
    {
        Synth->RenderWithin(samples, frames, patience);
        PeakScan(samples, frames, &max_left, &max_right);
    }
    UpdateMeterLevels(max_left, max_right, frames, current_sample_rate);
    if (settings[setting::cutout] != 0)
        FuseCheck(patience);
}

void StopAudio()
{
    if (player != nullptr)
    {
        // The caller may hold the window's lock: a fuse trip in the callback waits for it only a
        // moment, so this wait for the callback to end comes to an end.
        player->Stop(true, true);
        DEBUG_PRINT("Audio underruns: %d",
                    static_cast<int>(std::min<uint64>(player->UnderrunCount(), INT32_MAX)));
        delete player;
    }
    player = nullptr;
}

void AudioError()
{
    int answer =
        (new BAlert("failed",
                    "Sorry, an unexpected error occured when trying to initialize the audio "
                    "output. You may wish to try restarting media services (media preferences "
                    "panel) before trying again.\n\nIf you are experiencing this error every time "
                    "you try to start Harmoloom, you may wish to try restoring the settings to the "
                    "factory defaults -- click 'restore to defaults' below. Please note that doing "
                    "this will clear all your settings, including which soundfonts were last "
                    "in-use.",
                    "Restore to defaults", "OK", nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
            ->Go();
    if (answer == 0)
        RestoreDefaultSettings();
    ExitNow(1);
}
