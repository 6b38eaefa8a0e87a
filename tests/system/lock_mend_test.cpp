// A large SoundFont loads while notes play on a JACK server: the render callback must not wait
// for the engine that the load holds, or the whole JACK graph stalls with it (and a real-time
// server throws the client out, so that the sound stops for good). With the callback giving up
// on the engine in time, the graph runs on, the output stays connected, and it plays again once
// the load is over.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/support/Threads.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"

namespace
{

const char kLargeSoundfont[] = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

} // namespace

TEST(LockMend, OutputSurvivesALargeSoundfontLoadWhileNotesPlay)
{
    JackServer server(48000, 64);
    ASSERT_TRUE(server.Running());
    setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = new HARMOLOOM(48000);
    ASSERT_NE(Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0), 0);
    Synth->SetReverbLevel(0.0);
    StartAudio(48000, 64, nullptr);
    ASSERT_NE(player, nullptr);

    JackRig rig(server.Name());
    ASSERT_TRUE(rig.RecordFrom(rig.FindPort("Harmoloom:left"), rig.FindPort("Harmoloom:right")));
    Synth->ProgramChange(0, 19); // an organ holds its note
    Synth->NoteOn(0, 60, 100);
    snooze(300000);
    jack_nframes_t playing = rig.Now();
    snooze(200000);
    ASSERT_GT(Rms(Channel(rig.Recorded(playing, 4800), 2), 0, 4800), 0.002) << "no sound at all";

    long cycles_before = rig.Cycles();
    std::atomic<bool> loaded{false};
    int handle = 0;
    bigtime_t load_began = system_time();
    std::thread loader(
        [&]
        {
            handle = Synth->LoadSoundfont(kLargeSoundfont, 0);
            loaded = true;
        });
    while (!loaded)
        snooze(10000);
    loader.join();
    bigtime_t load_took = system_time() - load_began;
    EXPECT_NE(handle, 0);
    // The graph went on while the load held the engine: a callback waiting for the engine
    // would have held every client of the server up for the whole load.
    long cycles = rig.Cycles() - cycles_before;
    long expected = static_cast<long>(load_took * 48000 / 64 / 1000000);
    EXPECT_GE(cycles, expected * 8 / 10) << "the server ran " << cycles << " of " << expected
                                         << " cycles during a load of " << load_took << " us";

    snooze(200000);
    EXPECT_TRUE(rig.ClientExists("Harmoloom:")) << "the server dropped the output";
    Synth->NoteOn(0, 69, 100);
    snooze(300000);
    jack_nframes_t after = rig.Now();
    snooze(200000);
    EXPECT_GT(Rms(Channel(rig.Recorded(after, 4800), 2), 0, 4800), 0.002)
        << "no sound after the load";

    StopAudio();
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}
