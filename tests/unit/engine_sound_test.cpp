// The engine against the real FluidSynth and a real General MIDI SoundFont: what it plays is
// measured, not assumed.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "tests/support/AudioAnalysis.h"

namespace
{

constexpr double kRate = 48000;
constexpr unsigned long kBlock = 64;

double cents_between(double from_hz, double to_hz)
{
    return 1200.0 * std::log2(to_hz / from_hz);
}

class EngineSound : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom"); }
    static void TearDownTestSuite() { FreeLibrary(); }

    void SetUp() override
    {
        engine = std::make_unique<HARMOLOOM>(kRate);
        ASSERT_EQ(engine->InitCheck(), 0);
        handle = engine->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0);
        ASSERT_NE(handle, 0);
        engine->SetGain(0.5f);
    }

    // Renders seconds of audio in the audio output's block size.
    std::vector<float> Render(double seconds)
    {
        size_t blocks = static_cast<size_t>(seconds * kRate / kBlock);
        std::vector<float> out(blocks * kBlock * 2);
        for (size_t block = 0; block < blocks; block++)
            engine->MakeBuffer(out.data() + block * kBlock * 2, kBlock);
        return out;
    }

    // The pitch of a note, measured after its attack.
    double PitchOf(int channel, int key)
    {
        engine->NoteOn(channel, key, 100);
        std::vector<float> sound = Render(0.35);
        engine->NoteOff(channel, key);
        Render(0.5);
        return FundamentalFrequency(Channel(sound, 2, 4800, 9600), kRate);
    }

    std::unique_ptr<HARMOLOOM> engine;
    int handle = 0;
};

TEST_F(EngineSound, NoteSoundsAtItsPitch)
{
    EXPECT_NEAR(PitchOf(0, 69), 440.0, 4.4);
    EXPECT_NEAR(PitchOf(0, 57), 220.0, 2.2);
    EXPECT_NEAR(PitchOf(5, 81), 880.0, 8.8);
}

TEST_F(EngineSound, LeftSamplesComeFirstInEachFrame)
{
    engine->ControlChange(0, 10, 0); // pan hard left
    engine->NoteOn(0, 60, 110);
    std::vector<float> sound = Render(0.2);
    double left = Rms(Channel(sound, 0), 0, 9600);
    double right = Rms(Channel(sound, 1), 0, 9600);
    EXPECT_GT(left, 0.01);
    EXPECT_GT(left, 10 * right);
}

TEST_F(EngineSound, NoteOffLetsTheNoteDecay)
{
    engine->NoteOn(0, 69, 110);
    std::vector<float> held = Channel(Render(0.5), 2);
    engine->NoteOff(0, 69);
    std::vector<float> released = Channel(Render(2.0), 2);

    double before = Rms(held, held.size() - 2400, held.size());
    double just_after = Rms(released, 0, 480);
    double long_after = Rms(released, released.size() - 4800, released.size());
    ASSERT_GT(before, 0.005);
    EXPECT_GT(just_after, 0.1 * before) << "a release, not a cut";
    EXPECT_LT(long_after, 0.01 * before);
}

TEST_F(EngineSound, SensitivityOf12ByRegisteredParametersBendsAnOctave)
{
    double plain = PitchOf(0, 57);
    engine->ControlChange(0, 101, 0);
    engine->ControlChange(0, 100, 0);
    engine->ControlChange(0, 6, 12);
    engine->PitchBend(0, 16383);
    // FluidSynth's own pitch-wheel modulator makes 12 semitones about 1190 cents: within 1 %.
    EXPECT_NEAR(PitchOf(0, 57) / plain, 2.0, 0.02);
    engine->PitchBend(0, 0);
    EXPECT_NEAR(PitchOf(0, 57) / plain, 0.5, 0.005);
}

TEST_F(EngineSound, ControllerResetsLeaveTheSensitivityInForce)
{
    engine->ControlChange(0, 101, 0);
    engine->ControlChange(0, 100, 0);
    engine->ControlChange(0, 6, 12);
    double plain = PitchOf(0, 57);
    for (int reset = 1; reset <= 3; reset++)
    {
        engine->ResetAllControllers(0);
        engine->PitchBend(0, 16383);
        EXPECT_NEAR(PitchOf(0, 57) / plain, 2.0, 0.02) << "after reset " << reset;
        engine->PitchBend(0, 8192);
    }
}

TEST_F(EngineSound, FineTuningOfMinus8192LowersBy50Cents)
{
    double plain = PitchOf(0, 69);
    engine->ControlChange(0, 101, 0);
    engine->ControlChange(0, 100, 1);
    engine->ControlChange(0, 6, 0);
    engine->ControlChange(0, 38, 0);
    EXPECT_NEAR(cents_between(plain, PitchOf(0, 69)), -50.0, 2.0);

    engine->ControlChange(0, 6, 127);
    engine->ControlChange(0, 38, 127);
    EXPECT_NEAR(cents_between(plain, PitchOf(0, 69)), 8191.0 / 163.84, 2.0);

    engine->SystemReset();
    EXPECT_NEAR(cents_between(plain, PitchOf(0, 69)), 0.0, 2.0) << "the reset retunes nothing "
                                                                   "but clears the state";
}

TEST_F(EngineSound, SystemResetSilencesSoundingNotes)
{
    // An organ holds its note for as long as the key is down.
    engine->ProgramChange(0, 19);
    engine->ProgramChange(1, 19);
    engine->NoteOn(0, 60, 110);
    engine->NoteOn(1, 64, 110);
    std::vector<float> playing = Channel(Render(0.5), 2);
    double held = Rms(playing, playing.size() - 4800, playing.size());
    ASSERT_GT(held, 0.005);
    std::vector<float> still = Channel(Render(0.5), 2);
    ASSERT_GT(Rms(still, still.size() - 4800, still.size()), 0.5 * held);

    engine->SystemReset();
    std::vector<float> after = Channel(Render(0.5), 2);
    EXPECT_LT(Rms(after, after.size() - 4800, after.size()), 0.01 * held);
}

TEST_F(EngineSound, BankOffsetMovesTheFontsPresets)
{
    engine->ClearSoundfont(handle);
    handle = engine->LoadSoundfont(TIMGM6MB_SOUNDFONT, 2);
    ASSERT_NE(handle, 0);
    engine->NoteOn(0, 60, 110);
    std::vector<float> bank0 = Channel(Render(0.2), 2);
    EXPECT_LT(Rms(bank0, 0, bank0.size()), 1e-5) << "nothing is left on bank 0";

    engine->ControlChange(0, 0, 2);
    engine->ProgramChange(0, 0);
    engine->NoteOn(0, 60, 110);
    std::vector<float> bank2 = Channel(Render(0.2), 2);
    EXPECT_GT(Rms(bank2, 0, bank2.size()), 0.005);

    engine->OffsetSoundfont(handle, 0); // back on bank 0, and the channels reset to it
    engine->NoteOn(0, 60, 110);
    std::vector<float> again = Channel(Render(0.2), 2);
    EXPECT_GT(Rms(again, 0, again.size()), 0.005);
}

TEST_F(EngineSound, UnloadedFontPlaysNothingAndMissingFilesFailToLoad)
{
    EXPECT_EQ(engine->LoadSoundfont("/no/such/font.sf2", 0), 0);
    engine->ClearSoundfont(handle);
    engine->NoteOn(0, 60, 110);
    std::vector<float> sound = Channel(Render(0.2), 2);
    EXPECT_LT(Rms(sound, 0, sound.size()), 1e-5);
}

TEST(EngineRates, OutsideTheAcceptedRangeTheEngineRendersSilence)
{
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    for (double rate : {22050.0, 96000.0})
    {
        HARMOLOOM engine(rate);
        EXPECT_EQ(engine.InitCheck(), 0) << rate;
    }
    for (double rate : {22049.0, 96001.0, std::nan("")})
    {
        HARMOLOOM engine(rate);
        EXPECT_EQ(engine.InitCheck(), -1) << rate;
        EXPECT_EQ(engine.LoadSoundfont(TIMGM6MB_SOUNDFONT, 0), 0);
        engine.NoteOn(0, 60, 100);
        std::vector<float> buffer(128, 1.0f);
        engine.MakeBuffer(buffer.data(), 64);
        for (float sample : buffer)
            ASSERT_EQ(sample, 0.0f) << rate;
    }
    FreeLibrary();
}

} // namespace
