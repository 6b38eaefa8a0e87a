// Where ALSA sequencer notes land within the period: a fake sequencer (no kernel sequencer is
// needed) hands 40 notes at random times to the program's MIDI input (one client, its input
// thread stamping them), while a render thread of ours calls the real BufferFiller with the real
// FluidSynth every 256 frames at 48000 Hz, on time. For each note, the lag from the moment it
// was handed over to its first sound; the spread of the lags (largest minus smallest) is at
// most 64 frames when each note is applied at its place in the next period, and up to a
// period when it is applied wherever the render happens to be.
//
//   build/bench/alsa_timing_bench [SoundFont]
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/support/Threads.h"
#include "tests/support/FakeSequencer.h"

namespace
{

constexpr int kRate = 48000;
constexpr size_t kPeriod = 256;
constexpr int kNotes = 40;
constexpr bigtime_t kNoteSpacing = 150000; // microseconds

void sleep_until(bigtime_t when)
{
    timespec until{static_cast<time_t>(when / 1000000), static_cast<long>(when % 1000000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0)
    {
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* soundfont = argc > 1 ? argv[1] : TIMGM6MB_SOUNDFONT;
    InitDefaults();
    settings[setting::cutout] = 0;
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = new HARMOLOOM(kRate);
    if (Synth->InitCheck() != 0 || Synth->LoadSoundfont(soundfont, 0) == 0)
        return 1;
    Synth->SetReverbLevel(0);
    Synth->SetChorusLevel(0);
    Synth->ProgramChange(0, 80); // a square lead: its sample sounds at once
    current_sample_rate = kRate;

    FakeSequencer sequencer;
    setenv("HARMOLOOM_MIDI", "alsa", 1);
    StartMidiInterface(0);

    const bigtime_t seconds = kNotes * kNoteSpacing / 1000000 + 1;
    std::vector<float> recording(static_cast<size_t>(seconds * kRate * 2) + kPeriod * 2);
    std::atomic<bool> done{false};
    bigtime_t start = system_time() + 100000;
    std::thread render(
        [&]
        {
            set_thread_priority(find_thread(nullptr), B_URGENT_DISPLAY_PRIORITY);
            media_raw_audio_format format;
            format.frame_rate = kRate;
            format.channel_count = 2;
            format.format = B_AUDIO_FLOAT;
            format.buffer_size = kPeriod * 8;
            for (size_t buffer = 0; !done && (buffer + 1) * kPeriod * 2 <= recording.size();
                 buffer++)
            {
                sleep_until(start + static_cast<bigtime_t>(buffer * kPeriod) * 1000000 / kRate);
                BufferFiller(nullptr, &recording[buffer * kPeriod * 2], format.buffer_size, format);
            }
        });

    std::mt19937 random(22);
    std::uniform_int_distribution<bigtime_t> within(0, kNoteSpacing / 3);
    std::vector<bigtime_t> sent;
    for (int note = 0; note < kNotes; note++)
    {
        sleep_until(start + 200000 + note * kNoteSpacing + within(random));
        sent.push_back(system_time());
        sequencer.Announce(SequencerEvent::kMessage, {20, 0}, {0, 0}, {0x90, 69, 100});
        snooze(50000);
        sequencer.Announce(SequencerEvent::kMessage, {20, 0}, {0, 0},
                           {0xB0, 120, 0}); // all sound off: silence for the next
    }
    snooze(200000);
    done = true;
    render.join();
    StopMidiInterface();

    std::vector<double> lags;
    for (bigtime_t when : sent)
    {
        auto event = static_cast<size_t>((when - start) * kRate / 1000000);
        size_t frame = event;
        while (frame * 2 < recording.size() && std::fabs(recording[frame * 2]) < 0.001f)
            frame++;
        lags.push_back(static_cast<double>(frame) - static_cast<double>(event));
    }
    auto [least, most] = std::minmax_element(lags.begin(), lags.end());
    std::printf("ALSA sequencer note timing: %d notes at random times, %zu-frame periods at %d "
                "Hz, the real render on time\n",
                kNotes, kPeriod, kRate);
    std::printf("  lag from hand-over to sound: %.0f to %.0f frames\n", *least, *most);
    std::printf("  spread: %.0f frames (at most 64 for notes at their place; a period is %zu)\n",
                *most - *least, kPeriod);
    std::printf("  reproduce: %s %s\n", argv[0], soundfont);
    return 0;
}
