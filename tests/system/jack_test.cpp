// The whole program on a JACK server with no sound card: MIDI goes into its input ports, its
// output is recorded by a client of ours, and what it played is measured. Last, the engine's lock
// on the same kind of server, in this process.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/support/Threads.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

namespace
{

using Ports = std::vector<std::string>;
const std::string kRig = "harmoloom-test-rig:";

// The first frame at or after from where the sound passes the threshold; size() if none does.
jack_nframes_t onset(const std::vector<float>& mono, jack_nframes_t from = 0)
{
    while (from < mono.size() && std::fabs(mono[from]) <= 0.001f)
        from++;
    return from;
}

class JackProgram : public ::testing::Test
{
protected:
    void Launch(bool two_ports, bool effects = true, const char* autoconnect = "",
                int server_rate = 48000, int server_period = 64)
    {
        ASSERT_NO_FATAL_FAILURE(Serve(server_rate, server_period));
        std::vector<int32_t> fields = DefaultSettings(); // 48000 Hz, 64 frames
        fields[setting::two_ports] = two_ports ? 1 : 0;
        if (!effects)
            fields[setting::reverb_level] = fields[setting::chorus_level] = 0;
        WriteFile(config.File("Harmoloom Settings"),
                  SettingsFile(fields, {{0, {0, TIMGM6MB_SOUNDFONT}}}));
        program = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{HARMOLOOM_BINARY, "--debug"},
            std::map<std::string, std::string>{{"JACK_DEFAULT_SERVER", server->Name()},
                                               {"XDG_CONFIG_HOME", config.Path()},
                                               {"HOME", config.Path()},
                                               {"DISPLAY", ""},
                                               {"HARMOLOOM_ALERT_ANSWERS", ""},
                                               {"HARMOLOOM_AUDIO", ""},
                                               {"HARMOLOOM_MIDI", ""},
                                               {"HARMOLOOM_AUTOCONNECT", autoconnect}});
        ASSERT_TRUE(program->WaitForOutput("DEBUG: End of application constructor", 60))
            << program->Output() << program->Errors();
        ASSERT_NO_FATAL_FAILURE(Record());
        for (int port = 0; port < (two_ports ? 2 : 1); port++)
            ASSERT_TRUE(
                rig->ConnectMidiTo(rig->FindPort("MIDI In " + std::to_string(port + 1)), port));
    }
    void Serve(int server_rate, int server_period)
    {
        server = std::make_unique<JackServer>(server_rate, server_period);
        ASSERT_TRUE(server->Running());
    }
    void Record()
    {
        rig = std::make_unique<JackRig>(server->Name());
        ASSERT_TRUE(rig->Open());
        ASSERT_TRUE(
            rig->RecordFrom(rig->FindPort("Harmoloom:left"), rig->FindPort("Harmoloom:right")));
        rate = rig->SampleRate();
        period = static_cast<jack_nframes_t>(rig->Period());
    }

    // A desktop logout's SIGTERM ends the program cleanly, and no MIDI was lost on the way in,
    // floods included.
    void TearDown() override
    {
        if (program == nullptr)
            return;
        rig.reset();
        ProcessResult result = program->Stop(SIGTERM, 30);
        EXPECT_EQ(result.exit_status, 0) << result.errors;
        EXPECT_NE(result.output.find("DEBUG: MIDI messages dropped: 0\n"), std::string::npos)
            << result.output;
    }

    // The server's ports but the rig's and the dummy driver's: a second client of the program
    // ("Harmoloom-01") would show here.
    Ports ProgramPorts() const
    {
        Ports ports = rig->Ports();
        std::erase_if(ports, [](const std::string& port)
                      { return port.rfind("system:", 0) == 0 || port.rfind(kRig, 0) == 0; });
        return ports;
    }

    jack_nframes_t Frames(double seconds) const
    {
        return static_cast<jack_nframes_t>(seconds * rate);
    }
    // A frame a little ahead, so that what is sent for it is queued in time.
    jack_nframes_t Soon() const { return rig->Now() + Frames(0.1); }
    // One side (0, 1) or the mean of both (2) of what was recorded from frame begin, its level.
    std::vector<float> Mono(jack_nframes_t begin, jack_nframes_t frames, int side = 2) const
    {
        return Channel(rig->Recorded(begin, frames), side);
    }
    double Level(jack_nframes_t begin, jack_nframes_t frames, int side = 2) const
    {
        return Rms(Mono(begin, frames, side), 0, frames);
    }
    double LevelSoon() const
    {
        jack_nframes_t from = Soon();
        rig->WaitUntil(from + Frames(0.1));
        return Level(from, Frames(0.1));
    }
    // A square-wave lead: unlike the piano, its sample starts at once, so that an onset shows
    // the program's delay and not the instrument's.
    void Lead(jack_nframes_t at, int port = 0) { rig->Send(at, {0xC0, 80}, port); }
    void Note(jack_nframes_t at, jack_nframes_t length, int key, int velocity = 100, int port = 0,
              int channel = 0)
    {
        auto byte = [](int value) { return static_cast<unsigned char>(value); };
        rig->Send(at, {byte(0x90 | channel), byte(key), byte(velocity)}, port);
        rig->Send(at + length, {byte(0x80 | channel), byte(key), 0}, port);
    }

    std::unique_ptr<JackServer> server;
    TemporaryFolder config;
    std::unique_ptr<BackgroundProcess> program;
    std::unique_ptr<JackRig> rig;
    int rate = 0;
    jack_nframes_t period = 0;
};

using JackProgramTiming = JackProgram;
using LockMend = JackProgram;

} // namespace

TEST_F(JackProgram, OneClientPlaysANoteAtItsPitchAndReleasesIt)
{
    Launch(false);
    EXPECT_EQ(ProgramPorts(), (Ports{"Harmoloom:left", "Harmoloom:right", "Harmoloom:MIDI In 1"}));
    // The dummy server has no physical MIDI ports: only the outputs are connected at start.
    EXPECT_EQ(rig->Connections("Harmoloom:left"), (Ports{"system:playback_1", kRig + "left"}));
    EXPECT_EQ(rig->Connections("Harmoloom:right"), (Ports{"system:playback_2", kRig + "right"}));
    jack_nframes_t on = Soon() + Frames(0.1);
    Lead(on - Frames(0.1));
    Note(on, Frames(0.5), 69);
    rig->WaitUntil(on + Frames(1.7));
    EXPECT_NEAR(FundamentalFrequency(Mono(on + Frames(0.05), Frames(0.2)), rate), 440, 4.4);
    jack_nframes_t off = on + Frames(0.5);
    double held = Level(off - Frames(0.05), Frames(0.05));
    ASSERT_GT(held, 0.002);
    EXPECT_GT(Level(off + Frames(0.005), Frames(0.01)), 0.1 * held) << "a release, not a cut";
    EXPECT_LT(Level(off + Frames(1.1), Frames(0.1)), 0.01 * held);
}

TEST_F(JackProgram, TheSecondPortPlaysChannelsOfItsOwnAndNothingIsConnectedWhenAsked)
{
    Launch(true, true, "0");
    EXPECT_EQ(ProgramPorts(), (Ports{"Harmoloom:left", "Harmoloom:right", "Harmoloom:MIDI In 1",
                                     "Harmoloom:MIDI In 2"}));
    for (const std::string& port : ProgramPorts())
        for (const std::string& peer : rig->Connections(port))
            EXPECT_EQ(peer.rfind(kRig, 0), 0u) << port << " connected to " << peer;
    // Channel 1 of the second port (engine channel 16) is panned hard left, with no reverb or
    // chorus to spread it; channel 1 of the first (engine channel 0) stays in the middle. The
    // lead is one mono sample, so panned hard it leaves the other side silent.
    jack_nframes_t at = Soon();
    Lead(at, 0);
    Lead(at, 1);
    for (unsigned char controller : std::vector<unsigned char>{10, 91, 93}) // pan, sends
        rig->Send(at, {0xB0, controller, 0}, 1);
    Note(at + Frames(0.05), Frames(0.4), 69, 100, 1);
    Note(at + Frames(1.5), Frames(0.4), 69, 100, 0);
    rig->WaitUntil(at + Frames(2.2));
    double left = Level(at + Frames(0.1), Frames(0.3), 0);
    EXPECT_GT(left, 0.002);
    EXPECT_LT(Level(at + Frames(0.1), Frames(0.3), 1), 0.2 * left) << "channel 16 is panned";
    EXPECT_GT(Level(at + Frames(1.55), Frames(0.3), 1),
              0.5 * Level(at + Frames(1.55), Frames(0.3), 0))
        << "engine channel 0 was not panned";
}

TEST_F(JackProgram, BankSelectOnTheDrumChannelChangesNothing)
{
    Launch(false);
    jack_nframes_t at = Soon();
    Note(at, Frames(0.4), 38, 110, 0, 9);
    rig->Send(at + Frames(0.6), {0xB9, 0, 1});
    rig->Send(at + Frames(0.6), {0xC9, 0});
    Note(at + Frames(0.8), Frames(0.4), 38, 110, 0, 9);
    rig->WaitUntil(at + Frames(1.4));
    double snare = Level(at, Frames(0.3));
    ASSERT_GT(snare, 0.002);
    EXPECT_NEAR(Level(at + Frames(0.8), Frames(0.3)), snare, 0.1 * snare);
}

TEST_F(JackProgramTiming, AChordChangeOnOneChannelSoundsAsSoonAsALoneNoteAndAShortNoteSounds)
{
    Launch(false, false);
    jack_nframes_t alone = Soon() + Frames(0.1);
    Lead(alone - Frames(0.1));
    Note(alone, Frames(0.2), 69);
    // The old chord is so soft (velocity 1) that it stays below the onset threshold, so that
    // the new chord's onset shows on the same channel. All its note-offs come first.
    auto chord = [this](jack_nframes_t at, unsigned char status, int first, unsigned char velocity)
    {
        for (int key = first; key < first + 16; key += 2)
            rig->Send(at, {status, static_cast<unsigned char>(key), velocity});
    };
    jack_nframes_t change = alone + Frames(1.0);
    chord(change - Frames(0.5), 0x90, 60, 1);
    chord(change, 0x80, 60, 0);
    chord(change, 0x90, 61, 100);
    chord(change + Frames(0.3), 0x80, 61, 0);
    jack_nframes_t brief = change + Frames(0.6);
    Note(brief, Frames(0.001), 69);
    rig->WaitUntil(brief + Frames(0.2));

    // The lead sounds from the next of FluidSynth's 64-frame blocks after its event (a period
    // here); one period more is let go for a buffer the server could not have in time.
    jack_nframes_t lone = onset(Mono(alone, Frames(0.1)));
    ASSERT_LE(lone, 2 * period);
    ASSERT_EQ(onset(Mono(change - Frames(0.45), Frames(0.45))), Frames(0.45)) << "old chord heard";
    EXPECT_LE(onset(Mono(change, Frames(0.1))), lone + period)
        << "the new chord waited behind the old chord's note-offs";
    EXPECT_GT(Level(brief + onset(Mono(brief, Frames(0.1))), period),
              0.8 * Level(alone + lone, period))
        << "a note released 1 ms after it began sounds for a whole buffer";
}

TEST_F(JackProgramTiming, AfterAFloodAllSoundOffSilencesEveryChannelWithinAPeriod)
{
    Launch(false, false);
    jack_nframes_t silence = rig->FloodThenSilence(Soon(), 10);
    rig->WaitUntil(silence + Frames(0.5));
    ASSERT_GT(Level(silence - Frames(0.5), Frames(0.5)), 0.001) << "the flood was heard";
    // A period is also FluidSynth's block here, from the next of which the events take effect.
    std::vector<float> after = rig->Recorded(silence + period, Frames(0.3));
    auto [least, most] = std::minmax_element(after.begin(), after.end());
    EXPECT_LT(std::max(-*least, *most), 3.2e-5f) << "below -90 dBFS";
}

TEST_F(JackProgramTiming, OnAnotherServerPlaysAtItsRateAndKeepsEachNotesPlaceInThePeriod)
{
    Launch(false, false, "", 44100, 256);
    EXPECT_NE(program->Output().find("DEBUG: Audio server's rate 44100 Hz and period 256 frames "
                                     "used instead of the stored 48000 Hz and 64 frames"),
              std::string::npos)
        << program->Output();
    EXPECT_EQ(program->Errors().find("Alert \""), std::string::npos) << program->Errors();
    // A note for its pitch, then lone notes at random places within the periods, each silenced
    // before the next.
    jack_nframes_t at = Soon() + Frames(0.1);
    Lead(at - Frames(0.1));
    Note(at, Frames(0.3), 69);
    std::vector<jack_nframes_t> events;
    unsigned seed = 7;
    for (jack_nframes_t note = 0; note < 40; note++)
    {
        seed = seed * 1103515245u + 12345u;
        events.push_back(at + Frames(0.5) + note * Frames(0.1) + (seed / 65536u) % period);
        rig->Send(events.back(), {0x90, 69, 100});
        rig->Send(events.back() + Frames(0.05), {0xB0, 120, 0});
    }
    rig->WaitUntil(events.back() + Frames(0.2));
    EXPECT_NEAR(FundamentalFrequency(Mono(at + Frames(0.05), Frames(0.2)), rate), 440, 4.4);
    std::vector<jack_nframes_t> lags;
    for (jack_nframes_t event : events)
        lags.push_back(onset(Mono(event, Frames(0.05))));
    std::sort(lags.begin(), lags.end());
    // A buffer the server could not have in time (a sanitizer's slow build) moves its note by a
    // whole period: one note at either end is let go. Applied at the period's start, the notes
    // would spread over most of the period all the same.
    EXPECT_LT(lags[lags.size() - 2] - lags[1], 64u)
        << "from " << lags[1] << " to " << lags[lags.size() - 2] << " frames (all: " << lags.front()
        << " to " << lags.back() << ")";
}

// A large SoundFont loads while notes play: the render callback must not wait for the engine
// that the load holds, or the whole JACK graph stalls with it (and a real-time server may throw
// the client out, so that the sound stops for good).
TEST_F(LockMend, OutputSurvivesALargeSoundfontLoadWhileNotesPlay)
{
    ASSERT_NO_FATAL_FAILURE(Serve(48000, 64));
    setenv("JACK_DEFAULT_SERVER", server->Name().c_str(), 1);
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = new HARMOLOOM(48000);
    ASSERT_NE(Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0), 0);
    Synth->SetReverbLevel(0.0);
    StartAudio(48000, 64, nullptr);
    ASSERT_NE(player, nullptr);
    ASSERT_NO_FATAL_FAILURE(Record());
    Synth->ProgramChange(0, 19); // an organ holds its note
    Synth->NoteOn(0, 60, 100);
    ASSERT_GT(LevelSoon(), 0.002) << "no sound at all";

    // While the load holds the engine, each buffer the callback gives up on is silent and the
    // graph runs on. How many cycles it runs depends on the machine (with -R, the dummy driver
    // here falls well behind the clock while another thread is busy), but a callback that
    // waited for the engine would let it run none, and so record no silent buffer.
    long silent_before = rig->SilentCycles();
    long silent = 0;
    int handle = 0;
    std::atomic<bool> loaded{false};
    std::thread load(
        [&]
        {
            handle = Synth->LoadSoundfont("/usr/share/sounds/sf2/FluidR3_GM.sf2", 0);
            loaded = true;
        });
    // Counted before the load is seen to end: the reset it ends with silences the organ too.
    for (long counted = 0; !loaded; snooze(1000))
    {
        counted = rig->SilentCycles() - silent_before;
        silent = loaded ? silent : counted;
    }
    load.join();
    EXPECT_NE(handle, 0);
    EXPECT_GT(silent, 0) << "the callback waited for the engine: no buffer during the load";
    EXPECT_FALSE(rig->Ports("Harmoloom:").empty()) << "the server dropped the output";
    Synth->NoteOn(0, 69, 100);
    EXPECT_GT(LevelSoon(), 0.002) << "no sound after the load";
    StopAudio();
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}
