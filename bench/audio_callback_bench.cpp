// What the render callback costs over a bare render of the same synthesizer: BufferFiller
// (engine lock with patience, render, peak scan, meter update) against fluid_synth_write_float
// alone, with 128 sounding voices and 64-frame buffers.
//
//   build/bench/audio_callback_bench [SoundFont]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/support/AddOn.h"

namespace
{

constexpr unsigned long kFrames = 64;
constexpr int kVoices = 128;
constexpr int kCalls = 1000;
constexpr int kRounds = 31;

template <typename Render> double nanoseconds_per_call(Render render)
{
    auto start = std::chrono::steady_clock::now();
    for (int call = 0; call < kCalls; call++)
        render();
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCalls;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const char* soundfont = argc > 1 ? argv[1] : TIMGM6MB_SOUNDFONT;
    InitDefaults();
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    int (*active_voices)(fluid_synth_t*) = nullptr;
    get_image_symbol(libraryimage, "fluid_synth_get_active_voice_count", B_SYMBOL_TYPE_ANY,
                     reinterpret_cast<void**>(&active_voices));
    Synth = new HARMOLOOM(48000);
    if (Synth->InitCheck() != 0 || Synth->LoadSoundfont(soundfont, 0) == 0)
        return 1;
    Synth->SetPoly(kVoices);
    current_sample_rate = 48000;

    std::vector<float> buffer(kFrames * 2);
    media_raw_audio_format format;
    format.frame_rate = 48000;
    format.channel_count = 2;
    format.format = B_AUDIO_FLOAT;
    format.buffer_size = kFrames * 8;
    for (int channel = 0; channel < 16; channel++)
    {
        if (channel != 9)
            Synth->ProgramChange(channel, 19); // organs hold their notes
    }
    for (int note = 0; active_voices(Synth->fluid_synth) < kVoices && note < 600; note++)
    {
        Synth->NoteOn(note % 16 == 9 ? 0 : note % 16, 30 + note % 60, 90);
        Synth->MakeBuffer(buffer.data(), kFrames);
    }
    for (int warm = 0; warm < 2000; warm++)
        BufferFiller(nullptr, buffer.data(), format.buffer_size, format);

    auto callback = [&] { BufferFiller(nullptr, buffer.data(), format.buffer_size, format); };
    auto bare = [&]
    {
        hook_fluid_synth_write_float(Synth->fluid_synth, static_cast<int>(kFrames), buffer.data(),
                                     0, 2, buffer.data(), 1, 2);
    };
    std::vector<double> callback_costs;
    std::vector<double> bare_costs;
    for (int round = 0; round < kRounds; round++)
    {
        if (round % 2 == 0)
        {
            callback_costs.push_back(nanoseconds_per_call(callback));
            bare_costs.push_back(nanoseconds_per_call(bare));
        }
        else
        {
            bare_costs.push_back(nanoseconds_per_call(bare));
            callback_costs.push_back(nanoseconds_per_call(callback));
        }
    }
    double callback_ns = median(callback_costs);
    double bare_ns = median(bare_costs);
    std::printf("render callback benchmark: %d voices, %lu frames at 48000 Hz\n",
                active_voices(Synth->fluid_synth), kFrames);
    std::printf("  BufferFiller                 %9.0f ns per buffer (median)\n", callback_ns);
    std::printf("  bare fluid_synth_write_float %9.0f ns per buffer (median)\n", bare_ns);
    std::printf("  ratio                        %9.4f (target at most 1.02)\n",
                callback_ns / bare_ns);
    std::printf("  buffer period                %9.0f ns\n", 1e9 * kFrames / 48000);
    std::printf("  reproduce: %s %s\n", argv[0], soundfont);
    return 0;
}
