// What one MIDI event costs from the handler's entry to the return of its engine call, for the
// kinds of event a performance is made of. The note-off's deliberate delay of one buffer period
// is left out: it is a wait, not work.
//
//   build/bench/midi_event_bench
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/support/Threads.h"

namespace
{

constexpr int kEvents = 100000;
constexpr int kEventsPerBuffer = 16;

// Events in bursts of 16 with a buffer rendered (untimed) after each, as the audio thread
// renders between them: FluidSynth queues events until its next render.
template <typename Event> double nanoseconds_per_event(Event event, std::vector<float>& buffer)
{
    std::chrono::duration<double, std::nano> spent{0};
    for (int index = 0; index < kEvents;)
    {
        auto start = std::chrono::steady_clock::now();
        for (int burst = 0; burst < kEventsPerBuffer; burst++, index++)
            event(index);
        spent += std::chrono::steady_clock::now() - start;
        Synth->MakeBuffer(buffer.data(), 64);
    }
    return spent.count() / kEvents;
}

} // namespace

int main(int, char** argv)
{
    InitDefaults();
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    Synth = new HARMOLOOM(48000);
    if (Synth->InitCheck() != 0 || Synth->LoadSoundfont(TIMGM6MB_SOUNDFONT, 0) == 0)
        return 1;
    MIDIINTERFACE port(0, SystemMidiClock());
    auto now = static_cast<uint32>(system_time() / 1000);
    std::vector<float> buffer(128);

    double note_on = nanoseconds_per_event(
        [&](int index)
        {
            // Alternating on and off (velocity 0) keeps the voices at a steady count.
            port.NoteOn(static_cast<uchar>(1 + index % 8), static_cast<uchar>(40 + index / 2 % 40),
                        index % 2 == 0 ? 100 : 0, now);
        },
        buffer);
    double controller = nanoseconds_per_event(
        [&](int index) { port.ControlChange(1, 7, static_cast<uchar>(index % 128), now); }, buffer);
    double bend = nanoseconds_per_event(
        [&](int index) { port.PitchBend(1, static_cast<uchar>(index % 128), 64, now); }, buffer);
    double program = nanoseconds_per_event(
        [&](int index) { port.ProgramChange(1, static_cast<uchar>(index % 128), now); }, buffer);

    std::printf("MIDI event benchmark: handler entry to engine call's return, %d events each, "
                "a 64-frame buffer rendered after every %d\n",
                kEvents, kEventsPerBuffer);
    std::printf("  note-on            %8.0f ns per event\n", note_on);
    std::printf("  control change     %8.0f ns per event\n", controller);
    std::printf("  pitch bend         %8.0f ns per event\n", bend);
    std::printf("  program change     %8.0f ns per event\n", program);
    std::printf("  reproduce: %s\n", argv[0]);
    return 0;
}
