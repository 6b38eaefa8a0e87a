// What a sequencer's stop costs the audio thread: reset all controllers (121), all notes off
// (123) and all sound off (120) on all 32 channels, applied in one 64-frame cycle, while notes
// sound on every channel. The real FluidSynth with TimGM6mb.
//
//   build/bench/channel_stop_bench [SoundFont]
//
// Prints the median time of one whole stop and the part of the cycle's quarter (333 us at
// 48000 Hz) it takes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/EngineBench.h"
#include "engine/Harmoloom.h"

namespace
{

constexpr unsigned long kFrames = 64;
constexpr double kRate = 48000;
constexpr int kVoices = 256;
constexpr int kNotesPerChannel = 4;
constexpr int kRounds = 41;

// A chord on every channel, a sustain pedal and a bend on some, then a few cycles so that
// the voices are running when the stop comes.
void play(HARMOLOOM& engine, std::vector<float>& buffer)
{
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
    {
        for (int note = 0; note < kNotesPerChannel; note++)
            engine.NoteOn(channel, 48 + 7 * note + channel % 12, 100);
        if (channel % 4 == 0)
            engine.ControlChange(channel, 64, 127);
        engine.PitchBend(channel, 9000);
        engine.ControlChange(channel, 1, 40);
    }
    for (int cycle = 0; cycle < 20; cycle++)
        engine.MakeBuffer(buffer.data(), kFrames);
}

} // namespace

int main(int argc, char** argv)
{
    const char* soundfont = argc > 1 ? argv[1] : TIMGM6MB_SOUNDFONT;
    ActiveVoiceCount active_voices = BindFluidSynth();

    HARMOLOOM engine(kRate);
    if (engine.InitCheck() != 0 || engine.LoadSoundfont(soundfont, 0) == 0)
    {
        std::fprintf(stderr, "cannot set up the engine with %s\n", soundfont);
        return 1;
    }
    engine.SetPoly(kVoices);
    std::vector<float> buffer(kFrames * 2);
    std::vector<double> costs;
    int voices = 0;
    for (int round = 0; round < kRounds; round++)
    {
        play(engine, buffer);
        voices = active_voices(engine.fluid_synth);
        auto start = std::chrono::steady_clock::now();
        for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
        {
            engine.ResetAllControllers(channel);
            engine.AllNotesOff(channel);
            engine.AllSoundOff(channel);
        }
        std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
        costs.push_back(spent.count());
        engine.MakeBuffer(buffer.data(), kFrames); // the voices end in this cycle
    }
    double stop_us = median(costs);
    double quarter_us = 1e6 * kFrames / kRate / 4;
    std::printf("channel stop benchmark: 121, 123 and 120 on %d channels, %d voices sounding, "
                "%d rounds\n",
                ENGINE_CHANNELS, voices, kRounds);
    std::printf("  whole stop        %9.1f us (median), %.1f us the fastest\n", stop_us,
                *std::min_element(costs.begin(), costs.end()));
    std::printf("  quarter period    %9.1f us (%lu frames at %.0f Hz): the stop takes %.2f of it\n",
                quarter_us, kFrames, kRate, stop_us / quarter_us);
    std::printf("  reproduce: %s %s\n", argv[0], soundfont);
    return 0;
}
