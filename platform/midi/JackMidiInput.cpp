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
#include "platform/midi/CycleInputs.h"
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
    JackMidiInput(int client_port, MidiReceiver* to) : port(client_port), cycle(to) {}
    ~JackMidiInput() override;

    const MidiClock& Clock() const override { return frame_clock; }
    uint64 Dropped() const override { return cycle.Dropped(); }

    const int port; // of the client
    // Process thread only: what was read while rendering, waiting for its frame, and when the
    // consumer's next held-back event falls due.
    CycleInput cycle;
    // Set on the server's notification thread when the last connection to the port goes: the
    // process thread releases what its senders left sounding.
    std::atomic<bool> source_left{false};
};

// The inputs the process cycle reads: the first and second port.
class CycleMidi final : public jack_client::CycleReader
{
public:
    static constexpr int kInputs = InputSlots<JackMidiInput>::kCount;
    InputSlots<JackMidiInput> inputs;

    void CycleStarts(jack_nframes_t frames, bigtime_t first_frame, bool rendering) override;
    void CycleEnds() override { in_render_.store(false, std::memory_order_relaxed); }
    size_t ApplyBefore(size_t limit);

private:
    void Read(JackMidiInput& input, jack_nframes_t frames, bool rendering);

    // Written by the process thread; read also by another output's audio thread, which finds it
    // false.
    std::atomic<bool> in_render_{false};
    // Process thread only.
    bool rendered_before_ = false;
    bigtime_t buffer_start_ = 0;
    bigtime_t period_ = 0;
};

CycleMidi cycle_midi;

JackMidiInput::~JackMidiInput()
{
    cycle_midi.inputs.Release(this);
    jack_client::UnregisterPort(port); // once the process cycle no longer reads this input
    jack_client::Release();
}

void CycleMidi::CycleStarts(jack_nframes_t frames, bigtime_t first_frame, bool rendering)
{
    buffer_start_ = first_frame;
    period_ = frames;
    for (int index = 0; index < kInputs; index++)
    {
        if (JackMidiInput* input = inputs.At(index))
            Read(*input, frames, rendering);
    }
    rendered_before_ = rendering;
    in_render_.store(rendering, std::memory_order_relaxed);
}

void CycleMidi::Read(JackMidiInput& input, jack_nframes_t frames, bool rendering)
{
    if (!rendering && rendered_before_)
        HandBackToThread(input.cycle);
    if (input.source_left.exchange(false))
        SendReleaseOfEveryChannel(
            [&](const uint8_t(&message)[3])
            { TakeMessage(input.cycle, message, sizeof(message), buffer_start_, rendering); });
    void* buffer = jack_client::PortBuffer(input.port, frames);
    if (buffer == nullptr)
        return;
    jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t index = 0; index < count; index++)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, index) != 0 || event.size == 0)
            continue;
        TakeMessage(input.cycle, event.buffer, event.size, buffer_start_ + event.time, rendering);
    }
}

size_t CycleMidi::ApplyBefore(size_t limit)
{
    if (!in_render_.load(std::memory_order_relaxed))
        return SIZE_MAX;
    CycleInput* cycles[kInputs] = {};
    for (int index = 0; index < kInputs; index++)
    {
        JackMidiInput* input = inputs.At(index);
        cycles[index] = input != nullptr ? &input->cycle : nullptr;
    }
    return ApplyInputsBefore(cycles, kInputs, {buffer_start_, 1, 1, period_}, limit);
}

// The server's notification thread: a connection to one of our inputs made or removed.
void port_connection(int port, int connections)
{
    for (int index = 0; index < CycleMidi::kInputs; index++)
    {
        JackMidiInput* input = cycle_midi.inputs.At(index);
        if (input != nullptr && input->port == port && connections == 0)
            input->source_left = true;
    }
}

} // namespace

size_t ApplyJackCycleMidiBefore(size_t limit)
{
    return cycle_midi.ApplyBefore(limit);
}

std::unique_ptr<MidiInputBackend> OpenJackMidiInput(const char* name, int index,
                                                    MidiReceiver* receiver, std::string* why)
{
    if (!jack_client::Acquire(why))
        return nullptr;
    int port = jack_client::RegisterPort(name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (port < 0)
    {
        *why += "jack: the MIDI port could not be registered; ";
        jack_client::Release();
        return nullptr;
    }
    auto input = std::make_unique<JackMidiInput>(port, receiver);
    jack_client::SetCycleReader(&cycle_midi);
    jack_client::SetPortConnectionWatcher(port_connection);
    if (!cycle_midi.inputs.Claim(input.get()))
    {
        *why += "jack: no room for a third MIDI input; ";
        return nullptr; // the destructor gives the port and the client back
    }
    if (AutoConnect())
        jack_client::ConnectPhysical(port, static_cast<size_t>(index));
    return input;
}
