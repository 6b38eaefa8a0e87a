// SoundFonts loaded while music plays, Harmoloom beside FluidSynth's own JACK client on one JACK
// server (dummy driver, 48000 Hz, 256-frame periods), both fed the same MIDI at the same frames
// with reverb and chorus off: an organ holds a note on channel 1 (left), a square lead plays a
// 60 ms note every 100 ms on channel 2 (right). Meanwhile each loads MuseScore_General_Lite.sf3,
// then FluidR3_GM.sf2 (ours on the loader thread of the Soundfonts page, FluidSynth's through its
// shell's "load"). For each load:
//   - silent 64-frame blocks of the organ, short notes lost (no sound within 100 ms), late
//     (first sound a period or more after the event), xruns, and the load's time;
//   - ours also: the join's time under the engine lock, and a direct load into a playing synth
//     under its lock, as the engine made it before the loader thread (the time the music stopped);
// then for ours the resident memory before, at its highest during, and after adding FluidR3_GM,
// and after removing it again, and the removal's time under the lock.
//
//   build/bench/soundfont_load_bench    (Debian fluidsynth, fluid-soundfont-gm and
//                                        musescore-general-soundfont-small)
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "tests/support/JackRig.h"
#include "tests/support/PageLoads.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
const char* const kFonts[] = {"/usr/share/sounds/sf3/MuseScore_General_Lite.sf3",
                              "/usr/share/sounds/sf2/FluidR3_GM.sf2"};

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

jack_nframes_t frames(double seconds)
{
    return static_cast<jack_nframes_t>(seconds * kRate);
}

long resident_kib()
{
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr && std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    if (statm != nullptr)
        std::fclose(statm);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Plays the organ and the lead into the rig's MIDI output while load runs (on this thread), then
// prints what the recording shows. load returns its own figures as text.
void measure(JackRig& rig, const char* client, const char* font,
             const std::function<std::string()>& load)
{
    jack_nframes_t from = rig.Now() + frames(0.2);
    for (std::vector<unsigned char> setup : {std::vector<unsigned char>{0xB0, 10, 0},
                                             {0xB1, 10, 127},
                                             {0xC0, 19},
                                             {0xC1, 80},
                                             {0x90, 60, 100}})
        rig.Send(from, setup);
    std::vector<jack_nframes_t> shorts;
    jack_nframes_t next = from + frames(0.2);
    std::atomic<bool> done{false};
    std::thread player(
        [&]
        {
            for (; !done || next < from + frames(1.0) || shorts.size() < 20;
                 std::this_thread::sleep_for(std::chrono::milliseconds(5)))
                for (; next < rig.Now() + frames(0.2); next += frames(0.1))
                {
                    rig.Send(next, {0x91, 69, 100});
                    rig.Send(next + frames(0.06), {0xB1, 120, 0});
                    shorts.push_back(next);
                }
        });
    int xruns = rig.Xruns();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string figures = load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    done = true;
    player.join();
    rig.Send(next, {0x80, 60, 0});
    rig.WaitUntil(next + frames(0.2));
    int silent = 0;
    for (jack_nframes_t at = from + frames(0.1); at + 64 <= next; at += 64)
        silent += rig.Level(at, 64, 0) < 1e-4 ? 1 : 0;
    int lost = 0, late = 0;
    for (jack_nframes_t at : shorts)
    {
        std::vector<float> lead = rig.Mono(at, frames(0.1), 1);
        auto first =
            std::find_if(lead.begin(), lead.end(), [](float s) { return std::fabs(s) > 0.001f; });
        lost += first == lead.end() ? 1 : 0;
        late += first != lead.end() && first - lead.begin() >= kPeriod ? 1 : 0;
    }
    std::printf("  %-11s %-27s silent blocks %4d, short notes %d lost %d late of %zu, xruns %d, "
                "%s\n",
                client, std::strrchr(font, '/') + 1, silent, lost, late, shorts.size(),
                rig.Xruns() - xruns, figures.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the organ's release
}

void measure_harmoloom(const std::string& server)
{
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("HARMOLOOM_MIDI", "jack", 1);
    setenv("HARMOLOOM_AUTOCONNECT", "0", 1);
    InitDefaults();
    settings[setting::cutout] = 0;
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    // What the engine did before the loader: the file read into the playing synth, which holds
    // its lock (and so the music) for the whole load. First, while FluidSynth's cache of sample
    // data holds none of these files.
    for (const char* font : kFonts)
    {
        HARMOLOOM engine(kRate);
        Clock::time_point start = Clock::now();
        int id = -1;
        {
            RealtimeAutolock hold(engine.lock);
            id = hook_fluid_synth_sfload(engine.fluid_synth, font, 1);
        }
        std::printf("  before      %-27s load into the playing synth under its lock %.2f s%s\n",
                    std::strrchr(font, '/') + 1, since(start), id < 0 ? " (failed)" : "");
    }
    Synth = new HARMOLOOM(kRate);
    Synth->SetReverbLevel(0);
    Synth->SetChorusLevel(0);
    {
        PageLoads page(Synth);
        SlotFont* fonts = page.fonts;
        fonts[0].handle = Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0);
        std::strcpy(soundfont_paths[0], TIMGM6MB_SOUNDFONT);
        StartAudio(kRate, kPeriod, nullptr);
        StartMidiInterface(0);
        JackRig rig(server);
        if (!rig.Open() || !rig.Attach(1))
        {
            std::printf("  Harmoloom: ports not found\n");
            return;
        }
        long before = 0, highest = 0, after = 0;
        for (const char* font : kFonts)
        {
            before = resident_kib();
            measure(rig, "Harmoloom", font,
                    [&]
                    {
                        Clock::time_point start = Clock::now();
                        highest = before;
                        page.Add(font,
                                 [&]
                                 {
                                     highest = std::max(highest, resident_kib());
                                     std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                 });
                        Clock::time_point join = Clock::now();
                        page.Join();
                        double joined = since(join);
                        char text[160];
                        std::snprintf(text, sizeof(text), "load %.2f s, under the lock %.3f ms",
                                      since(start), joined * 1000);
                        return std::string(text);
                    });
            after = resident_kib();
        }
        Clock::time_point removal = Clock::now();
        RemoveSoundfontSlot(0, fonts, &page.loader);
        double removed = since(removal);
        Eventually([] { return !Synth->FreeClearedSoundfonts(); }, 30);
        std::printf("  Harmoloom   resident memory adding FluidR3_GM.sf2: %ld MiB before, %ld at "
                    "most during, %ld after, %ld after its removal (%.3f ms under the lock)\n",
                    before / 1024, highest / 1024, after / 1024, resident_kib() / 1024,
                    removed * 1000);
        StopMidiInterface();
        StopAudio();
    }
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

// FluidSynth's shell, on its TCP port: the command, then its answer.
std::string shell(int port, const std::string& command)
{
    int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
    {
        std::string line = command + "\nquit\n";
        if (write(connection, line.data(), line.size()) == static_cast<ssize_t>(line.size()))
        {
            char buffer[256];
            for (ssize_t got; (got = read(connection, buffer, sizeof(buffer))) > 0;)
                answer.append(buffer, static_cast<size_t>(got));
        }
    }
    close(connection);
    return answer;
}

void measure_fluidsynth(const std::string& server)
{
    int port = 20000 + getpid() % 10000; // another run's port may still linger
    BackgroundProcess program({"/usr/bin/fluidsynth", "-a", "jack", "-m", "jack", "-r", "48000",
                               "-R", "0", "-C", "0", "-i", "-s", "-o",
                               "shell.port=" + std::to_string(port), TIMGM6MB_SOUNDFONT},
                              {{"JACK_DEFAULT_SERVER", server}, {"DISPLAY", ""}});
    JackRig rig(server);
    if (!rig.Open() || !rig.RecordFrom(rig.FindPort(":left"), rig.FindPort(":right")) ||
        !rig.ConnectMidiTo(rig.FindPort(":midi_00")))
    {
        std::printf("  fluidsynth: ports not found\n");
        return;
    }
    for (const char* font : kFonts)
        measure(rig, "fluidsynth", font,
                [font, port]
                {
                    Clock::time_point start = Clock::now();
                    std::string answer = shell(port, std::string("load ") + font);
                    char text[160];
                    std::snprintf(text, sizeof(text), "load %.2f s%s", since(start),
                                  answer.find("loaded") != std::string::npos ? "" : " (failed)");
                    return std::string(text);
                });
    program.Stop(SIGTERM, 30);
}

} // namespace

int main(int, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    JackServer server(kRate, kPeriod);
    if (!server.Running())
        return 1;
    std::printf("SoundFonts loaded while music plays: JACK dummy server, %d Hz, %d-frame periods, "
                "effects off\n",
                kRate, kPeriod);
    measure_harmoloom(server.Name());
    measure_fluidsynth(server.Name());
    std::printf("  reproduce: %s\n", argv[0]);
    return 0;
}
