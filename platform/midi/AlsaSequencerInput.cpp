// A MIDI port on the ALSA sequencer: one input port of the process's one sequencer client
// (AlsaSequencerClient.h), whose messages are stamped in microseconds of system_time() and
// applied inside the render at their place while an output renders (StampedInput.h), else by
// the port's thread as they come.
#include "platform/midi/AlsaSequencerClient.h"
#include "platform/midi/MidiInputBackend.h"

namespace
{

class AlsaSequencerInput final : public MidiInputBackend
{
public:
    AlsaSequencerInput(int index, MidiReceiver* receiver) : index_(index), stamped_(receiver) {}

    bool Open(const char* name, std::string* why)
    {
        if (!alsa_client::Acquire(why))
            return false;
        acquired_ = true;
        added_ = alsa_client::AddPort(index_, name, &stamped_, why);
        return added_;
    }

    ~AlsaSequencerInput() override
    {
        if (added_)
            alsa_client::RemovePort(index_);
        if (acquired_)
            alsa_client::Release();
    }

    const MidiClock& Clock() const override { return SystemMidiClock(); }

    // What the kernel lost is the client's, counted once, with the first port.
    uint64 Dropped() const override
    {
        return stamped_.Dropped() + (index_ == 0 ? alsa_client::LostEvents() : 0);
    }

    void Started() override { alsa_client::Start(); }

private:
    const int index_;
    StampedInput stamped_;
    bool acquired_ = false;
    bool added_ = false;
};

} // namespace

std::unique_ptr<MidiInputBackend> OpenAlsaSequencerInput(const char* name, int index,
                                                         MidiReceiver* receiver, std::string* why)
{
    auto input = std::make_unique<AlsaSequencerInput>(index, receiver);
    if (!input->Open(name, why))
        return nullptr;
    return input;
}
