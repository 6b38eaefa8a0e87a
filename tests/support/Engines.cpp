#include "tests/support/Engines.h"

#include <cmath>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "tests/support/AudioAnalysis.h"

void StandinEngine::SetUp()
{
    InitDefaults();
    UseLibrary(STANDIN_LIBRARY);
}

void StandinEngine::TearDown()
{
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

void StandinEngine::UseLibrary(const std::string& library)
{
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
    LoadLibrary(PlaceLibrary(library_folder, library).c_str());
    recorder.Bind();
    NewEngine();
}

void StandinEngine::NewEngine(int rate)
{
    delete Synth;
    Synth = new HARMOLOOM(rate);
    recorder.Take();
}

Calls StandinEngine::Take()
{
    Calls calls;
    for (std::string& call : recorder.Take())
    {
        if (call.rfind("fluid_synth_write_float", 0) != 0)
            calls.push_back(std::move(call));
    }
    return calls;
}

void RealEngine::SetUp()
{
    InitDefaults();
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = new HARMOLOOM(kRate);
    ASSERT_EQ(Synth->InitCheck(), 0);
    font = Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0);
    ASSERT_NE(font, 0);
    Synth->SetGain(0.5f);
    Synth->SetReverbLevel(0.0);
    Synth->SetChorusLevel(0.0);
}

void RealEngine::TearDown()
{
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

std::vector<float> RealEngine::Render(double seconds)
{
    constexpr unsigned long kBlock = 64;
    size_t blocks = static_cast<size_t>(seconds * kRate / kBlock);
    std::vector<float> out(blocks * kBlock * 2);
    for (size_t block = 0; block < blocks; block++)
        Synth->MakeBuffer(out.data() + block * kBlock * 2, kBlock);
    return out;
}

double RealEngine::PitchOf(int channel, int key)
{
    Synth->NoteOn(channel, key, 100);
    std::vector<float> sound = Render(0.35);
    Synth->NoteOff(channel, key);
    Render(0.5);
    return FundamentalFrequency(Channel(sound, 2, 4800, 9600), kRate);
}

double RealEngine::Level(double seconds)
{
    std::vector<float> sound = Render(seconds);
    return Rms(sound, 0, sound.size());
}

double CentsBetween(double from_hz, double to_hz)
{
    return 1200.0 * std::log2(to_hz / from_hz);
}
