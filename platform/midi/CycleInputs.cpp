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

// Hands the input's oldest message to its port at at, unless it is a late note-on or the
// note-off of one; false when the port cannot take it now.
bool deliver(CycleInput& input, const BufferSpan& span, bigtime_t at)
{
    const MidiQueue::Packet* packet = input.waiting.Front();
    bool late = packet->time + span.length < span.start &&
                KeptNotes::KindOf(packet->bytes, packet->length) == KeptNotes::Kind::kNoteOn;
    if (late || input.delivered.EndsADroppedNote(packet->bytes, packet->length))
    {
        input.delivered.Dropped(packet->bytes, packet->length);
        input.dropped_late++;
    }
    else if (input.receiver->DeliverInCycle(packet->bytes, packet->length, at))
    {
        input.delivered.LetThrough(packet->bytes, packet->length);
    }
    else
    {
        return false;
    }
    input.waiting.PopFront();
    return true;
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
        if (!held && !deliver(*input, span, at))
            return SIZE_MAX; // kept, in order, for the next buffer
        bigtime_t due = input->receiver->ApplyHeldInCycle(at);
        input->held_due = due <= at ? at + 1 : due;
    }
    if (next == B_INFINITE_TIMEOUT)
        return SIZE_MAX;
    return static_cast<size_t>(std::max(span.FrameOf(next), static_cast<bigtime_t>(limit)));
}

void TakeMessage(CycleInput& input, const uint8_t* bytes, size_t count, bigtime_t time,
                 bool in_render)
{
    input.sysex.Take(bytes, count,
                     [&](const uint8_t* whole, size_t length)
                     {
                         if (!in_render)
                             input.receiver->Arrived(whole, length, time);
                         else if (whole[0] == 0xF0 || (length <= 3 && whole[0] < 0xF0))
                             input.waiting.Push(whole, length, time);
                     });
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
