// The exact FluidSynth calls the engine makes, recorded by a stand-in library that is loaded
// through the program's own binding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/support/AddOn.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"

namespace
{

Calls channel_reset()
{
    Calls calls = {"fluid_synth_system_reset()"};
    for (int channel = 0; channel < 32; channel++)
    {
        if (channel == 9 || channel == 25)
            continue;
        calls.push_back("fluid_synth_cc(" + std::to_string(channel) + ",0,0)");
        calls.push_back("fluid_synth_cc(" + std::to_string(channel) + ",32,0)");
        calls.push_back("fluid_synth_program_change(" + std::to_string(channel) + ",0)");
    }
    return calls;
}

Calls join(std::initializer_list<Calls> parts)
{
    Calls all;
    for (const Calls& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Calls tuning(int channel, const char* cents, int sensitivity)
{
    std::string c = std::to_string(channel);
    return {"fluid_synth_create_octave_tuning(0," + c + ",t," + cents + ",uniform=1)",
            "fluid_synth_select_tuning(" + c + ",0," + c + ")",
            "fluid_synth_pitch_wheel_sens(" + c + "," + std::to_string(sensitivity) + ")"};
}

class EngineCalls : public ::testing::Test
{
protected:
    void SetUp() override { Load(STANDIN_LIBRARY); }
    void TearDown() override
    {
        engine.reset();
        FreeLibrary();
    }

    // Each library gets a folder of its own: a library, once loaded, stays in the process under
    // its path.
    void Load(const char* library)
    {
        folders.push_back(std::make_unique<TemporaryFolder>());
        LoadLibrary(PlaceLibrary(*folders.back(), library).c_str());
        recorder.Bind();
        recorder.Take();
    }

    // A working engine, its construction calls forgotten.
    void MakeEngine()
    {
        engine = std::make_unique<HARMOLOOM>(48000);
        ASSERT_EQ(engine->InitCheck(), 0);
        recorder.Take();
    }

    std::vector<std::unique_ptr<TemporaryFolder>> folders;
    StandinRecorder recorder;
    std::unique_ptr<HARMOLOOM> engine;
};

TEST_F(EngineCalls, ConstructionAndDestruction)
{
    engine = std::make_unique<HARMOLOOM>(44100);
    EXPECT_EQ(engine->InitCheck(), 0);
    Calls expected =
        join({{"new_fluid_settings()", "fluid_settings_setnum(synth.sample-rate,44100)",
               "fluid_settings_setint(synth.midi-channels,32)", "new_fluid_synth()"},
              channel_reset(),
              {"fluid_synth_set_reverb(0.7,1.3,1,0.7)", "fluid_synth_set_chorus(6,0.7,3,1,0)",
               "fluid_synth_set_polyphony(64)", "fluid_synth_set_interp_method(-1,4)",
               "fluid_synth_set_gain(0.2)"}});
    EXPECT_EQ(recorder.Take(), expected);

    engine.reset();
    EXPECT_EQ(recorder.Take(), (Calls{"delete_fluid_synth()", "delete_fluid_settings()"}));
}

TEST_F(EngineCalls, RefusedRatesMakeNoCallsAndNothingWorksAfterwards)
{
    for (double rate : {22049.0, 96001.0})
    {
        engine = std::make_unique<HARMOLOOM>(rate);
        EXPECT_EQ(engine->InitCheck(), -1);
        EXPECT_EQ(engine->LoadSoundfont("/x.sf2", 0), 0);
        engine->ClearSoundfont(3);
        engine->OffsetSoundfont(3, 1);
        engine->SystemReset();
        engine->NoteOn(0, 60, 100);
        engine->NoteOff(0, 60);
        engine->ProgramChange(0, 1);
        engine->PitchBend(0, 100);
        engine->ControlChange(0, 7, 100);
        engine->ControlChange(0, 6, 100);
        engine->ResetAllControllers(0);
        engine->AllSoundOff(0);
        engine->AllNotesOff(0);
        engine->SetGain(1.0f);
        engine->SetInterp(1);
        engine->SetPoly(10);
        engine->SetReverbSize(0.1);
        engine->SetChorusVoices(2);
        float buffer[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        engine->MakeBuffer(buffer, 4);
        for (float sample : buffer)
            EXPECT_EQ(sample, 0.0f);
        engine.reset();
        EXPECT_EQ(recorder.Take(), Calls{}) << rate;
    }
    engine = std::make_unique<HARMOLOOM>(22050);
    EXPECT_EQ(engine->InitCheck(), 0);
    engine = std::make_unique<HARMOLOOM>(96000);
    EXPECT_EQ(engine->InitCheck(), 0);
}

TEST_F(EngineCalls, FailedSynthDeletesTheSettingsAtOnce)
{
    setenv("STANDIN_FAIL_NEW_SYNTH", "1", 1);
    engine = std::make_unique<HARMOLOOM>(48000);
    unsetenv("STANDIN_FAIL_NEW_SYNTH");
    EXPECT_EQ(engine->InitCheck(), -1);
    engine.reset();
    EXPECT_EQ(recorder.Take(),
              (Calls{"new_fluid_settings()", "fluid_settings_setnum(synth.sample-rate,48000)",
                     "fluid_settings_setint(synth.midi-channels,32)", "new_fluid_synth()",
                     "delete_fluid_settings()"}));
}

TEST_F(EngineCalls, SoundfontLoadUnloadAndOffset)
{
    MakeEngine();
    recorder.set_sfload_result(0); // FluidSynth's font id 0 is handle -1
    EXPECT_EQ(engine->LoadSoundfont("/fonts/a.sf2", -5), -1);
    EXPECT_EQ(recorder.Take(),
              join({{"fluid_synth_sfload(/fonts/a.sf2,1)", "fluid_synth_set_bank_offset(0,0)"},
                    channel_reset()}));

    recorder.set_sfload_result(7);
    EXPECT_EQ(engine->LoadSoundfont("/fonts/b.sf2", 3), 7);
    EXPECT_EQ(recorder.Take(),
              join({{"fluid_synth_sfload(/fonts/b.sf2,1)", "fluid_synth_set_bank_offset(7,3)"},
                    channel_reset()}));

    recorder.set_sfload_result(-1); // a failed load changes nothing
    EXPECT_EQ(engine->LoadSoundfont("/fonts/bad.sf2", 0), 0);
    EXPECT_EQ(recorder.Take(), Calls{"fluid_synth_sfload(/fonts/bad.sf2,1)"});

    engine->ClearSoundfont(-1);
    EXPECT_EQ(recorder.Take(), join({{"fluid_synth_sfunload(0,1)"}, channel_reset()}));
    engine->ClearSoundfont(7);
    EXPECT_EQ(recorder.Take(), join({{"fluid_synth_sfunload(7,1)"}, channel_reset()}));
    engine->ClearSoundfont(0);
    EXPECT_EQ(recorder.Take(), Calls{});

    engine->OffsetSoundfont(-1, 4);
    EXPECT_EQ(recorder.Take(), join({{"fluid_synth_set_bank_offset(0,4)"}, channel_reset()}));
    engine->OffsetSoundfont(0, 4);
    engine->OffsetSoundfont(7, -1);
    EXPECT_EQ(recorder.Take(), Calls{});

    engine->SystemReset();
    EXPECT_EQ(recorder.Take(), channel_reset());
}

TEST_F(EngineCalls, ChannelResetRestoresRegisteredParametersExceptOnPercussion)
{
    MakeEngine();
    for (int channel : {3, 9, 25, 31})
    {
        engine->ControlChange(channel, 101, 0);
        engine->ControlChange(channel, 100, 0);
        engine->ControlChange(channel, 6, 7);
    }
    engine->SystemReset();
    for (int channel : {3, 31})
    {
        EXPECT_EQ(engine->rpn_msb[channel], -1);
        EXPECT_EQ(engine->rpn_lsb[channel], -1);
        EXPECT_EQ(engine->bend_range[channel], 2);
    }
    for (int channel : {9, 25})
    {
        EXPECT_EQ(engine->rpn_msb[channel], 0) << channel;
        EXPECT_EQ(engine->bend_range[channel], 7) << channel;
    }
}

TEST_F(EngineCalls, NotesProgramsAndBendsAreClampedOrIgnored)
{
    MakeEngine();
    engine->NoteOn(3, 60, 0);
    engine->NoteOn(3, 200, 90);
    engine->NoteOn(3, -4, 300);
    engine->NoteOn(32, 60, 100);
    engine->NoteOn(-1, 60, 100);
    engine->NoteOff(3, 500);
    engine->NoteOff(40, 60);
    engine->ProgramChange(3, 128);
    engine->ProgramChange(3, -1);
    engine->ProgramChange(3, 127);
    engine->PitchBend(3, 20000);
    engine->PitchBend(3, -20);
    engine->PitchBend(32, 8192);
    EXPECT_EQ(recorder.Take(),
              (Calls{"fluid_synth_noteoff(3,60)", "fluid_synth_noteon(3,127,90)",
                     "fluid_synth_noteon(3,0,127)", "fluid_synth_noteoff(3,127)",
                     "fluid_synth_program_change(3,127)", "fluid_synth_pitch_bend(3,16383)",
                     "fluid_synth_pitch_bend(3,0)"}));
}

TEST_F(EngineCalls, SettersAndTheirLimits)
{
    MakeEngine();
    engine->SetGain(0.25f);
    for (int quality : {0, 1, 2, 3, 9, -1})
        engine->SetInterp(quality);
    for (int voices : {0, 10000, 128})
        engine->SetPoly(voices);
    EXPECT_EQ(recorder.Take(),
              (Calls{"fluid_synth_set_gain(0.25)", "fluid_synth_set_interp_method(-1,0)",
                     "fluid_synth_set_interp_method(-1,1)", "fluid_synth_set_interp_method(-1,4)",
                     "fluid_synth_set_interp_method(-1,7)", "fluid_synth_set_interp_method(-1,4)",
                     "fluid_synth_set_interp_method(-1,4)", "fluid_synth_set_polyphony(1)",
                     "fluid_synth_set_polyphony(4096)", "fluid_synth_set_polyphony(128)"}));
}

TEST_F(EngineCalls, EffectSettersSendAllFourValuesAndSkipUnchangedOnes)
{
    MakeEngine();
    engine->SetReverbSize(0.5);
    engine->SetReverbSize(0.5);
    engine->SetReverbDamping(0.2);
    engine->SetReverbWidth(1.0); // the value it already has
    engine->SetReverbWidth(0.9);
    engine->SetReverbLevel(0.0);
    engine->SetChorusVoices(6);
    engine->SetChorusVoices(3);
    engine->SetChorusFreq(0.1);
    engine->SetChorusDepth(0.5);
    engine->SetChorusLevel(0.0);
    engine->SetChorusLevel(1.5);
    engine->SetChorusLevel(1.5);
    // Level 0 switches the effect off, so that it costs nothing; any other level on again.
    EXPECT_EQ(
        recorder.Take(),
        (Calls{"fluid_synth_set_reverb(0.5,1.3,1,0.7)", "fluid_synth_set_reverb(0.5,0.2,1,0.7)",
               "fluid_synth_set_reverb(0.5,0.2,0.9,0.7)", "fluid_synth_reverb_on(-1,0)",
               "fluid_synth_set_reverb(0.5,0.2,0.9,0)", "fluid_synth_set_chorus(3,0.7,3,1,0)",
               "fluid_synth_set_chorus(3,0.7,0.1,1,0)", "fluid_synth_set_chorus(3,0.7,0.1,0.5,0)",
               "fluid_synth_chorus_on(-1,0)", "fluid_synth_set_chorus(3,0,0.1,0.5,0)",
               "fluid_synth_chorus_on(-1,1)", "fluid_synth_set_chorus(3,1.5,0.1,0.5,0)"}));
}

TEST_F(EngineCalls, MakeBufferRendersInterleavedStereoInOneCall)
{
    MakeEngine();
    std::vector<float> buffer(128, 9.0f);
    engine->MakeBuffer(buffer.data(), 64);
    EXPECT_EQ(recorder.Take(), Calls{"fluid_synth_write_float(64,same,0,2,1,2)"});
    for (size_t index = 0; index < buffer.size(); index++)
        ASSERT_EQ(buffer[index], index % 2 == 0 ? 0.25f : -0.5f) << index;

    engine->MakeBuffer(buffer.data(), 0);
    engine->MakeBuffer(nullptr, 64);
    EXPECT_EQ(recorder.Take(), Calls{});
}

TEST_F(EngineCalls, PitchWheelSensitivityByRegisteredParameter)
{
    MakeEngine();
    engine->ControlChange(2, 101, 0);
    engine->ControlChange(2, 100, 0);
    EXPECT_EQ(recorder.Take(), Calls{}) << "selecting sends nothing";
    engine->ControlChange(2, 6, 12);
    EXPECT_EQ(recorder.Take(), tuning(2, "0.0000", 12));
    engine->ControlChange(2, 6, 30);
    EXPECT_EQ(recorder.Take(), tuning(2, "0.0000", 24));
    EXPECT_EQ(engine->bend_range[2], 24);
}

TEST_F(EngineCalls, FineTuningSpansFiftyCentsEachWay)
{
    MakeEngine();
    engine->ControlChange(17, 101, 0);
    engine->ControlChange(17, 100, 1);
    engine->ControlChange(17, 6, 0);
    engine->ControlChange(17, 38, 0);
    EXPECT_EQ(recorder.Take(), join({tuning(17, "-50.0000", 2), tuning(17, "-50.0000", 2)}));
    engine->ControlChange(17, 6, 127);
    engine->ControlChange(17, 38, 127);
    EXPECT_EQ(recorder.Take(), join({tuning(17, "49.2188", 2), tuning(17, "49.9939", 2)}));
}

TEST_F(EngineCalls, DataControllersWithoutSelectionOnlyResend)
{
    MakeEngine();
    engine->ControlChange(0, 101, 127);
    engine->ControlChange(0, 100, 127);
    EXPECT_EQ(engine->rpn_msb[0], -1);
    EXPECT_EQ(engine->rpn_lsb[0], -1);
    engine->ControlChange(0, 6, 40);
    engine->ControlChange(0, 38, 40);
    EXPECT_EQ(recorder.Take(), join({tuning(0, "0.0000", 2), tuning(0, "0.0000", 2)}));
    EXPECT_EQ(engine->bend_range[0], 2);
    EXPECT_EQ(engine->fine_tune_msb[0], 64);
    EXPECT_EQ(engine->fine_tune_lsb[0], 0);
    EXPECT_EQ(engine->coarse_tune[0], 64);

    // 38 only sets the fine tuning's low part.
    engine->ControlChange(0, 101, 0);
    engine->ControlChange(0, 100, 0);
    engine->ControlChange(0, 38, 99);
    EXPECT_EQ(engine->fine_tune_lsb[0], 0);
}

TEST_F(EngineCalls, IncrementAndDecrementStepWithinLimitsOnlyForValueZero)
{
    MakeEngine();
    engine->ControlChange(1, 101, 0);
    engine->ControlChange(1, 100, 0);
    engine->ControlChange(1, 96, 1);
    EXPECT_EQ(engine->bend_range[1], 2) << "value 1 is no increment";
    engine->ControlChange(1, 96, 0);
    EXPECT_EQ(engine->bend_range[1], 3);
    for (int step = 0; step < 30; step++)
        engine->ControlChange(1, 96, 0);
    EXPECT_EQ(engine->bend_range[1], 24);
    for (int step = 0; step < 30; step++)
        engine->ControlChange(1, 97, 0);
    EXPECT_EQ(engine->bend_range[1], 0);

    engine->ControlChange(1, 100, 1);
    engine->ControlChange(1, 97, 0);
    EXPECT_EQ(engine->fine_tune_msb[1], 63);
    for (int step = 0; step < 70; step++)
        engine->ControlChange(1, 96, 0);
    EXPECT_EQ(engine->fine_tune_msb[1], 127);

    engine->ControlChange(1, 100, 2);
    engine->ControlChange(1, 6, 30);
    EXPECT_EQ(engine->coarse_tune[1], 40);
    engine->ControlChange(1, 97, 0);
    EXPECT_EQ(engine->coarse_tune[1], 40);
    engine->ControlChange(1, 6, 100);
    EXPECT_EQ(engine->coarse_tune[1], 88);
    engine->ControlChange(1, 96, 0);
    EXPECT_EQ(engine->coarse_tune[1], 88);
    recorder.Take();
    engine->ControlChange(1, 96, 0);
    EXPECT_EQ(recorder.Take(), tuning(1, "49.2188", 0)) << "tuning comes from the fine value only";
}

TEST_F(EngineCalls, OtherControllersPassThroughAndSomeNeverDo)
{
    MakeEngine();
    engine->ControlChange(4, 7, 100);
    engine->ControlChange(4, 7, 300);
    engine->ControlChange(4, 0, 5);
    engine->ControlChange(4, 32, 5);
    engine->ControlChange(4, 100, 0);
    engine->ControlChange(4, 101, 0);
    engine->ControlChange(4, 120, 0);
    engine->ControlChange(4, 121, 0);
    engine->ControlChange(4, 123, 0);
    engine->ControlChange(4, 128, 0);
    engine->ControlChange(32, 7, 1);
    engine->ControlChange(4, 64, -3);
    EXPECT_EQ(recorder.Take(), (Calls{"fluid_synth_cc(4,7,100)", "fluid_synth_cc(4,7,127)",
                                      "fluid_synth_cc(4,0,5)", "fluid_synth_cc(4,64,0)"}));
}

TEST_F(EngineCalls, ResetAllControllersSends113ControllersAndKeepsTheSensitivity)
{
    MakeEngine();
    engine->ControlChange(6, 101, 0);
    engine->ControlChange(6, 100, 0);
    engine->ControlChange(6, 6, 12);
    recorder.Take();

    engine->ResetAllControllers(6);
    Calls expected;
    for (int controller = 1; controller <= 118; controller++)
    {
        if (controller == 7 || controller == 10 || controller == 32 || controller == 91 ||
            controller == 93)
            continue;
        expected.push_back("fluid_synth_cc(6," + std::to_string(controller) + "," +
                           (controller == 11 ? "127" : "0") + ")");
    }
    ASSERT_EQ(expected.size(), 113u);
    expected.push_back("fluid_synth_pitch_bend(6,8192)");
    expected.push_back("fluid_synth_pitch_wheel_sens(6,12)");
    EXPECT_EQ(recorder.Take(), expected);
    EXPECT_EQ(engine->rpn_msb[6], -1);
    EXPECT_EQ(engine->rpn_lsb[6], -1);
    EXPECT_EQ(engine->bend_range[6], 12);

    engine->ResetAllControllers(32);
    EXPECT_EQ(recorder.Take(), Calls{});
}

TEST_F(EngineCalls, AllSoundOffAndAllNotesOff)
{
    MakeEngine();
    engine->AllSoundOff(9);
    engine->AllSoundOff(-1);
    EXPECT_EQ(recorder.Take(), Calls{"fluid_synth_cc(9,120,0)"});

    engine->AllNotesOff(31);
    engine->AllNotesOff(32);
    Calls calls = recorder.Take();
    ASSERT_EQ(calls.size(), 128u);
    for (int key = 0; key < 128; key++)
        EXPECT_EQ(calls[key], "fluid_synth_noteoff(31," + std::to_string(key) + ")");
}

TEST_F(EngineCalls, FluidSynth2TuningNamesApplyAtOnce)
{
    FreeLibrary();
    Load(STANDIN_LIBRARY_2);
    MakeEngine();
    engine->ControlChange(5, 101, 0);
    engine->ControlChange(5, 100, 1);
    engine->ControlChange(5, 6, 0);
    EXPECT_EQ(
        recorder.Take(),
        (Calls{"fluid_synth_activate_octave_tuning(0,5,t,-50.0000,uniform=1,apply=1)",
               "fluid_synth_activate_tuning(5,0,5,apply=1)", "fluid_synth_pitch_wheel_sens(5,2)"}));
}

} // namespace
