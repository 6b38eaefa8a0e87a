#include "platform/midi/StampedInput.h"

#include <cstdint>
#include <cstdlib>

#include "platform/support/Threads.h"

namespace
{

constexpr int kInputs = InputSlots<StampedInput>::kCount;
InputSlots<StampedInput> slots;

// Buffers begun plus buffers ended: odd while the render is inside one.
std::atomic<uint64> buffer_edges{0};
// When the latest buffer began, and the period then, for the inputs' threads.
std::atomic<bigtime_t> last_buffer_start{0};
std::atomic<bigtime_t> period_microseconds{0};

// The render's own, on the audio thread only.
struct RenderState
{
    bigtime_t smoothed_start = 0;
    bigtime_t previous_period = 0;
    BufferSpan span{0, 1000000, 1, 0};
    CycleInput* reading[kInputs] = {};
    StampedInput* readers[kInputs] = {};
};
RenderState render;

} // namespace

StampedInput::StampedInput(MidiReceiver* receiver) : cycle_(receiver)
{
    slots.Claim(this);
}

StampedInput::~StampedInput()
{
    slots.Release(this);
    // A buffer that began before the slot was cleared may still read this input.
    uint64 edges = buffer_edges.load();
    while (edges % 2 == 1 && buffer_edges.load() == edges)
        snooze(100);
}

bool StampedInput::RenderIsLive(bigtime_t now) const
{
    bigtime_t last = last_buffer_start.load();
    // A render comes back within a few periods unless it stopped (a busy machine may delay it).
    return last != 0 && now - last < 4 * period_microseconds.load() + 20000;
}

void StampedInput::TakeBack()
{
    in_render_ = false;
    while (reading_)
        snooze(100);
    HandBackToThread(cycle_);
}

void StampedInput::Arrived(const uint8_t* bytes, size_t count, bigtime_t time)
{
    bool slotted = slots.Holds(this);
    if (in_render_ && !RenderIsLive(time))
        TakeBack();
    else if (!in_render_ && slotted && RenderIsLive(time))
        in_render_ = true;
    TakeMessage(cycle_, bytes, count, time, in_render_);
}

bigtime_t StampedInput::Check()
{
    if (in_render_ && !RenderIsLive(system_time()))
        TakeBack();
    return in_render_ ? 2 * period_microseconds.load() + 10000 : B_INFINITE_TIMEOUT;
}

void StampedInput::BufferStarts(size_t frames, int rate)
{
    buffer_edges++;
    bigtime_t now = system_time();
    if (rate <= 0 || frames == 0)
        return;
    bigtime_t period = static_cast<bigtime_t>(frames) * 1000000 / rate;
    // The callback's wake-up jitters; the buffers themselves follow one another evenly. Small
    // deviations are smoothed away, a large one (an xrun, a new period) starts afresh.
    bigtime_t predicted = render.smoothed_start + render.previous_period;
    if (render.previous_period != period || std::llabs(now - predicted) > period)
        render.smoothed_start = now;
    else
        render.smoothed_start = predicted + (now - predicted) / 8;
    render.previous_period = period;
    render.span = {render.smoothed_start - period, 1000000, rate, period};
    period_microseconds = period;
    last_buffer_start = now;
    for (int index = 0; index < kInputs; index++)
    {
        StampedInput* input = slots.At(index);
        render.reading[index] = nullptr;
        render.readers[index] = nullptr;
        if (input == nullptr)
            continue;
        // Paired with TakeBack: either it sees this read, or this sees the queue taken back.
        input->reading_ = true;
        if (!input->in_render_)
        {
            input->reading_ = false;
            continue;
        }
        render.reading[index] = &input->cycle_;
        render.readers[index] = input;
    }
}

size_t StampedInput::ApplyBefore(size_t limit)
{
    if (render.reading[0] == nullptr && render.reading[1] == nullptr)
        return SIZE_MAX;
    return ApplyInputsBefore(render.reading, kInputs, render.span, limit);
}

void StampedInput::BufferEnds()
{
    for (int index = 0; index < kInputs; index++)
    {
        if (render.readers[index] != nullptr)
            render.readers[index]->reading_ = false;
        render.reading[index] = nullptr;
        render.readers[index] = nullptr;
    }
    buffer_edges++;
}
