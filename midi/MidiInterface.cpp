#include "midi/MidiInterface.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/AudioSetup.h"
#include "app/Debug.h"
#include "app/ExitNow.h"
#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "engine/ControllerNumbers.h"
#include "engine/Harmoloom.h"
#include "platform/interface/Alert.h"
#include "platform/support/Threads.h"

MIDIINTERFACE* midiinterface_a = nullptr;
MIDIINTERFACE* midiinterface_b = nullptr;
BMidiPort* midiport_a = nullptr;
BMidiPort* midiport_b = nullptr;
int IgnoreBankChanges = 1;
int IgnoreDrumChanges = 0;

namespace
{

using namespace controller;

uchar limit(uchar value)
{
    return std::min<uchar>(value, 127);
}

void trace_connection(const char* line)
{
    DEBUG_PRINT(line);
}

// A port made without a name; null when it could not be made (the trace says why, and so does
// *why, for the alert).
BMidiPort* make_port(std::string* why)
{
    auto* port = new BMidiPort();
    if (port->InitCheck() != B_OK)
    {
        *why = port->FailureReason();
        DEBUG_PRINT(("MIDI input could not be opened: " + *why).c_str());
        delete port;
        return nullptr;
    }
    return port;
}

} // namespace

MIDIINTERFACE::MIDIINTERFACE(int offset, const MidiClock& clock)
    : channel_offset(offset), held(*this, clock)
{
}

bigtime_t NoteOffDelay()
{
    int rate = current_sample_rate;
    int frames = CurrentPeriod();
    if (rate <= 0 || frames <= 0)
    {
        rate = SampleRateForIndex(settings[setting::sample_rate_index]);
        frames = FramesPerBuffer(settings[setting::timing_index], rate);
    }
    return static_cast<bigtime_t>(1000000.0 * frames / rate + 1200);
}

// The handlers do not wait for the event's time: each event arrives at its time (with JACK, at
// its frame), and only note-offs are held back, in HeldEvents (see Route).
void MIDIINTERFACE::NoteOn(uchar channel, uchar note, uchar velocity, uint32)
{
    Route(0x90, channel, limit(note), limit(velocity));
}

void MIDIINTERFACE::NoteOff(uchar channel, uchar note, uchar, uint32)
{
    Route(0x80, channel, limit(note), 0);
}

void MIDIINTERFACE::ProgramChange(uchar channel, uchar program, uint32)
{
    if ((IgnoreDrumChanges != 0 && IsPercussionChannel(EngineChannel(channel))) ||
        IsLocked(channel))
        return;
    Route(0xC0, channel, program, 0);
}

void MIDIINTERFACE::PitchBend(uchar channel, uchar lsb, uchar msb, uint32)
{
    Route(0xE0, channel, static_cast<uchar>(lsb & 127), static_cast<uchar>(msb & 127));
}

void MIDIINTERFACE::SystemExclusive(const uint8_t* data, size_t length, uint32)
{
    held.ApplyAll(EventTime());
    Synth->SystemExclusive(channel_offset, data, length);
}

void MIDIINTERFACE::ControlChange(uchar channel, uchar controller, uchar value, uint32)
{
    switch (controller)
    {
    case kAllSoundOff:
    case kResetAllControllers:
    case kAllNotesOff:
        if (value != 0)
            return;
        break;
    case kBankSelectLow:
        if (IsLocked(channel))
            return;
        break;
    case kBankSelect:
        if (IsLocked(channel) || IgnoreBankChanges >= 2 ||
            (IgnoreBankChanges != 0 && IsPercussionChannel(EngineChannel(channel))))
            return;
        break;
    case kNonRegisteredLow:
    case kNonRegisteredHigh:
        return;
    default:
        break;
    }
    Route(0xB0, channel, controller, value);
}

bool MIDIINTERFACE::IsLocked(uchar channel) const
{
    int engine_channel = EngineChannel(channel);
    return IsEngineChannel(engine_channel) && Synth->locked[engine_channel].load();
}

void MIDIINTERFACE::Route(uchar status, uchar channel, uchar data1, uchar data2)
{
    // A channel outside 1..16 reaches no engine channel of this port.
    if (channel < 1 || channel > 16)
        return;
    held.SetDelay(NoteOffDelay());
    held.Arrive({static_cast<uchar>(status | (channel - 1)), data1, data2}, EventTime());
}

bigtime_t MIDIINTERFACE::ApplyHeldEvents(bigtime_t now)
{
    return held.ApplyDue(now);
}

void MIDIINTERFACE::ApplyAllHeldEvents()
{
    held.ApplyAll();
}

void MIDIINTERFACE::Apply(const ChannelEvent& event)
{
    int engine_channel = EngineChannel(static_cast<uchar>((event.status & 0x0F) + 1));
    switch (event.status & 0xF0)
    {
    case 0x80:
        Synth->NoteOff(engine_channel, event.data1);
        break;
    case 0x90:
        Synth->NoteOn(engine_channel, event.data1, event.data2);
        break;
    case 0xC0:
        Synth->ProgramChange(engine_channel, event.data1);
        break;
    case 0xE0:
        Synth->PitchBend(engine_channel, event.data2 * 128 + event.data1);
        break;
    case 0xB0:
        if (event.data1 == kAllSoundOff)
            Synth->AllSoundOff(engine_channel);
        else if (event.data1 == kResetAllControllers)
            Synth->ResetAllControllers(engine_channel);
        else if (event.data1 == kAllNotesOff)
            Synth->AllNotesOff(engine_channel);
        else
            Synth->ControlChange(engine_channel, event.data1, event.data2);
        break;
    default:
        break;
    }
}

// Both ports are opened before their interfaces are made: an interface times its held events
// on its port's clock.
void StartMidiInterface(int two_ports)
{
    if (midiinterface_a != nullptr || midiinterface_b != nullptr)
        return;
    BMidiPort** ports[] = {&midiport_a, &midiport_b};
    MIDIINTERFACE** interfaces[] = {&midiinterface_a, &midiinterface_b};
    int count = two_ports != 0 ? 2 : 1;
    BMidiPort::SetConnectionTrace(trace_connection);
    std::string why;
    for (int index = 0; index < count; index++)
    {
        *ports[index] = make_port(&why);
        if (*ports[index] == nullptr)
        {
            while (index-- > 0)
            {
                delete *ports[index];
                *ports[index] = nullptr;
            }
            MidiError(why.c_str());
        }
    }
    for (int index = 0; index < count; index++)
    {
        *interfaces[index] = new MIDIINTERFACE(16 * index, (*ports[index])->Clock());
        (*ports[index])->Connect(*interfaces[index]);
    }
    for (int index = 0; index < count; index++)
        (*ports[index])->Start();
    for (int index = 0; index < count; index++)
        (*interfaces[index])->Start();
}

void StopMidiInterface()
{
    uint64 dropped = 0;
    for (BMidiPort* port : {midiport_a, midiport_b})
    {
        if (port != nullptr)
            dropped += port->DroppedMessages();
    }
    if (midiport_a != nullptr)
        DEBUG_PRINT("MIDI messages dropped: %d",
                    static_cast<int>(std::min<uint64>(dropped, INT32_MAX)));
    // The second port first, each interface before its port.
    for (auto [port, interface] :
         {std::pair(&midiport_b, &midiinterface_b), std::pair(&midiport_a, &midiinterface_a)})
    {
        if (*interface != nullptr)
        {
            if (*port != nullptr)
                (*port)->Disconnect(*interface);
            (*interface)->ApplyAllHeldEvents();
            delete *interface;
        }
        delete *port;
        *interface = nullptr;
        *port = nullptr;
    }
}

void MidiError(const char* cause)
{
    std::string text = "Sorry, an unexpected error occurred when trying to initialize the MIDI "
                       "input. Please try again, perhaps after restarting the system.";
    std::string line = FailureCause(cause);
    if (!line.empty())
        text += "\n" + line;
    (new BAlert("failed", text.c_str(), "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
        ->Go();
    ExitNow(1);
}
