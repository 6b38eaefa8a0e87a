#include "platform/midi/CycleInputs.h"

#include <algorithm>
#include <cstdint>

namespace
{

// The input whose message or held-back event comes first, and when; null when none waits.
CycleInput* earliest(CycleInput* const* inputs, size_t count, bigtime_t* when, bool* held)
{
    CycleInput* first = nullptr;
    *when = B_INFINITE_TIMEOUT;
    for (size_t index = 0; index < count; index++)
    {
        CycleInput* input = inputs[index];
        if (input == nullptr)
            continue;
        const MidiQueue::Packet* packet = input->waiting.Front();
        if (packet != nullptr && packet->time < *when)
        {
            *when = packet->time;
            *held = false;
            first = input;
        }
        if (input->held_due < *when)
        {
            *when = input->held_due;
            *held = true;
            first = input;
        }
    }
    return first;
}

} // namespace

size_t ApplyInputsBefore(CycleInput* const* inputs, size_t count, const BufferSpan& span,
                         size_t limit)
{
    bigtime_t end = span.TimeAt(limit);
    bigtime_t next = B_INFINITE_TIMEOUT;
    bool held = false;
    for (CycleInput* input;
         (input = earliest(inputs, count, &next, &held)) != nullptr && next < end;)
    {
        // Late ones (kept from a buffer that could not apply them) take effect where the
        // render is now.
        bigtime_t at = std::max(next, span.start);
        if (!held)
        {
            const MidiQueue::Packet* packet = input->waiting.Front();
            if (!input->receiver->DeliverInCycle(packet->bytes, packet->length, at))
                return SIZE_MAX; // kept, in order, for the next buffer
            input->waiting.PopFront();
        }
        bigtime_t due = input->receiver->ApplyHeldInCycle(at);
        input->held_due = due <= at ? at + 1 : due;
    }
    if (next == B_INFINITE_TIMEOUT)
        return SIZE_MAX;
    return static_cast<size_t>(std::max(span.FrameOf(next), static_cast<bigtime_t>(limit)));
}

void HandBackToThread(CycleInput& input)
{
    for (const MidiQueue::Packet* packet; (packet = input.waiting.Front()) != nullptr;)
    {
        input.receiver->Arrived(packet->bytes, packet->length, packet->time);
        input.waiting.PopFront();
    }
    input.held_due = B_INFINITE_TIMEOUT;
    input.receiver->CycleDeliveryEnded();
}
