// A MIDI port on the ALSA sequencer, through RtMidi: a virtual input port of the sequencer that
// other software connects to, and the first (or second) hardware source connected to it, with
// the watch for ones plugged in later, unless HARMOLOOM_AUTOCONNECT=0. Events arrive on
// RtMidi's own thread and are timed on system_time().
#include <rtmidi/RtMidi.h>

#include <string>
#include <vector>

#include "platform/midi/AlsaHardwareSources.h"
#include "platform/midi/AlsaHotplug.h"
#include "platform/midi/MidiInputBackend.h"
#include "platform/support/AutoConnect.h"
#include "platform/support/Threads.h"

namespace
{

void arrived_from_library(double, std::vector<unsigned char>* message, void* data)
{
    static_cast<MidiReceiver*>(data)->Arrived(message->data(), message->size(), system_time());
}

class AlsaSequencerInput final : public MidiInputBackend
{
public:
    AlsaSequencerInput(std::unique_ptr<RtMidiIn> midi, const char* name, int index)
        : midi_(std::move(midi)), name_(name)
    {
        if (!AutoConnect())
            return;
        connect_hardware_source(index, name);
        watch_hardware_sources(name);
        watching_ = true;
    }

    ~AlsaSequencerInput() override
    {
        if (watching_)
            unwatch_hardware_sources(name_.c_str());
        // Closing the port ends RtMidi's thread; only then is the callback surely not running.
        try
        {
            midi_->closePort();
            midi_->cancelCallback();
        }
        catch (const RtMidiError&)
        {
        }
    }

    const MidiClock& Clock() const override { return SystemMidiClock(); }

private:
    std::unique_ptr<RtMidiIn> midi_;
    std::string name_;
    bool watching_ = false;
};

} // namespace

std::unique_ptr<MidiInputBackend> OpenAlsaSequencerInput(const char* name, int index,
                                                         MidiReceiver* receiver)
{
    if (!alsa_sequencer_available())
        return nullptr;
    try
    {
        auto midi = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Harmoloom");
        if (midi->getCurrentApi() != RtMidi::LINUX_ALSA)
            return nullptr;
        midi->ignoreTypes(true, true, true);
        midi->setCallback(arrived_from_library, receiver);
        midi->openVirtualPort(name);
        return std::make_unique<AlsaSequencerInput>(std::move(midi), name, index);
    }
    catch (const RtMidiError&)
    {
        return nullptr;
    }
}
