// An input whose messages are stamped in microseconds when they reach us (the ALSA
// sequencer's), applied at their place within the render while an output renders, with the same
// constant latency as JACK MIDI: one period. A message stamped t is applied at the frame that
// stands for t + one period, the render's buffers being laid on the clock by their own start
// times (smoothed) and rate. While no output renders, messages go to the port's thread at once.
//
// Who owns the waiting queue: the render while it runs; the input's thread takes it back (after
// the render has stopped taking buffers for a while) and hands what waits to the port's thread,
// in order. The render never waits for it.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/midi/CycleInputs.h"

class StampedInput
{
public:
    // Main thread. At most two inputs are applied in the render; the others go to their thread.
    explicit StampedInput(MidiReceiver* receiver);
    ~StampedInput();

    // The input's thread: one whole message stamped at time (system_time()).
    void Arrived(const uint8_t* bytes, size_t count, bigtime_t time);
    // The input's thread, now and then: takes the queue back from a render that stopped.
    // Returns within how long it should be called again (B_INFINITE_TIMEOUT: need not be).
    bigtime_t Check();

    uint64 Dropped() const { return cycle_.Dropped(); }

    // The render function, on the audio thread; real-time safe, never wait.
    static void BufferStarts(size_t frames, int rate);
    static size_t ApplyBefore(size_t limit);
    static void BufferEnds();

private:
    bool RenderIsLive(bigtime_t now) const;
    void TakeBack();

    CycleInput cycle_;
    // Whether the render applies this input's messages; written by the input's thread.
    std::atomic<bool> in_render_{false};
    // Set by the render while it reads the queue in a buffer.
    std::atomic<bool> reading_{false};
};
