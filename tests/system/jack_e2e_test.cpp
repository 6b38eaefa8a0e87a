// The whole program on a JACK server with no sound card: MIDI goes into its input port, its
// output is recorded by a client of ours, and what it played is measured.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

namespace
{

std::string settings_with_font(bool two_ports, bool effects)
{
    std::vector<int32_t> fields = DefaultSettings();
    fields[10] = two_ports ? 1 : 0;
    if (!effects)
    {
        fields[14] = 0; // the reverb's return level
        fields[18] = 0; // the chorus's
    }
    return SettingsFile(fields, {{0, {0, TIMGM6MB_SOUNDFONT}}});
}

class Harmoloom : public ::testing::Test
{
protected:
    explicit Harmoloom(int server_rate = 48000, int server_period = 64)
        : server(server_rate, server_period)
    {
    }

    void Launch(bool two_ports, bool effects = true, const char* autoconnect = "")
    {
        ASSERT_TRUE(server.Running());
        WriteFile(config.File("Harmoloom Settings"), settings_with_font(two_ports, effects));
        program = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{HARMOLOOM_BINARY, "--debug"},
            std::map<std::string, std::string>{{"JACK_DEFAULT_SERVER", server.Name()},
                                               {"XDG_CONFIG_HOME", config.Path()},
                                               {"HOME", config.Path()},
                                               {"DISPLAY", ""},
                                               {"HARMOLOOM_ALERT_ANSWERS", ""},
                                               {"HARMOLOOM_AUDIO", ""},
                                               {"HARMOLOOM_MIDI", ""},
                                               {"HARMOLOOM_AUTOCONNECT", autoconnect}});
        ASSERT_TRUE(program->WaitForOutput("DEBUG: End of application constructor", 60))
            << program->Output() << program->Errors();
        rig = std::make_unique<JackRig>(server.Name());
        ASSERT_TRUE(rig->Open());
        ASSERT_TRUE(
            rig->RecordFrom(rig->FindPort("Harmoloom:left"), rig->FindPort("Harmoloom:right")));
        ASSERT_TRUE(rig->ConnectMidiTo(rig->FindPort(":MIDI In 1"), 0));
        if (two_ports)
        {
            ASSERT_TRUE(rig->ConnectMidiTo(rig->FindPort(":MIDI In 2"), 1));
        }
        rate = rig->SampleRate();
        period = rig->Period();
    }

    // Shuts the program down as a desktop logout would, and checks it went cleanly.
    void TearDown() override
    {
        if (program == nullptr)
            return;
        rig.reset();
        ProcessResult result = program->Stop(SIGTERM, 30);
        EXPECT_EQ(result.exit_status, 0) << result.errors;
        // The output stops before the input, and both before the engine goes.
        size_t audio = result.output.find("DEBUG: Stopping audio\n");
        size_t midi = result.output.find("DEBUG: Stopping MIDI interface\n");
        EXPECT_NE(audio, std::string::npos) << result.output;
        EXPECT_NE(midi, std::string::npos) << result.output;
        EXPECT_LT(audio, midi);
        // Nothing was lost on the way in, floods included.
        EXPECT_NE(result.output.find("DEBUG: Stopping MIDI interface\nDEBUG: MIDI messages "
                                     "dropped: 0\nDEBUG: Saving settings\n"
                                     "DEBUG: Deleting synth\n"),
                  std::string::npos)
            << result.output;
        EXPECT_GE(ReadFile(config.File("Harmoloom Settings")).size(), 716u);
    }

    // Frames from now, a little ahead so that the message can be queued in time.
    jack_nframes_t Soon(double seconds = 0.1) const
    {
        return rig->Now() + static_cast<jack_nframes_t>(seconds * rate);
    }

    jack_nframes_t Frames(double seconds) const
    {
        return static_cast<jack_nframes_t>(seconds * rate);
    }

    JackServer server;
    TemporaryFolder config;
    std::unique_ptr<BackgroundProcess> program;
    std::unique_ptr<JackRig> rig;
    int rate = 0;
    int period = 0;
};

// The first frame at or after from where the sound passes the threshold.
jack_nframes_t onset(const std::vector<float>& mono, size_t from, float threshold = 0.001f)
{
    for (size_t frame = from; frame < mono.size(); frame++)
    {
        if (std::fabs(mono[frame]) > threshold)
            return static_cast<jack_nframes_t>(frame);
    }
    return static_cast<jack_nframes_t>(mono.size());
}

} // namespace

TEST_F(Harmoloom, NoteSoundsAtItsPitchWithinTwoBuffersAndDecaysAfterItsRelease)
{
    Launch(false);
    // A square-wave lead: unlike the piano, its sample starts at once, so the onset shows the
    // program's delay and not the instrument's.
    jack_nframes_t on = Soon(0.2);
    jack_nframes_t off = on + Frames(0.5);
    rig->Send(on - Frames(0.1), {0xC0, 80});
    rig->Send(on, {0x90, 69, 100});
    rig->Send(off, {0x80, 69, 0});
    rig->WaitUntil(off + Frames(1.2));

    jack_nframes_t begin = on - Frames(0.05);
    std::vector<float> mono = Channel(rig->Recorded(begin, Frames(1.75)), 2);
    size_t event = on - begin;
    EXPECT_LT(Rms(mono, 0, event), 1e-4) << "silence before the note";
    jack_nframes_t start = onset(mono, event);
    EXPECT_LE(start - event, static_cast<jack_nframes_t>(2 * period))
        << "started " << start - event << " frames after the note-on";
    double pitch = FundamentalFrequency(std::vector<float>(mono.begin() + start + Frames(0.05),
                                                           mono.begin() + start + Frames(0.25)),
                                        rate);
    EXPECT_NEAR(pitch, 440.0, 4.4);

    size_t released = off - begin;
    double held = Rms(mono, released - Frames(0.05), released);
    ASSERT_GT(held, 0.002);
    EXPECT_GT(Rms(mono, released + Frames(0.005), released + Frames(0.015)), 0.1 * held)
        << "a release, not a cut";
    EXPECT_LT(Rms(mono, released + Frames(1.1), released + Frames(1.2)), 0.01 * held);
}

TEST_F(Harmoloom, TheSecondPortPlaysChannelsOfItsOwn)
{
    Launch(true, true, "0");
    EXPECT_EQ(rig->Ports("Harmoloom:"),
              (std::vector<std::string>{"Harmoloom:left", "Harmoloom:right", "Harmoloom:MIDI In 1",
                                        "Harmoloom:MIDI In 2"}))
        << "one client, its ports named as in a patchbay";
    EXPECT_EQ(rig->Connections("Harmoloom:left"),
              std::vector<std::string>{"harmoloom-test-rig:left"})
        << "HARMOLOOM_AUTOCONNECT=0 leaves the wiring to the user";
    // Channel 1 of the second port (engine channel 16) is panned hard left, with no reverb or
    // chorus to spread it; channel 1 of the first (engine channel 0) is left in the middle. The
    // square lead is one mono sample, so panned hard it leaves the other side silent.
    jack_nframes_t at = Soon();
    rig->Send(at, {0xC0, 80}, 1);
    rig->Send(at, {0xC0, 80}, 0);
    rig->Send(at, {0xB0, 10, 0}, 1);
    rig->Send(at, {0xB0, 91, 0}, 1);
    rig->Send(at, {0xB0, 93, 0}, 1);
    rig->Send(at + Frames(0.05), {0x90, 69, 100}, 1);
    rig->Send(at + Frames(0.45), {0x80, 69, 0}, 1);
    rig->Send(at + Frames(1.5), {0x90, 69, 100}, 0);
    rig->Send(at + Frames(1.9), {0x80, 69, 0}, 0);
    rig->WaitUntil(at + Frames(2.2));

    std::vector<float> second_port = rig->Recorded(at + Frames(0.1), Frames(0.3));
    double left = Rms(Channel(second_port, 0), 0, Frames(0.3));
    double right = Rms(Channel(second_port, 1), 0, Frames(0.3));
    EXPECT_GT(left, 0.002);
    EXPECT_LT(right, 0.2 * left) << "engine channel 16 is the panned one";

    std::vector<float> first_port = rig->Recorded(at + Frames(1.55), Frames(0.3));
    double first_left = Rms(Channel(first_port, 0), 0, Frames(0.3));
    double first_right = Rms(Channel(first_port, 1), 0, Frames(0.3));
    EXPECT_GT(first_right, 0.5 * first_left) << "engine channel 0 was not panned";
}

TEST_F(Harmoloom, BankSelectOnTheDrumChannelChangesNothing)
{
    Launch(false);
    jack_nframes_t at = Soon();
    rig->Send(at, {0x99, 38, 110});
    rig->Send(at + Frames(0.4), {0x89, 38, 0});
    rig->Send(at + Frames(0.6), {0xB9, 0, 1});
    rig->Send(at + Frames(0.6), {0xC9, 0});
    rig->Send(at + Frames(0.8), {0x99, 38, 110});
    rig->Send(at + Frames(1.2), {0x89, 38, 0});
    rig->WaitUntil(at + Frames(1.4));

    std::vector<float> before = Channel(rig->Recorded(at, Frames(0.3)), 2);
    std::vector<float> after = Channel(rig->Recorded(at + Frames(0.8), Frames(0.3)), 2);
    double snare = Rms(before, 0, before.size());
    ASSERT_GT(snare, 0.002);
    EXPECT_NEAR(Rms(after, 0, after.size()), snare, 0.1 * snare);
}

// How long after its event a note of the square lead starts, in frames.
jack_nframes_t Lag(JackRig& rig, jack_nframes_t event, jack_nframes_t window, int channel)
{
    std::vector<float> side = Channel(rig.Recorded(event, window), channel);
    return onset(side, 0);
}

TEST_F(Harmoloom, AChordChangeSoundsAsSoonAsALoneNoteAndTheShortestNoteStillSounds)
{
    Launch(false);
    // Channel 1 (the old chord) panned left, channel 2 (the new one) right.
    jack_nframes_t at = Soon();
    for (unsigned char channel = 0; channel < 2; channel++)
    {
        rig->Send(at, {static_cast<unsigned char>(0xC0 | channel), 80});
        rig->Send(at, {static_cast<unsigned char>(0xB0 | channel), 10,
                       static_cast<unsigned char>(channel == 0 ? 0 : 127)});
        rig->Send(at, {static_cast<unsigned char>(0xB0 | channel), 91, 0});
        rig->Send(at, {static_cast<unsigned char>(0xB0 | channel), 93, 0});
    }
    jack_nframes_t alone = at + Frames(0.1);
    rig->Send(alone, {0x91, 69, 100});
    rig->Send(alone + Frames(0.2), {0x81, 69, 0});
    jack_nframes_t old_chord = at + Frames(0.6);
    jack_nframes_t change = old_chord + Frames(0.5);
    for (unsigned char key = 60; key < 76; key = static_cast<unsigned char>(key + 2))
    {
        rig->Send(old_chord, {0x90, key, 100});
        rig->Send(change, {0x80, key, 0});
        rig->Send(change, {0x91, static_cast<unsigned char>(key + 1), 100});
        rig->Send(change + Frames(0.3), {0x81, static_cast<unsigned char>(key + 1), 0});
    }
    jack_nframes_t short_note = change + Frames(1.0);
    rig->Send(short_note, {0x91, 69, 100});
    rig->Send(short_note + Frames(0.001), {0x81, 69, 0});
    rig->WaitUntil(short_note + Frames(0.3));

    jack_nframes_t lone_lag = Lag(*rig, alone, Frames(0.1), 1);
    ASSERT_LT(lone_lag, Frames(0.1));
    EXPECT_LE(Lag(*rig, change, Frames(0.1), 1), lone_lag + period)
        << "the new chord waited behind the old chord's note-offs";

    jack_nframes_t short_lag = Lag(*rig, short_note, Frames(0.1), 1);
    std::vector<float> right = Channel(rig->Recorded(alone + lone_lag, period), 1);
    std::vector<float> brief = Channel(rig->Recorded(short_note + short_lag, period), 1);
    EXPECT_GT(Rms(brief, 0, brief.size()), 0.8 * Rms(right, 0, right.size()))
        << "a note released 1 ms after it began sounds for a whole buffer";
}

TEST_F(Harmoloom, AfterAFloodAllSoundOffSilencesEveryChannelWithinABuffer)
{
    Launch(false, false);
    // Ten seconds of 10,000 events a second on 16 channels: notes, controllers, bends, programs.
    jack_nframes_t silence = rig->FloodThenSilence(Soon(), 10);
    rig->WaitUntil(silence + Frames(0.5));

    std::vector<float> before = rig->Recorded(silence - Frames(0.5), Frames(0.5));
    ASSERT_GT(Rms(Channel(before, 2), 0, Frames(0.5)), 0.001) << "the flood was heard";
    // The program's own way from event to sound, as for a lone note, and one buffer more.
    std::vector<float> after =
        rig->Recorded(silence + 3 * static_cast<jack_nframes_t>(period), Frames(0.3));
    float loudest = 0;
    for (float sample : after)
        loudest = std::max(loudest, std::fabs(sample));
    EXPECT_LT(loudest, 3.2e-5f) << "below -90 dBFS";
}

class HarmoloomOnAnotherServer : public Harmoloom
{
protected:
    HarmoloomOnAnotherServer() : Harmoloom(44100, 256) {}
};

TEST_F(HarmoloomOnAnotherServer, PlaysAtTheServersRateAndKeepsEachNotesPlaceInThePeriod)
{
    Launch(false, false); // stored: 48000 Hz, 64 frames; no reverb tail between the notes
    EXPECT_NE(program->Output().find("DEBUG: Audio server's rate 44100 Hz and period 256 frames "
                                     "used instead of the stored 48000 Hz and 64 frames"),
              std::string::npos)
        << program->Output();
    EXPECT_EQ(rig->Connections("Harmoloom:left").size(), 2u) << "the system's and the rig's";

    // Lone notes of the square lead at random places within the periods, each cut short.
    jack_nframes_t pitched = Soon(0.2);
    rig->Send(pitched - Frames(0.1), {0xC0, 80});
    rig->Send(pitched, {0x90, 69, 100});
    rig->Send(pitched + Frames(0.3), {0xB0, 120, 0});
    jack_nframes_t at = pitched + Frames(0.5);
    std::vector<jack_nframes_t> events;
    unsigned seed = 7;
    for (int note = 0; note < 40; note++)
    {
        seed = seed * 1103515245u + 12345u;
        jack_nframes_t event = at + static_cast<jack_nframes_t>(note) * Frames(0.1) +
                               (seed / 65536u) % static_cast<unsigned>(period);
        rig->Send(event, {0x90, 69, 100});
        rig->Send(event + Frames(0.05), {0xB0, 120, 0}); // silence before the next
        events.push_back(event);
    }
    rig->WaitUntil(events.back() + Frames(0.2));

    std::vector<float> first = Channel(rig->Recorded(pitched, Frames(0.3)), 0);
    jack_nframes_t start = onset(first, 0);
    ASSERT_LT(start, Frames(0.05));
    double pitch = FundamentalFrequency(std::vector<float>(first.begin() + start + Frames(0.02),
                                                           first.begin() + start + Frames(0.22)),
                                        rate);
    EXPECT_NEAR(pitch, 440.0, 4.4);
    std::vector<jack_nframes_t> lags;
    for (jack_nframes_t event : events)
        lags.push_back(Lag(*rig, event, Frames(0.05), 0));
    std::sort(lags.begin(), lags.end());
    // A buffer the server could not have in time (a sanitizer's slow build) moves its note by a
    // whole period: one note at either end is let go. Applied at the period's start, the notes
    // would spread over most of the period all the same.
    jack_nframes_t least = lags[1];
    jack_nframes_t most = lags[lags.size() - 2];
    EXPECT_LT(most - least, 64u) << "from " << least << " to " << most
                                 << " frames (all: " << lags.front() << " to " << lags.back()
                                 << ")";
}
