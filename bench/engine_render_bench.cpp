// What the engine's render call costs over a bare fluid_synth_write_float on the same
// synthesizer: 64 sounding voices, 64-frame buffers, as the audio thread renders them.
//
//   build/bench/engine_render_bench [SoundFont]
//
// Prints the median cost per call of each and their ratio (the engine's lock is all it adds),
// then the cost with both effects at their default return level and at level 0, and what the
// Channels page's activity lights add to each process cycle.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/EngineBench.h"
#include "engine/Harmoloom.h"

namespace
{

constexpr unsigned long kFrames = 64;
constexpr int kVoices = 64;
constexpr int kCallsPerRound = 2000;
constexpr int kRounds = 41;

template <typename Render> double nanoseconds_per_call(Render render)
{
    auto start = std::chrono::steady_clock::now();
    for (int call = 0; call < kCallsPerRound; call++)
        render();
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCallsPerRound;
}

} // namespace

int main(int argc, char** argv)
{
    const char* soundfont = argc > 1 ? argv[1] : TIMGM6MB_SOUNDFONT;
    ActiveVoiceCount active_voices = BindFluidSynth();

    HARMOLOOM engine(48000);
    if (engine.InitCheck() != 0 || engine.LoadSoundfont(soundfont, 0) == 0)
    {
        std::fprintf(stderr, "cannot set up the engine with %s\n", soundfont);
        return 1;
    }
    engine.SetPoly(kVoices);
    // Organs hold their notes, so the voice count stays put while we measure.
    std::vector<float> buffer(kFrames * 2);
    for (int channel = 0; channel < 16; channel++)
    {
        if (channel != 9)
            engine.ProgramChange(channel, 19);
    }
    for (int note = 0; active_voices(engine.fluid_synth) < kVoices && note < 400; note++)
    {
        engine.NoteOn(note % 16 == 9 ? 0 : note % 16, 36 + note % 48, 90);
        engine.MakeBuffer(buffer.data(), kFrames);
    }
    for (int warm = 0; warm < 2000; warm++)
        engine.MakeBuffer(buffer.data(), kFrames);
    int voices_before = active_voices(engine.fluid_synth);

    auto through_engine = [&] { engine.MakeBuffer(buffer.data(), kFrames); };
    auto bare = [&]
    {
        hook_fluid_synth_write_float(engine.fluid_synth, static_cast<int>(kFrames), buffer.data(),
                                     0, 2, buffer.data(), 1, 2);
    };
    std::vector<double> engine_costs;
    std::vector<double> bare_costs;
    for (int round = 0; round < kRounds; round++)
    {
        // Alternate which goes first, so that neither always finds the caches warm.
        if (round % 2 == 0)
        {
            engine_costs.push_back(nanoseconds_per_call(through_engine));
            bare_costs.push_back(nanoseconds_per_call(bare));
        }
        else
        {
            bare_costs.push_back(nanoseconds_per_call(bare));
            engine_costs.push_back(nanoseconds_per_call(through_engine));
        }
    }
    int voices_after = active_voices(engine.fluid_synth);
    std::vector<double> light_costs;
    for (int round = 0; round < kRounds; round++)
        light_costs.push_back(nanoseconds_per_call([&] { engine.NoteActivity(); }));

    double engine_ns = median(engine_costs);
    double bare_ns = median(bare_costs);
    std::printf("engine render benchmark: %d voices (%d at the end), %lu frames at 48000 Hz, "
                "%d rounds of %d calls\n",
                voices_before, voices_after, kFrames, kRounds, kCallsPerRound);
    std::printf("  HARMOLOOM::MakeBuffer        %9.0f ns per call (median)\n", engine_ns);
    std::printf("  bare fluid_synth_write_float %9.0f ns per call (median)\n", bare_ns);
    std::printf("  ratio                        %9.4f (target at most 1.02)\n",
                engine_ns / bare_ns);
    std::printf("  activity lights (NoteActivity) %7.0f ns per process cycle (median)\n",
                median(light_costs));

    // Reverb and chorus at return level 0 are switched off, and should cost nothing.
    auto with_effects_at = [&](double level)
    {
        engine.SetReverbLevel(level);
        engine.SetChorusLevel(level);
        std::vector<double> costs;
        for (int round = 0; round < kRounds / 2; round++)
            costs.push_back(nanoseconds_per_call(through_engine));
        return median(costs);
    };
    double effects_on = with_effects_at(0.7);
    double effects_off = with_effects_at(0.0);
    std::printf("  reverb and chorus at 0.7     %9.0f ns per call (median)\n", effects_on);
    std::printf("  both at level 0 (off)        %9.0f ns per call (median), %.3f of the above\n",
                effects_off, effects_off / effects_on);
    std::printf("  reproduce: %s %s\n", argv[0], soundfont);
    return 0;
}
