#include "midi/MidiInterface.h"

#include <algorithm>
#include <cstdlib>

#include "app/ExitNow.h"
#include "app/AudioSetup.h"
#include "app/Settings.h"
#include "engine/Harmoloom.h"
#include "platform/Alert.h"
#include "platform/Threads.h"

MIDIINTERFACE* midiinterface_a = nullptr;
MIDIINTERFACE* midiinterface_b = nullptr;
BMidiPort* midiport_a = nullptr;
BMidiPort* midiport_b = nullptr;
int IgnoreBankChanges = 1;
int IgnoreDrumChanges = 0;

namespace
{

constexpr uchar kPercussionChannel = 10;
constexpr uchar kBankSelect = 0;
constexpr uchar kAllSoundOff = 120;
constexpr uchar kResetAllControllers = 121;
constexpr uchar kAllNotesOff = 123;
constexpr uchar kNonRegisteredLow = 98;
constexpr uchar kNonRegisteredHigh = 99;

int limit(uchar value)
{
    return std::min<int>(value, 127);
}

// A port made without a name; null when it could not be made.
BMidiPort* make_port()
{
    auto* port = new BMidiPort();
    if (port->InitCheck() != B_OK)
    {
        delete port;
        return nullptr;
    }
    return port;
}

} // namespace

MIDIINTERFACE::MIDIINTERFACE(int offset) : channel_offset(offset) {}

bigtime_t NoteOffDelay()
{
    int rate = SampleRateForIndex(settings[setting::sample_rate_index]);
    int frames = FramesPerBuffer(settings[setting::timing_index], rate);
    return static_cast<bigtime_t>(1000000.0 * frames / rate + 1200);
}

void MIDIINTERFACE::NoteOn(uchar channel, uchar note, uchar velocity, uint32 time)
{
    SnoozeUntil(time);
    Synth->NoteOn(EngineChannel(channel), limit(note), limit(velocity));
}

void MIDIINTERFACE::NoteOff(uchar channel, uchar note, uchar, uint32 time)
{
    snooze(NoteOffDelay());
    SnoozeUntil(time);
    Synth->NoteOff(EngineChannel(channel), limit(note));
}

void MIDIINTERFACE::ProgramChange(uchar channel, uchar program, uint32 time)
{
    SnoozeUntil(time);
    if (IgnoreDrumChanges != 0 && channel == kPercussionChannel)
        return;
    Synth->ProgramChange(EngineChannel(channel), program);
}

void MIDIINTERFACE::PitchBend(uchar channel, uchar lsb, uchar msb, uint32 time)
{
    SnoozeUntil(time);
    Synth->PitchBend(EngineChannel(channel), (msb & 127) * 128 + (lsb & 127));
}

void MIDIINTERFACE::ControlChange(uchar channel, uchar controller, uchar value, uint32 time)
{
    SnoozeUntil(time);
    int engine_channel = EngineChannel(channel);
    switch (controller)
    {
    case kAllSoundOff:
        if (value == 0)
            Synth->AllSoundOff(engine_channel);
        return;
    case kResetAllControllers:
        if (value == 0)
            Synth->ResetAllControllers(engine_channel);
        return;
    case kAllNotesOff:
        if (value == 0)
            Synth->AllNotesOff(engine_channel);
        return;
    case kBankSelect:
        if (IgnoreBankChanges >= 2 || (IgnoreBankChanges != 0 && channel == kPercussionChannel))
            return;
        break;
    case kNonRegisteredLow:
    case kNonRegisteredHigh:
        return;
    default:
        break;
    }
    Synth->ControlChange(engine_channel, controller, value);
}

void StartMidiInterface(int two_ports)
{
    if (midiinterface_a != nullptr || midiinterface_b != nullptr)
        return;
    midiinterface_a = new MIDIINTERFACE(0);
    if (two_ports != 0)
    {
        midiinterface_b = new MIDIINTERFACE(16);
        midiport_a = make_port();
        if (midiport_a == nullptr)
        {
            delete midiinterface_b;
            delete midiinterface_a;
            MidiError();
        }
        midiport_b = make_port();
        if (midiport_b == nullptr)
        {
            delete midiport_a;
            delete midiinterface_b;
            delete midiinterface_a;
            MidiError();
        }
        midiport_a->Connect(midiinterface_a);
        midiport_b->Connect(midiinterface_b);
        midiport_a->Start();
        midiport_b->Start();
        midiinterface_a->Start();
        midiinterface_b->Start();
        return;
    }
    midiport_a = make_port();
    if (midiport_a == nullptr)
    {
        delete midiinterface_a;
        MidiError();
    }
    midiport_a->Connect(midiinterface_a);
    midiport_a->Start();
    midiinterface_a->Start();
}

void StopMidiInterface()
{
    if (midiinterface_b != nullptr)
    {
        if (midiport_b != nullptr)
            midiport_b->Disconnect(midiinterface_b);
        delete midiinterface_b;
    }
    delete midiport_b;
    if (midiinterface_a != nullptr)
    {
        if (midiport_a != nullptr)
            midiport_a->Disconnect(midiinterface_a);
        delete midiinterface_a;
    }
    delete midiport_a;
    midiinterface_a = nullptr;
    midiinterface_b = nullptr;
    midiport_a = nullptr;
    midiport_b = nullptr;
}

void MidiError()
{
    (new BAlert("failed",
                "Sorry, an unexpected error occured when trying to initialize the MIDI input. "
                "Please try again, perhaps after restarting the system.",
                "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
        ->Go();
    ExitNow(1);
}
