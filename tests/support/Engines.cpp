#include "tests/support/Engines.h"

#include "app/Settings.h"
#include "engine/FluidBinding.h"

void EngineTest::TearDown()
{
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

void StandinEngine::SetUp()
{
    InitDefaults();
    UseLibrary(STANDIN_LIBRARY);
}

void StandinEngine::UseLibrary(const std::string& library)
{
    EngineTest::TearDown();
    auto& folder = library_folders_.emplace_back(std::make_unique<TemporaryFolder>());
    LoadLibrary(PlaceLibrary(*folder, library).c_str());
    recorder.Bind();
    NewEngine();
}

void StandinEngine::NewEngine()
{
    delete Synth;
    Synth = new HARMOLOOM(48000);
    recorder.Sent();
}

void RealEngine::SetUp()
{
    InitDefaults();
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = AnotherEngine(&font).release();
    ASSERT_EQ(Synth->InitCheck(), 0);
    ASSERT_NE(font, 0);
}

std::unique_ptr<HARMOLOOM> RealEngine::AnotherEngine(int* font_handle)
{
    auto engine = std::make_unique<HARMOLOOM>(kRate);
    int handle = engine->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0);
    if (font_handle != nullptr)
        *font_handle = handle;
    engine->SetGain(0.5f);
    engine->SetReverbLevel(0.0);
    engine->SetChorusLevel(0.0);
    return engine;
}

std::vector<float> RealEngine::Render(double seconds, HARMOLOOM* engine)
{
    constexpr unsigned long kBlock = 64;
    size_t blocks = static_cast<size_t>(seconds * kRate / kBlock);
    std::vector<float> out(blocks * kBlock * 2);
    for (size_t block = 0; block < blocks; block++)
        (engine != nullptr ? engine : Synth)->MakeBuffer(out.data() + block * kBlock * 2, kBlock);
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
