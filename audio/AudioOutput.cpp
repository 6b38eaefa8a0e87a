#include "audio/AudioOutput.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Debug.h"
#include "app/ExitNow.h"
#include "app/Settings.h"
#include "audio/Fuse.h"
#include "audio/LevelMeter.h"
#include "engine/FluidLog.h"
#include "engine/Harmoloom.h"
#include "platform/interface/Alert.h"
#include "platform/midi/CycleMidi.h"
#include "platform/support/Threads.h"
#include "ui/MessageCodes.h"
#include "ui/Window.h"

BSoundPlayer* player = nullptr;
std::atomic<int> current_sample_rate{0};
MAINVIEW* theview = nullptr;

namespace
{

std::atomic<int> current_period{0};
bool audio_started = false;
// Whether the callback keeps the fuse: the Setup page's choice as it was at the start (a new
// choice takes effect at the next start, and the page may store it while the callback runs).
bool fuse_kept = false;

// FluidSynth takes a note at the start of the 64-frame block it renders next: the buffer is
// rendered in pieces ending at those blocks, so that an event keeps its place within the buffer
// to within a block, whatever the period.
constexpr unsigned long kEngineBlock = 64;

unsigned long next_stop(void*, unsigned long reached, unsigned long frames)
{
    unsigned long block_end = (reached / kEngineBlock + 1) * kEngineBlock;
    size_t next = ApplyCycleMidiBefore(block_end);
    if (next >= frames)
        return frames;
    return std::max<unsigned long>(block_end, next / kEngineBlock * kEngineBlock);
}

// Set on the callback's first run, once its thread's priority has been dealt with.
int have_set_priority = 0;
// The Setup page's priority choice, as the output that was opened lets it apply; -1 until one
// is opened (the stored choice then).
int priority_to_apply = -1;

void set_priority_once()
{
    if (have_set_priority != 0)
        return;
    // The audio library's thread is not ours to set up beforehand: here it gets what every
    // thread of ours has for the crash handler.
    use_alternate_signal_stack();
    int index = priority_to_apply >= 0 ? priority_to_apply : settings[setting::priority_index];
    if (index == 0)
        set_thread_priority(find_thread(nullptr), B_NORMAL_PRIORITY);
    else if (index == 1)
        set_thread_priority(find_thread(nullptr), B_URGENT_DISPLAY_PRIORITY);
    // Any other choice leaves the priority the audio system gave the thread.
    have_set_priority = 1;
}

// The audio server went away or came back (JACK, which the program outlives): on the back end's
// watching thread. The engine takes a new server's rate before its first render.
void server_changed(void*, int32 what, ...)
{
    if (what == B_SERVER_BACK)
    {
        va_list arguments;
        va_start(arguments, what);
        int rate = va_arg(arguments, int);
        va_end(arguments);
        if (rate != current_sample_rate)
            Synth->SetSampleRate(rate);
        current_sample_rate = rate;
        std::fprintf(stderr, "Harmoloom: the JACK server is running again, at %d Hz\n", rate);
        DEBUG_PRINT("JACK server running again");
    }
    else if (what == B_SERVER_LOST)
    {
        std::fprintf(stderr, "Harmoloom: the JACK server stopped; waiting for it to start again\n");
        DEBUG_PRINT("JACK server stopped");
    }
    if (WINDOW* window = app_window.load())
    {
        BMessage message(MSG_OUTPUT_CHANGED);
        window->PostMessage(&message);
    }
}

} // namespace

bigtime_t EnginePatience(unsigned long frames, int sample_rate)
{
    if (sample_rate <= 0)
        return 0;
    return static_cast<bigtime_t>(frames) * 1000000 / sample_rate / 4;
}

std::string OutputDeviceName()
{
    return player != nullptr && player->InitCheck() == B_OK ? player->BackendDescription() : "None";
}

bool ServerSetsRateAndPeriod()
{
    return player != nullptr && player->InitCheck() == B_OK &&
           std::strcmp(player->BackendName(), "jack") == 0;
}

int CurrentPeriod()
{
    return current_period;
}

int OpenAudio(int sample_rate, int frames_per_buffer)
{
    if (player != nullptr)
        return current_sample_rate;
    media_raw_audio_format format;
    format.frame_rate = static_cast<float>(sample_rate);
    format.channel_count = 2;
    format.format = B_AUDIO_FLOAT;
    format.byte_order = B_MEDIA_LITTLE_ENDIAN;
    format.buffer_size = static_cast<size_t>(frames_per_buffer) * 8;

    player = new BSoundPlayer(&format, "Harmoloom", BufferFiller, server_changed, nullptr);
    if (player->InitCheck() != B_OK)
        return sample_rate;
    current_sample_rate = player->FrameRate();
    current_period = static_cast<int>(player->Period());
    // JACK gives its process thread the server's real-time priority: raising or lowering it
    // would only fight the server, and every other client's cycle with it.
    priority_to_apply = settings[setting::priority_index];
    if (std::strcmp(player->BackendName(), "jack") == 0 && priority_to_apply != 2)
    {
        DEBUG_PRINT("Audio thread priority left to the JACK server");
        priority_to_apply = 2;
    }
    if (current_sample_rate != sample_rate || current_period != frames_per_buffer)
    {
        char line[160];
        std::snprintf(line, sizeof(line),
                      "Audio server's rate %d Hz and period %d frames used instead of the "
                      "stored %d Hz and %d frames",
                      current_sample_rate.load(), current_period.load(), sample_rate,
                      frames_per_buffer);
        DEBUG_PRINT(line);
    }
    return current_sample_rate;
}

void StartAudio(int sample_rate, int frames_per_buffer, MAINVIEW* view)
{
    if (audio_started)
        return;
    theview = view;
    fuse_kept = settings[setting::cutout] != 0;
    if (fuse_kept)
        StartFuse();
    OpenAudio(sample_rate, frames_per_buffer);
    // A stream that opened may still refuse to run; silence would then hide the failure.
    if (player->InitCheck() != B_OK || player->Start() != B_OK)
        AudioError(player->FailureReason());
    audio_started = true;
}

void BufferFiller(void*, void* buffer, size_t size, const media_raw_audio_format& format)
{
    set_priority_once();
    // Notes are applied here with JACK, and FluidSynth may say something about them: no write
    // on this thread (a flag of the thread's own, so set on every call).
    DeferFluidLogOnThisThread();
    unsigned long frames = size / 8;
    if (format.format != B_AUDIO_FLOAT)
        AudioError();

    auto* samples = static_cast<float*>(buffer);
    float max_left = 0.0f;
    float max_right = 0.0f;
    current_period = static_cast<int>(frames);
    bigtime_t patience = EnginePatience(frames, current_sample_rate);
    if (frames != 0 && samples != nullptr)
    {
        if (FusePauseActive(system_time()))
        {
            // The fuse's pause at the lowest polyphony: silence that costs nothing, so that the
            // starved threads get the processor; MIDI waits for the next rendered buffer.
            std::memset(samples, 0, frames * 8);
        }
        else
        {
            // MIDI that could not be applied (the engine was busy) waits for the next buffer.
            CycleMidiBufferStarts(frames, current_sample_rate);
            Synth->RenderWithin(samples, frames, patience, next_stop, nullptr);
            CycleMidiBufferEnds();
            PeakScan(samples, frames, &max_left, &max_right);
        }
    }
    UpdateMeterLevels(max_left, max_right, frames, current_sample_rate);
    if (fuse_kept)
        FuseCheck();
}

void StopAudio()
{
    if (player != nullptr)
    {
        // The caller may hold the window's lock (the window's quit does): the callback never
        // waits for it, a fuse trip included, so this wait for the callback to end comes to an end.
        player->Stop(true, true);
        DEBUG_PRINT("Audio underruns: %d",
                    static_cast<int>(std::min<uint64>(player->UnderrunCount(), INT32_MAX)));
        delete player;
    }
    player = nullptr;
    audio_started = false;
    FlushFluidLog();
    current_period = 0;
}

void AudioError(const char* cause)
{
    std::string text = "Sorry, an unexpected error occurred when trying to initialize the audio "
                       "output. You may wish to try restarting the sound server (PipeWire, "
                       "PulseAudio or JACK) before trying again.\n";
    std::string line = FailureCause(cause);
    if (!line.empty())
        text += line + "\n";
    text += "\nIf you are experiencing this error every time you try to start Harmoloom, you may "
            "wish to try restoring the settings to the factory defaults -- click 'restore to "
            "defaults' below. Please note that doing this will clear all your settings, including "
            "which soundfonts were last in-use.";
    int answer = (new BAlert("failed", text.c_str(), "Restore to defaults", "OK", nullptr,
                             B_WIDTH_AS_USUAL, B_STOP_ALERT))
                     ->Go();
    if (answer == 0)
        RestoreDefaultSettings();
    ExitNow(1);
}
