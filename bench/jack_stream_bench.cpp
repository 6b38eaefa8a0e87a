// How many xruns a dense MIDI stream causes: the built program on a JACK server of its own
// (dummy driver, 48000 Hz, 64 frames), fed by a client of ours with notes on 15 channels and a
// controller sweep for a minute. The server reports every cycle that was not finished in time.
//
//   build/bench/jack_stream_bench [seconds] [--idle | --empty]
//
// To compare with: --idle runs the program but sends no MIDI; --empty leaves the program out,
// so that only our client is on the server. A server without real-time scheduling reports
// some xruns of its own.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

namespace
{

std::string settings_with_font()
{
    return SettingsFile(DefaultSettings(), {{0, {0, TIMGM6MB_SOUNDFONT}}});
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    std::string mode = argc > 2 ? argv[2] : "";
    bool empty = mode == "--empty";
    bool idle = empty || mode == "--idle";
    JackServer server(48000, 64);
    if (!server.Running())
        return 1;
    TemporaryFolder config;
    WriteFile(config.File("Harmoloom Settings"), settings_with_font());
    std::vector<std::string> command = {HARMOLOOM_BINARY, "--debug"};
    if (empty)
        command = {"/bin/sleep", std::to_string(seconds + 10)};
    BackgroundProcess program(command, {{"JACK_DEFAULT_SERVER", server.Name()},
                                        {"XDG_CONFIG_HOME", config.Path()},
                                        {"DISPLAY", ""}});
    if (!empty && !program.WaitForOutput("DEBUG: End of application constructor", 60))
        return 1;
    JackRig rig(server.Name());
    if (!rig.Open())
        return 1;
    if (!empty &&
        (!rig.ConnectMidiTo(rig.FindPort(":MIDI In 1")) ||
         !rig.RecordFrom(rig.FindPort("Harmoloom:left"), rig.FindPort("Harmoloom:right"))))
        return 1;

    // 20 note-ons and 20 note-offs a second on each of 15 channels, and a volume sweep.
    const jack_nframes_t step = 48000 / 20;
    jack_nframes_t start = rig.Now() + 4800;
    int xruns_before = rig.Xruns();
    long events = 0;
    for (int tick = 0; tick < seconds * 20; tick++)
    {
        jack_nframes_t at = start + static_cast<jack_nframes_t>(tick) * step;
        for (unsigned char channel = 0; channel < 16; channel++)
        {
            if (channel == 9 || idle)
                continue;
            auto key = static_cast<unsigned char>(36 + (tick * 7 + channel * 5) % 48);
            rig.Send(at + channel * 16, {static_cast<unsigned char>(0x90 | channel), key, 90});
            rig.Send(at + step / 2 + channel * 16,
                     {static_cast<unsigned char>(0x80 | channel), key, 0});
            events += 2;
        }
        if (!idle)
        {
            rig.Send(at + step / 4, {0xB0, 7, static_cast<unsigned char>(64 + tick % 64)});
            events++;
        }
        rig.WaitUntil(at - step); // keep the queue a little ahead of the clock
    }
    rig.WaitUntil(start + static_cast<jack_nframes_t>(seconds) * 48000 + 4800);
    int xruns = rig.Xruns() - xruns_before;
    program.Stop(15, 30);

    std::printf("JACK stream benchmark%s: %d s, %ld MIDI events (%.0f a second) into the "
                "program\n",
                empty ? " without the program" : "", seconds, events,
                static_cast<double>(events) / seconds);
    std::printf("  xruns reported by the server  %d (target 0)\n", xruns);
    std::printf("  reproduce: %s %d %s\n", argv[0], seconds, mode.c_str());
    return 0;
}
