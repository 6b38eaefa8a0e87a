// The note-off delay without stalls. A note-off takes effect one delay (an audio buffer period
// plus a little) after it arrived, and never sooner than one delay after its own note-on was
// applied, so that a note whose on and off come together still sounds. The delay holds back only
// what must keep its order behind the note-off, channel by channel:
//
// - a note-on of another key passes the channel's held note-offs;
// - a note-on (of any velocity) of a key with a held event waits behind it;
// - a controller, program change or pitch bend waits behind every held event of its channel,
//   and every later event of that channel waits behind it, in order;
// - all-sound-off, reset-all-controllers and all-notes-off never wait: they first apply
//   everything held on their channel, in order, then themselves.
//
// Times are on one clock, the delivering port's, fixed when the queue is made (microseconds, or
// frames of the JACK timeline). Not thread-safe: one thread at a time (the port's delivering
// thread, or the render that delivers for it). No allocation after construction; real-time safe.
#pragma once

#include <array>
#include <cstddef>

#include "platform/midi/MidiClock.h"
#include "platform/support/SupportDefs.h"

// One channel message: status (kind and channel 0..15) and its data bytes.
struct ChannelEvent
{
    uchar status;
    uchar data1;
    uchar data2;
};

class HeldEvents
{
public:
    // Receives the events when they take effect.
    class Target
    {
    public:
        virtual void Apply(const ChannelEvent& event) = 0;

    protected:
        ~Target() = default;
    };

    HeldEvents(Target& target, const MidiClock& clock);

    // The delay for note-offs from now on, given in microseconds.
    void SetDelay(bigtime_t microseconds) { delay_ = clock_.DurationOf(microseconds); }

    // An event arrives at now (on the clock): applied at once, or held.
    void Arrive(const ChannelEvent& event, bigtime_t now);

    // Applies what has fallen due by now; returns when the next held event falls due, or
    // B_INFINITE_TIMEOUT when nothing is held.
    bigtime_t ApplyDue(bigtime_t now);

    // Applies everything held at once, in order: the input is stopping (now on the clock), or a
    // message for every channel comes at now.
    void ApplyAll();
    void ApplyAll(bigtime_t now);

private:
    // Enough for a very dense channel within one delay; when a channel's queue is full its
    // oldest event is applied early rather than lost.
    static constexpr size_t kCapacity = 256;

    struct Entry
    {
        ChannelEvent event;
        bool applied;
        bigtime_t arrival;
    };

    struct Channel
    {
        std::array<Entry, kCapacity> entries;
        size_t head = 0; // oldest entry not yet removed
        size_t tail = 0; // one past the newest
        size_t waiting = 0;
        size_t waiting_others = 0; // held controllers, programs, bends
        std::array<uint16, 128> waiting_on_key{};
        std::array<bigtime_t, 128> note_on_applied; // B_INFINITE_TIMEOUT negated: never

        bool KeyWaits(uchar key) const { return waiting_on_key[key] != 0; }
    };

    void Hold(Channel& channel, const ChannelEvent& event, bigtime_t now);
    void ApplyEntry(Channel& channel, Entry& entry, bigtime_t now);
    bigtime_t ApplyDue(Channel& channel, bigtime_t now, bool everything);
    void ApplyNow(Channel& channel, const ChannelEvent& event, bigtime_t now);

    Target& target_;
    const MidiClock& clock_;
    bigtime_t delay_ = 0; // on the clock
    std::array<Channel, 16> channels_;
};
