// MIDI timing under dense playing, Harmoloom beside FluidSynth's own JACK client on one JACK
// server (dummy driver, 48000 Hz, 64 frames), each fed the same MIDI at the same frames with
// reverb and chorus off:
//   - the lag of a lone note and of a chord change (8 note-offs and 8 note-ons at one frame), in
//     frames from the event to the first sound;
//   - after a flood (10,000 events a second for the given seconds on 16 channels), the time
//     from all-sound-off on every channel to silence (below -90 dBFS);
//   - on a second server of 256-frame periods, 40 lone notes at random places within the
//     periods: the spread of their lags (largest minus smallest), which is at most 64 frames
//     for a client that applies MIDI at its place in the period and up to a period for one that
//     applies it at the period's start.
//
//   build/bench/midi_timing_bench [flood seconds]      (Debian fluidsynth for the peer)
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr int kRate = 48000;
constexpr int kPeriod = 64;
constexpr int kLongPeriod = 256;

struct Client
{
    std::string name;
    std::vector<std::string> command;
    std::string ready; // printed once the client runs; empty: wait for its ports
    std::string left, right, midi;
};

jack_nframes_t frames(double seconds)
{
    return static_cast<jack_nframes_t>(seconds * kRate);
}

// First frame from begin whose sample passes the threshold, relative to begin.
long first_sound(const std::vector<float>& stereo, float threshold)
{
    for (size_t index = 0; index < stereo.size(); index++)
    {
        if (std::fabs(stereo[index]) > threshold)
            return static_cast<long>(index / 2);
    }
    return -1;
}

// Last frame that passes the threshold, relative to begin.
long last_sound(const std::vector<float>& stereo, float threshold)
{
    for (size_t index = stereo.size(); index-- > 0;)
    {
        if (std::fabs(stereo[index]) > threshold)
            return static_cast<long>(index / 2);
    }
    return -1;
}

void measure(const Client& client, const std::string& server, int flood_seconds, bool spread)
{
    TemporaryFolder config;
    std::vector<int32_t> fields = DefaultSettings();
    fields[14] = 0;
    fields[18] = 0;
    WriteFile(config.File("Harmoloom Settings"),
              SettingsFile(fields, {{0, {0, TIMGM6MB_SOUNDFONT}}}));
    BackgroundProcess program(client.command, {{"JACK_DEFAULT_SERVER", server},
                                               {"XDG_CONFIG_HOME", config.Path()},
                                               {"HOME", config.Path()},
                                               {"DISPLAY", ""}});
    if (!client.ready.empty() && !program.WaitForOutput(client.ready, 60))
    {
        std::printf("  %s: did not start\n", client.name.c_str());
        return;
    }
    JackRig rig(server);
    if (!rig.Open() || !rig.RecordFrom(rig.FindPort(client.left), rig.FindPort(client.right)) ||
        !rig.ConnectMidiTo(rig.FindPort(client.midi)))
    {
        std::printf("  %s: ports not found\n", client.name.c_str());
        return;
    }
    if (spread)
    {
        jack_nframes_t at = rig.Now() + frames(0.5);
        rig.Send(at, {0xC0, 80});
        std::vector<jack_nframes_t> events;
        unsigned seed = 7;
        for (int note = 0; note < 40; note++)
        {
            seed = seed * 1103515245u + 12345u;
            jack_nframes_t event = at + frames(0.2) +
                                   static_cast<jack_nframes_t>(note) * frames(0.1) +
                                   (seed / 65536u) % kLongPeriod;
            rig.Send(event, {0x90, 69, 100});
            rig.Send(event + frames(0.05), {0xB0, 120, 0});
            events.push_back(event);
        }
        rig.WaitUntil(events.back() + frames(0.3));
        long least = frames(1);
        long most = 0;
        int heard = 0;
        for (jack_nframes_t event : events)
        {
            // A note lost in a cycle the server missed has no onset to compare.
            long lag = first_sound(rig.Recorded(event, frames(0.05)), 0.001f);
            if (lag < 0)
                continue;
            heard++;
            least = std::min(least, lag);
            most = std::max(most, lag);
        }
        std::printf("  %-12s %d of 40 lone notes at random places in %d-frame periods heard: lag "
                    "%ld to %ld frames, spread %ld frames\n",
                    client.name.c_str(), heard, kLongPeriod, least, most, most - least);
        program.Stop(SIGTERM, 30);
        return;
    }
    jack_nframes_t at = rig.Now() + frames(0.5);
    rig.Send(at, {0xC0, 80});
    jack_nframes_t alone = at + frames(0.2);
    rig.Send(alone, {0x90, 69, 100});
    rig.Send(alone + frames(0.2), {0x80, 69, 0});
    jack_nframes_t chord = alone + frames(0.6);
    jack_nframes_t change = chord + frames(0.5);
    // The rig sends in order of time: each frame's events go together, the old chord's
    // note-offs first, as a player's hands change chords.
    const unsigned char keys[] = {60, 62, 64, 66, 68, 70, 72, 74}; // the new chord a semitone up
    // The old chord soft, the new one loud: the new one shows where its level jumps above the
    // old one's release.
    for (unsigned char key : keys)
        rig.Send(chord, {0x90, key, 20});
    for (unsigned char key : keys)
        rig.Send(change, {0x80, key, 0});
    for (unsigned char key : keys)
        rig.Send(change, {0x90, static_cast<unsigned char>(key + 1), 127});
    for (unsigned char key : keys)
        rig.Send(change + frames(0.3), {0x80, static_cast<unsigned char>(key + 1), 0});
    rig.WaitUntil(change + frames(1.0));
    long lone_lag = first_sound(rig.Recorded(alone, frames(0.1)), 0.001f);
    // The old chord's release tail is there too: the new chord is where the level jumps.
    std::vector<float> after_change = rig.Recorded(change, frames(0.1));
    float tail = 0;
    for (size_t index = 0; index < 2 * 16; index++)
        tail = std::max(tail, std::fabs(after_change[index]));
    long chord_lag = first_sound(after_change, std::max(0.001f, 2.5f * tail));

    // The flood, then all-sound-off on every channel.
    jack_nframes_t silence = rig.FloodThenSilence(rig.Now() + frames(0.2), flood_seconds);
    rig.WaitUntil(silence + frames(1.5));
    long to_silence = last_sound(rig.Recorded(silence, frames(1.5)), 3.2e-5f) + 1;
    std::printf("  %-12s lone note %5ld frames, chord change %5ld frames, all-sound-off to "
                "silence after %d s of flood %6ld frames (%.1f ms)\n",
                client.name.c_str(), lone_lag, chord_lag, flood_seconds, to_silence,
                static_cast<double>(to_silence) * 1000.0 / kRate);
    program.Stop(SIGTERM, 30);
}

} // namespace

int main(int argc, char** argv)
{
    int flood_seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    // Line by line, so that what the clients started later inherit is never printed twice.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const Client harmoloom = {"Harmoloom",
                              {HARMOLOOM_BINARY, "--debug"},
                              "DEBUG: End of application constructor",
                              "Harmoloom:left",
                              "Harmoloom:right",
                              "Harmoloom:MIDI In 1"};
    // Without a shell on standard input, FluidSynth keeps running only as a server.
    const Client fluidsynth = {"fluidsynth",
                               {"/usr/bin/fluidsynth", "-a", "jack", "-m", "jack", "-r", "48000",
                                "-R", "0", "-C", "0", "-i", "-s", "-o", "shell.port=9899",
                                TIMGM6MB_SOUNDFONT},
                               "",
                               ":left",
                               ":right",
                               ":midi_00"};
    {
        JackServer server(kRate, kPeriod);
        if (!server.Running())
            return 1;
        std::printf("MIDI timing benchmark: JACK dummy server, %d Hz, %d-frame periods, effects "
                    "off\n",
                    kRate, kPeriod);
        measure(harmoloom, server.Name(), flood_seconds, false);
        measure(fluidsynth, server.Name(), flood_seconds, false);
    }
    JackServer server(kRate, kLongPeriod);
    if (!server.Running())
        return 1;
    std::printf("JACK dummy server, %d Hz, %d-frame periods\n", kRate, kLongPeriod);
    measure(harmoloom, server.Name(), flood_seconds, true);
    measure(fluidsynth, server.Name(), flood_seconds, true);
    std::printf("  reproduce: %s %d\n", argv[0], flood_seconds);
    return 0;
}
