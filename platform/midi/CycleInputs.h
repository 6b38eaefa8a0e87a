// What every input applied inside the render shares (JACK MIDI, and the ALSA sequencer while
// an output renders): a queue of messages waiting for their frame, when the consumer's next
// held-back event falls due, and the one loop that applies them in time order across inputs.
//
// ApplyInputsBefore: render function only, on the audio thread; real-time safe, never waits.
// HandBackToThread: by whoever reads the queue, once the render no longer does.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/midi/KeptNotes.h"
#include "platform/midi/MidiInputBackend.h"
#include "platform/midi/MidiQueue.h"
#include "platform/midi/SysexAssembler.h"

struct CycleInput
{
    explicit CycleInput(MidiReceiver* to) : receiver(to) {}
    MidiReceiver* const receiver;
    MidiQueue waiting;
    bigtime_t held_due = B_INFINITE_TIMEOUT;
    // What the render let through, and the late note-ons it dropped (with their note-offs).
    KeptNotes delivered;
    std::atomic<uint64> dropped_late{0};
    // System-exclusive messages put together from the back end's pieces.
    SysexAssembler sysex;

    uint64 Dropped() const { return waiting.Dropped() + dropped_late + sysex.Dropped(); }
};

// The buffer being rendered on the inputs' clock: the time its first frame stands for, the
// clock's units per frame as units / frames (1/1 for frames, 1000000/rate for microseconds), and
// its length on the clock.
struct BufferSpan
{
    bigtime_t start;
    bigtime_t units;
    bigtime_t frames;
    bigtime_t length;

    bigtime_t TimeAt(size_t frame) const
    {
        return start + static_cast<bigtime_t>(frame) * units / frames;
    }
    bigtime_t FrameOf(bigtime_t time) const { return (time - start) * frames / units; }
};

// Applies, in time order across the inputs (null ones skipped), every message and held event
// that falls before frame limit; one that falls before the buffer takes effect at its start,
// but a note-on more than a buffer late (the engine was busy) is dropped, with its note-off: it
// would sound out of its time, all at once with the others.
// Returns the frame where the next falls, or SIZE_MAX when none waits.
size_t ApplyInputsBefore(CycleInput* const* inputs, size_t count, const BufferSpan& span,
                         size_t limit);

// A message, or a piece of a system-exclusive one, read at time: while the render applies the
// input's messages, each whole one waits there for its time (system messages other than system
// exclusive play nothing and are not kept); otherwise it goes to the port's thread.
// The one thread that reads the input's source.
void TakeMessage(CycleInput& input, const uint8_t* bytes, size_t count, bigtime_t time,
                 bool in_render);

// The inputs of one kind that the render reads, the first and second port's: claimed when one
// opens, given up when it closes. Any thread; real-time safe.
template <typename Input> class InputSlots
{
public:
    static constexpr int kCount = 2;

    // False when both are taken.
    bool Claim(Input* input)
    {
        for (auto& slot : slots_)
        {
            Input* free = nullptr;
            if (slot.compare_exchange_strong(free, input))
                return true;
        }
        return false;
    }
    void Release(Input* input)
    {
        for (auto& slot : slots_)
        {
            Input* claimed = input;
            slot.compare_exchange_strong(claimed, nullptr);
        }
    }
    bool Holds(const Input* input) const { return At(0) == input || At(1) == input; }
    Input* At(int index) const { return slots_[index].load(std::memory_order_acquire); }

private:
    std::atomic<Input*> slots_[kCount] = {};
};

// The render that was to apply them is gone: the waiting messages go to the port's thread, in
// order, with what the consumer holds.
void HandBackToThread(CycleInput& input);

// The messages that end every note and the sustain of a port's 16 channels, as all-notes-off
// with the pedal up would: for each channel, sustain off, then all-notes-off (which first
// applies what that channel holds back, in order). For a port whose source has left.
template <typename Send> void SendReleaseOfEveryChannel(Send send)
{
    for (uint8_t channel = 0; channel < 16; channel++)
    {
        const uint8_t pedal_up[] = {static_cast<uint8_t>(0xB0 | channel), 64, 0};
        const uint8_t all_notes_off[] = {static_cast<uint8_t>(0xB0 | channel), 123, 0};
        send(pedal_up);
        send(all_notes_off);
    }
}
