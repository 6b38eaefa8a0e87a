// A MIDI port on JACK: a MIDI input of the process's one JACK client, read in its process
// cycle and timed in frames of the client's timeline. While the sound renders on the same
// client, each event waits in the input's queue for its frame and is applied inside the render
// (ApplyCycleMidiBefore), so that it keeps its place within the buffer; otherwise it goes to the
// port's own thread as it arrives, still timed in frames.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/media/JackClient.h"
#include "platform/midi/CycleMidi.h"
#include "platform/midi/KeptNotes.h"
#include "platform/midi/MidiInputBackend.h"
#include "platform/midi/MidiQueue.h"
#include "platform/support/AutoConnect.h"
#include "platform/support/Threads.h"

namespace
{

class FrameClock final : public MidiClock
{
public:
    bigtime_t Now() const override { return jack_client::FrameNow(); }

    bigtime_t DurationOf(bigtime_t microseconds) const override
    {
        return (microseconds * jack_client::Rate() + 500000) / 1000000;
    }

    bigtime_t SystemTimeAt(bigtime_t when) const override
    {
        int rate = jack_client::Rate();
        bigtime_t ahead = rate > 0 ? (when - Now()) * 1000000 / rate : 0;
        return system_time() + ahead;
    }
};

const FrameClock frame_clock;

class JackMidiInput final : public MidiInputBackend
{
public:
    JackMidiInput(int client_port, MidiReceiver* to) : port(client_port), receiver(to) {}
    ~JackMidiInput() override;

    const MidiClock& Clock() const override { return frame_clock; }
    uint64 Dropped() const override { return waiting.Dropped() + dropped_late; }

    const int port; // of the client
    MidiReceiver* const receiver;
    // Process thread only: what was read while rendering, waiting for its frame, and when the
    // consumer's next held-back event falls due.
    MidiQueue waiting;
    bigtime_t held_due = B_INFINITE_TIMEOUT;
    KeptNotes delivered;
    std::atomic<uint64> dropped_late{0};
};

// The inputs the process cycle reads: the first and second port.
class CycleMidi final : public jack_client::CycleReader
{
public:
    static constexpr int kInputs = 2;
    std::atomic<JackMidiInput*> inputs[kInputs] = {};

    void CycleStarts(jack_nframes_t frames, bigtime_t first_frame, bool rendering) override;
    void CycleEnds() override { in_render_ = false; }
    size_t ApplyBefore(size_t limit);

private:
    void Read(JackMidiInput& input, jack_nframes_t frames, bool rendering);
    // Hands the input's oldest waiting event to its port at frame, unless it is a note-on more
    // than a period late (the engine was busy) or the note-off of one; false when the port
    // cannot take it now.
    bool Deliver(JackMidiInput& input, bigtime_t at);
    // The input whose event or held-back event comes first, and when; null when none waits.
    JackMidiInput* Earliest(bigtime_t* when, bool* held) const;

    // Process thread only.
    bool in_render_ = false;
    bool rendered_before_ = false;
    bigtime_t buffer_start_ = 0;
    bigtime_t period_ = 0;
};

CycleMidi cycle_midi;

JackMidiInput::~JackMidiInput()
{
    for (auto& slot : cycle_midi.inputs)
    {
        JackMidiInput* self = this;
        slot.compare_exchange_strong(self, nullptr);
    }
    jack_client::UnregisterPort(port); // once the process cycle no longer reads this input
    jack_client::Release();
}

void CycleMidi::CycleStarts(jack_nframes_t frames, bigtime_t first_frame, bool rendering)
{
    buffer_start_ = first_frame;
    period_ = frames;
    for (auto& slot : inputs)
    {
        JackMidiInput* input = slot.load(std::memory_order_acquire);
        if (input != nullptr)
            Read(*input, frames, rendering);
    }
    rendered_before_ = rendering;
    in_render_ = rendering;
}

void CycleMidi::Read(JackMidiInput& input, jack_nframes_t frames, bool rendering)
{
    if (!rendering && rendered_before_)
    {
        // The render that was to apply these is gone: they go to the port's thread, in order.
        for (const MidiQueue::Packet* packet; (packet = input.waiting.Front()) != nullptr;)
        {
            input.receiver->Arrived(packet->bytes, packet->length, packet->time);
            input.waiting.PopFront();
        }
        input.held_due = B_INFINITE_TIMEOUT;
        input.receiver->CycleDeliveryEnded();
    }
    void* buffer = jack_client::PortBuffer(input.port, frames);
    if (buffer == nullptr)
        return;
    jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t index = 0; index < count; index++)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, index) != 0 || event.size == 0)
            continue;
        bigtime_t frame = buffer_start_ + event.time;
        if (!rendering)
            input.receiver->Arrived(event.buffer, event.size, frame);
        // System messages (exclusive, clock, sensing) play nothing: they are not kept.
        else if (event.size <= 3 && event.buffer[0] < 0xF0)
            input.waiting.Push(event.buffer, event.size, frame);
    }
}

JackMidiInput* CycleMidi::Earliest(bigtime_t* when, bool* held) const
{
    JackMidiInput* earliest = nullptr;
    *when = B_INFINITE_TIMEOUT;
    for (const auto& slot : inputs)
    {
        JackMidiInput* input = slot.load(std::memory_order_acquire);
        if (input == nullptr)
            continue;
        const MidiQueue::Packet* packet = input->waiting.Front();
        if (packet != nullptr && packet->time < *when)
        {
            *when = packet->time;
            *held = false;
            earliest = input;
        }
        if (input->held_due < *when)
        {
            *when = input->held_due;
            *held = true;
            earliest = input;
        }
    }
    return earliest;
}

bool CycleMidi::Deliver(JackMidiInput& input, bigtime_t at)
{
    const MidiQueue::Packet* packet = input.waiting.Front();
    // After a wait for the engine, a late note would sound out of its time, all at once with
    // the others: it is better not heard. Everything else keeps its order.
    bool late = packet->time + period_ < buffer_start_ &&
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

size_t CycleMidi::ApplyBefore(size_t limit)
{
    if (!in_render_)
        return SIZE_MAX;
    bigtime_t end = buffer_start_ + static_cast<bigtime_t>(limit);
    bigtime_t next = B_INFINITE_TIMEOUT;
    bool held = false;
    for (JackMidiInput* input; (input = Earliest(&next, &held)) != nullptr && next < end;)
    {
        // Late ones (kept from a buffer that could not apply them) take effect where the
        // render is now.
        bigtime_t at = std::max(next, buffer_start_);
        if (!held && !Deliver(*input, at))
            return SIZE_MAX; // kept, in order, for the next buffer
        bigtime_t due = input->receiver->ApplyHeldInCycle(at);
        input->held_due = due <= at ? at + 1 : due;
    }
    if (next == B_INFINITE_TIMEOUT)
        return SIZE_MAX;
    return static_cast<size_t>(std::max(next - buffer_start_, static_cast<bigtime_t>(limit)));
}

} // namespace

size_t ApplyCycleMidiBefore(size_t limit)
{
    return cycle_midi.ApplyBefore(limit);
}

std::unique_ptr<MidiInputBackend> OpenJackMidiInput(const char* name, int index,
                                                    MidiReceiver* receiver)
{
    std::string why;
    if (!jack_client::Acquire(&why))
        return nullptr;
    int port = jack_client::RegisterPort(name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (port < 0)
    {
        jack_client::Release();
        return nullptr;
    }
    auto input = std::make_unique<JackMidiInput>(port, receiver);
    jack_client::SetCycleReader(&cycle_midi);
    for (auto& slot : cycle_midi.inputs)
    {
        JackMidiInput* free = nullptr;
        if (!slot.compare_exchange_strong(free, input.get()))
            continue;
        if (AutoConnect())
            jack_client::ConnectPhysical(port, static_cast<size_t>(index));
        return input;
    }
    return nullptr; // both inputs taken: the destructor gives the port and the client back
}
