// How long the sound player and a MIDI port take to choose their back end when no JACK server
// runs (JACK_DEFAULT_SERVER names one that does not exist; HARMOLOOM_AUDIO and HARMOLOOM_MIDI
// are unset), the way a start-up on a desktop without JACK begins; and the built program itself,
// from its start to its audio decision (the "Creating synth" line that follows it, seen in the
// debug output, looked at every 20 ms). Each is done a few times.
//
//   build/bench/backend_choice_bench [runs]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/media/SoundPlayer.h"
#include "platform/midi/Midi.h"
#include "tests/support/TestSupport.h"

namespace
{

using Clock = std::chrono::steady_clock;

void render_silence(void*, void*, size_t, const media_raw_audio_format&) {}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::string server = "harmoloom-bench-absent-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    unsetenv("HARMOLOOM_AUDIO");
    unsetenv("HARMOLOOM_MIDI");

    media_raw_audio_format format;
    format.frame_rate = 44100;
    format.channel_count = 2;
    format.format = B_AUDIO_FLOAT;
    format.byte_order = B_MEDIA_LITTLE_ENDIAN;
    format.buffer_size = 256 * 8;

    std::vector<double> audio;
    std::vector<double> midi;
    for (int run = 0; run < runs; run++)
    {
        auto start = Clock::now();
        std::string audio_backend;
        {
            BSoundPlayer player(&format, "Harmoloom", render_silence);
            audio_backend = player.BackendName();
            audio.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        start = Clock::now();
        std::string midi_backend;
        {
            BMidiPort port;
            midi_backend = port.BackendName();
            midi.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        std::printf(
            "run %d: audio decided after %.1f ms (\"%s\"), MIDI port after %.1f ms (\"%s\")\n",
            run + 1, audio.back() * 1e3, audio_backend.c_str(), midi.back() * 1e3,
            midi_backend.c_str());
    }
    std::printf("median: audio decided after %.1f ms, MIDI port after %.1f ms\n",
                median(audio) * 1e3, median(midi) * 1e3);

    std::vector<double> program;
    for (int run = 0; run < runs; run++)
    {
        TemporaryFolder config;
        auto start = Clock::now();
        BackgroundProcess started({HARMOLOOM_BINARY, "--debug"},
                                  {{"XDG_CONFIG_HOME", config.Path()},
                                   {"HOME", config.Path()},
                                   {"DISPLAY", ""},
                                   {"HARMOLOOM_ALERT_ANSWERS", "1"}});
        if (!started.WaitForOutput("DEBUG: Creating synth", 20))
            return 1;
        program.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        started.Stop(SIGTERM, 20);
        std::printf("run %d: the program decided on its audio output %.0f ms after its start\n",
                    run + 1, program.back() * 1e3);
    }
    std::printf("median: the program decided on its audio output %.0f ms after its start\n",
                median(program) * 1e3);
    return 0;
}
