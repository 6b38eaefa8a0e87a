// The engine: its binding to FluidSynth, the exact calls it makes (read back from the recording
// stand-in) and what the real FluidSynth then plays with a General MIDI SoundFont.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "engine/FluidBinding.h"
#include "engine/FluidLog.h"
#include "engine/Harmoloom.h"
#include "tests/support/AlertTexts.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/Engines.h"

namespace
{

void select_parameter(int channel, int msb, int lsb)
{
    Synth->ControlChange(channel, 101, msb);
    Synth->ControlChange(channel, 100, lsb);
}

// A channel's registered-parameter state: selection (msb, lsb), bend range, fine tuning (msb,
// lsb) and coarse tuning.
std::vector<int> parameters(int c)
{
    return {Synth->rpn_msb[c],       Synth->rpn_lsb[c],       Synth->bend_range[c],
            Synth->fine_tune_msb[c], Synth->fine_tune_lsb[c], Synth->coarse_tune[c]};
}

// The first sample at which two renders of one length part; their length when they never do.
size_t parting(const std::vector<float>& a, const std::vector<float>& b)
{
    return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
}

} // namespace

TEST(BindingDeathTest, ALibraryThatCannotServeEndsWithTheNolibAlert)
{
    TemporaryFolder text;
    TemporaryFolder lacking;
    WriteFile(text.File("text"), "no library");
    const std::string cases[][2] = {
        {PlaceLibrary(text, text.File("text")), ""},
        {PlaceLibrary(lacking, STANDIN_LIBRARY_WITHOUT_CHORUS),
         "undefined symbol: fluid_synth_set_chorus\n"},
        {"/" + std::string(8150, 'd') + "/Harmoloom", ""}, // no room for the library's path
    };
    for (const auto& [program, reason] : cases)
    {
        EXPECT_EXIT(
            {
                unsetenv("DISPLAY");
                unsetenv("HARMOLOOM_ALERT_ANSWERS");
                LoadLibrary(program.c_str());
            },
            ::testing::ExitedWithCode(1),
            RegexLiteral(reason + AlertOnStderr("nolib", alert_text::kNoLibrary)))
            << program.substr(0, 100);
    }
}

// FluidSynth may speak while notes are applied on the audio thread: no write there.
TEST(FluidLog, TheAudioThreadsLinesWaitForTheFlush)
{
    testing::internal::CaptureStderr();
    std::thread(
        []
        {
            DeferFluidLogOnThisThread();
            FluidLogMessage(1, "voice overflow", nullptr);
        })
        .join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "written on the audio thread";
    testing::internal::CaptureStderr();
    FlushFluidLog();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Harmoloom: FluidSynth: voice overflow\n");
}

using EngineCalls = StandinEngine;

TEST_F(EngineCalls, ValuesAreClampedAndOthersNeverSent)
{
    Synth->NoteOn(3, 60, 0);
    Synth->NoteOn(3, 200, 90);
    Synth->NoteOn(3, -4, 300);
    Synth->NoteOn(32, 60, 100);
    Synth->NoteOff(-1, 60);
    Synth->ProgramChange(3, 128);
    Synth->PitchBend(3, 20000);
    Synth->PitchBend(3, -20);
    const std::pair<int, int> controllers[] = {{7, 300}, {0, 5},   {32, 5},  {120, 0},
                                               {121, 0}, {123, 0}, {128, 0}, {64, -3}};
    for (auto [controller, value] : controllers)
        Synth->ControlChange(4, controller, value);
    Synth->ControlChange(32, 7, 1);
    for (int voices : {0, 10000})
        Synth->SetPoly(voices);
    EXPECT_EQ(Sent(), "noteoff(3,60) noteon(3,127,90) noteon(3,0,127) pitch_bend(3,16383) "
                      "pitch_bend(3,0) cc(4,7,127) cc(4,0,5) cc(4,64,0) set_polyphony(1) "
                      "set_polyphony(4096) ");

    Synth->ResetAllControllers(32);
    EXPECT_EQ(Sent(), "");
}

// Data entry sends FluidSynth only what changed, and tunes a channel in place; the registered
// parameters (on a fresh channel) keep to their limits.
TEST_F(EngineCalls,
       DataEntrySendsOnlyChangesRegisteredParametersKeepToLimitsAndTuningNamesApplyAtOnce)
{
    const std::pair<std::vector<std::pair<int, int>>, std::string> steps[] = {
        {{{101, 0}, {100, 0}, {6, 12}}, "pitch_wheel_sens(1,12) "},
        {{{6, 12}, {38, 5}, {96, 1}}, ""},
        {{{100, 1}, {6, 0}}, "set_gen(1,52,-50.0000) "},
        {{{38, 0}, {97, 1}}, ""},
        {{{6, 64}}, "set_gen(1,52,0.0000) "},
        {{{101, 127}, {100, 127}, {6, 40}}, ""}, // nothing selected
    };
    for (const auto& [controllers, calls] : steps)
    {
        for (auto [controller, value] : controllers)
            Synth->ControlChange(1, controller, value);
        EXPECT_EQ(Sent(), calls) << controllers.back().first << " = " << controllers.back().second;
    }

    struct Step
    {
        int controller, value, times;
        std::vector<int> after;
    };
    const Step registered[] = {
        {101, 0, 1, {0, -1, 2, 64, 0, 64}},      {100, 0, 1, {0, 0, 2, 64, 0, 64}}, // bend range
        {6, 30, 1, {0, 0, 24, 64, 0, 64}},       {96, 1, 1, {0, 0, 24, 64, 0, 64}}, // only 0 steps
        {97, 0, 30, {0, 0, 0, 64, 0, 64}},       {100, 1, 1, {0, 1, 0, 64, 0, 64}}, // fine tuning
        {96, 0, 70, {0, 1, 0, 127, 0, 64}},      {38, 99, 1, {0, 1, 0, 127, 99, 64}},
        {100, 2, 1, {0, 2, 0, 127, 99, 64}},     {6, 30, 1, {0, 2, 0, 127, 99, 40}}, // coarse
        {97, 0, 1, {0, 2, 0, 127, 99, 40}},      {6, 100, 1, {0, 2, 0, 127, 99, 88}},
        {100, 127, 1, {0, 127, 0, 127, 99, 88}}, {101, 127, 1, {-1, -1, 0, 127, 99, 88}},
        {38, 5, 1, {-1, -1, 0, 127, 99, 88}}, // with nothing selected
    };
    for (const Step& step : registered)
    {
        for (int time = 0; time < step.times; time++)
            Synth->ControlChange(2, step.controller, step.value);
        EXPECT_EQ(parameters(2), step.after) << step.controller << " = " << step.value;
    }
}

// A reset sends only the controllers FluidSynth holds at another value (volume, pan and the
// effect sends never), then the engine's bend range, which the reset's data entry upset; all
// notes off is one call. Without the optional entry points: every controller, every key.
TEST_F(EngineCalls, AResetSendsWhatItChangesAndAllNotesOffIsOneCall)
{
    select_parameter(6, 0, 0);
    for (auto [controller, value] : {std::pair{6, 12}, {1, 40}, {11, 127}, {64, 127}, {7, 90}})
        Synth->ControlChange(6, controller, value);
    Sent();
    Synth->ResetAllControllers(6);
    Synth->AllNotesOff(6);
    EXPECT_EQ(Sent(), "cc(6,1,0) cc(6,6,0) cc(6,38,0) cc(6,64,0) cc(6,96,0) cc(6,97,0) cc(6,98,0) "
                      "cc(6,99,0) cc(6,100,0) cc(6,101,0) pitch_bend(6,8192) "
                      "pitch_wheel_sens(6,12) all_notes_off(6) ");
    EXPECT_EQ(parameters(6), (std::vector<int>{-1, -1, 12, 64, 0, 64}));
    Synth->ResetAllControllers(32);

    UseLibrary(STANDIN_LIBRARY_2);
    select_parameter(5, 0, 1);
    Synth->ControlChange(5, 6, 0); // FluidSynth 2 tuning names, applied at once
    Synth->ResetAllControllers(5);
    Synth->AllNotesOff(5);
    std::string expected = "activate_octave_tuning(0,5,t,-50.0000,uniform=1,apply=1) "
                           "activate_tuning(5,0,5,apply=1) ";
    for (int cc = 1; cc <= 118; cc++)
        if (cc != 7 && cc != 10 && cc != 32 && cc != 91 && cc != 93)
            expected += "cc(5," + std::to_string(cc) + (cc == 11 ? ",127) " : ",0) ");
    expected += "pitch_bend(5,8192) pitch_wheel_sens(5,2) ";
    for (int key = 0; key <= 127; key++)
        expected += "noteoff(5," + std::to_string(key) + ") ";
    EXPECT_EQ(Sent(), expected);
}

using EngineSound = RealEngine;

TEST_F(EngineSound, FineTuningSpansFiftyCentsEachWayUntilAReset)
{
    double plain = PitchOf(0, 69);
    EXPECT_NEAR(plain, 440.0, 4.4);
    select_parameter(0, 0, 1);
    Synth->ControlChange(0, 6, 0);
    Synth->ControlChange(0, 38, 0);
    EXPECT_NEAR(CentsBetween(plain, PitchOf(0, 69)), -50.0, 2.0);
    Synth->ControlChange(0, 6, 127);
    Synth->ControlChange(0, 38, 127);
    EXPECT_NEAR(CentsBetween(plain, PitchOf(0, 69)), 8191.0 / 163.84, 2.0);
    Synth->SystemReset();
    EXPECT_NEAR(CentsBetween(plain, PitchOf(0, 69)), 0.0, 2.0);
}

// Two stops (reset all controllers, all notes off) leave FluidSynth as the former call-by-call
// stops did: the same releases, then the same controllers, 12-semitone bend and glide.
TEST_F(EngineSound, AStopLeavesFluidSynthAsEveryControllerAndKeyDid)
{
    auto heard = [](bool former)
    {
        std::unique_ptr<HARMOLOOM> engine = AnotherEngine();
        fluid_synth_t* synth = engine->fluid_synth;
        for (auto [cc, value] : {std::pair{101, 0},
                                 {100, 0},
                                 {6, 12},
                                 {1, 90},
                                 {11, 60},
                                 {64, 127},
                                 {84, 40},
                                 {5, 30},
                                 {71, 100}})
            engine->ControlChange(0, cc, value);
        for (int key : {48, 55, 64})
            engine->NoteOn(0, key, 100);
        Render(0.2, engine.get());
        for (int stop = 0; stop < 2; stop++)
        {
            for (int cc = 1; former && cc <= 118; cc++)
                if (cc != 7 && cc != 10 && cc != 32 && cc != 91 && cc != 93)
                    hook_fluid_synth_cc(synth, 0, cc, cc == 11 ? 127 : 0);
            for (int key = 0; former && key <= 127; key++)
                hook_fluid_synth_noteoff(synth, 0, key);
            if (former)
            {
                hook_fluid_synth_pitch_bend(synth, 0, 8192);
                hook_fluid_synth_pitch_wheel_sens(synth, 0, 12);
            }
            else
                engine->ResetAllControllers(0);
            engine->AllNotesOff(0); // a second time for the former: no note left to release
        }
        std::vector<float> sound = Render(0.4, engine.get());
        engine->NoteOn(0, 60, 100);
        engine->PitchBend(0, 16383);
        std::vector<float> next = Render(0.4, engine.get());
        sound.insert(sound.end(), next.begin(), next.end());
        return sound;
    };
    std::vector<float> former = heard(true);
    ASSERT_GT(Rms(former, 0, former.size() / 2), 0.001) << "no release to compare";
    EXPECT_EQ(parting(heard(false), former), former.size());
}

TEST_F(EngineSound, AnUnloadedFontAndAnEngineOutsideTheAcceptedRatesAreSilentAndABankOffsetMoves)
{
    Synth->ClearSoundfont(font);
    EXPECT_EQ(Synth->LoadSoundfont("/no/such/font.sf2", 0), 0);
    Synth->NoteOn(0, 60, 110);
    EXPECT_LT(Level(0.2), 1e-5);
    font = Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 2);
    Synth->NoteOn(0, 60, 110);
    EXPECT_LT(Level(0.2), 1e-5) << "nothing is left on bank 0";
    Synth->ControlChange(0, 0, 2);
    Synth->ProgramChange(0, 0);
    Synth->NoteOn(0, 60, 110);
    EXPECT_GT(Level(0.2), 0.005);
    Synth->OffsetSoundfont(font, 0); // back on bank 0, and the channels reset to it
    Synth->NoteOn(0, 60, 110);
    EXPECT_GT(Level(0.2), 0.005);

    for (double rate : {22050.0, 96000.0})
        EXPECT_EQ(HARMOLOOM(rate).InitCheck(), 0) << rate;
    for (double rate : {22049.0, 96001.0, std::nan("")})
    {
        HARMOLOOM engine(rate);
        EXPECT_EQ(engine.InitCheck(), -1) << rate;
        EXPECT_EQ(engine.LoadSoundfont(TIMGM6MB_SOUNDFONT, 0), 0);
        engine.NoteOn(0, 60, 100);
        std::vector<float> buffer(128, 1.0f);
        engine.MakeBuffer(buffer.data(), 64);
        EXPECT_EQ(buffer, std::vector<float>(128, 0.0f)) << rate;
    }
}

// At return level 0 the effect is switched off in FluidSynth, which must sound the same.
TEST_F(EngineSound, AnEffectAtLevelZeroSoundsAsTheEffectSwitchedOff)
{
    ASSERT_NE(hook_fluid_synth_reverb_on, nullptr);
    ASSERT_NE(hook_fluid_synth_chorus_on, nullptr);
    for (bool reverb : {true, false})
    {
        // A chord with full sends from a fresh engine, its effect perhaps switched off directly.
        auto heard = [reverb](double level, bool switched_off)
        {
            std::unique_ptr<HARMOLOOM> engine = AnotherEngine();
            (engine.get()->*(reverb ? &HARMOLOOM::SetReverbLevel : &HARMOLOOM::SetChorusLevel))(
                level);
            if (switched_off)
                (reverb ? hook_fluid_synth_reverb_on
                        : hook_fluid_synth_chorus_on)(engine->fluid_synth, -1, 0);
            for (int send : {91, 93})
                engine->ControlChange(0, send, 127);
            engine->NoteOn(0, 60, 110);
            return Render(0.5, engine.get());
        };
        const char* effect = reverb ? "reverb" : "chorus";
        std::vector<float> at_zero = heard(0.0, false);
        ASSERT_GT(Rms(at_zero, 0, at_zero.size()), 0.005);
        EXPECT_EQ(parting(at_zero, heard(0.7, true)), at_zero.size()) << effect << " parts here";
        EXPECT_LT(parting(at_zero, heard(0.7, false)), at_zero.size()) << effect << " unheard";
    }
}
