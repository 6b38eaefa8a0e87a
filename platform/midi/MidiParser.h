// Turns a stream of MIDI bytes into channel messages and whole system-exclusive ones: running
// status, several messages in one packet and messages split across packets are all taken apart;
// system common and real-time bytes are passed over without disturbing the message they
// interrupt. A system-exclusive message longer than SysexAssembler::kMaxLength, or cut by another
// status byte, is given up whole.
#pragma once

#include <cstddef>

#include "platform/midi/SysexAssembler.h"
#include "platform/support/SupportDefs.h"

class MidiParser
{
public:
    // Receives each complete channel message: its status byte and its data (data2 is 0 for the
    // one-byte messages, program change and channel pressure), with the time of the bytes
    // that completed it.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        virtual void ChannelMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                    bigtime_t time) = 0;
        // A whole system-exclusive message, F0 to F7.
        virtual void SystemExclusive(const uint8_t*, size_t, bigtime_t) {}
    };

    void Feed(const uint8_t* bytes, size_t count, bigtime_t time, Sink& sink);

private:
    uint8_t running_status_ = 0;
    uint8_t data_[2] = {};
    int have_ = 0;
    int skip_ = 0; // data bytes of a system common message still to pass over
    bool in_system_exclusive_ = false;
    uint8_t system_exclusive_[SysexAssembler::kMaxLength];
    size_t exclusive_length_ = 0;
};

// Whether one whole message is all-sound-off, reset-all-controllers or all-notes-off: the
// messages a full input queue must never drop, since they end what a flood left sounding.
bool SilencesAChannel(const uint8_t* bytes, size_t count);
