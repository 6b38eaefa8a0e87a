// How long the program takes to play again after its JACK server has crashed and started anew:
// from the moment the new server answers to the first sound of a note sent to the program over
// the connection it made again itself. Five restarts, at 48 and 44.1 kHz in turn, 256-frame
// periods; the median and the worst are printed. FluidSynth's own client has no figure to set
// beside it: it does not come back without a restart.
//
//   build/bench/jack_restart_bench
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/support/Threads.h"
#include "tests/support/ProgramEnvironment.h"

int main(int, char** argv)
{
    ProgramEnvironment env(256, 48000);
    if (!env.Ready())
        return 1;
    env.WriteSettings(DefaultsWith({{14, 0}, {18, 0}}), {{0, {0, TIMGM6MB_SOUNDFONT}}});
    auto program = env.Start({"--debug"});
    if (!program->WaitForOutput("DEBUG: End of application constructor", 60))
        return 1;
    auto rig = std::make_unique<JackRig>(env.JackName());
    if (!rig->Open() || !rig->Attach(1))
        return 1;
    snooze(500000); // the connections settle before the crash
    std::vector<double> seconds;
    for (int restart = 0; restart < 5; restart++)
    {
        env.KillJack();
        snooze(300000);
        rig.reset();
        if (!env.RestartJack(restart % 2 == 0 ? 44100 : 48000))
            return 1;
        bigtime_t started = system_time();
        rig = std::make_unique<JackRig>(env.JackName());
        if (!rig->Open())
            return 1;
        // A short note every 20 ms until one is heard: nothing is sent before the program's
        // connections are back, so the first sound marks its return.
        bigtime_t heard = 0;
        while (heard == 0 && system_time() - started < 20000000)
        {
            jack_nframes_t at = rig->Now() + 64;
            rig->Send(at, {0x90, 69, 100});
            rig->Send(at + 256, {0x80, 69, 0});
            snooze(20000);
            if (rig->Level(rig->Now() - 2048, 1024) > 0.001)
                heard = system_time();
        }
        seconds.push_back(heard == 0 ? -1 : static_cast<double>(heard - started) / 1e6);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("JACK server restarts, 256-frame periods: from the new server's answer to the "
                "first sound, median %.2f s, worst %.2f s over %zu restarts\n",
                seconds[seconds.size() / 2], seconds.back(), seconds.size());
    std::printf("  reproduce: %s\n", argv[0]);
    program->Stop(SIGTERM, 30);
    return 0;
}
