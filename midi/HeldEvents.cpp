#include "midi/HeldEvents.h"

#include <algorithm>

#include "engine/ControllerNumbers.h"

namespace
{

enum class Kind
{
    kNoteOff,         // held for the delay
    kNoteOn,          // waits only behind its own key
    kReleaseByNoteOn, // velocity 0: not delayed, but keeps its place behind its key
    kChannelMode,     // never waits: applies the channel's held events first
    kOther,           // waits behind everything held on its channel
};

Kind kind_of(const ChannelEvent& event)
{
    switch (event.status & 0xF0)
    {
    case 0x80:
        return Kind::kNoteOff;
    case 0x90:
        return event.data2 == 0 ? Kind::kReleaseByNoteOn : Kind::kNoteOn;
    case 0xB0:
        if (event.data1 == controller::kAllSoundOff ||
            event.data1 == controller::kResetAllControllers ||
            event.data1 == controller::kAllNotesOff)
            return Kind::kChannelMode;
        return Kind::kOther;
    default:
        return Kind::kOther;
    }
}

bool is_note(Kind kind)
{
    return kind == Kind::kNoteOff || kind == Kind::kNoteOn || kind == Kind::kReleaseByNoteOn;
}

constexpr bigtime_t kNever = -B_INFINITE_TIMEOUT;

} // namespace

HeldEvents::HeldEvents(Target& target, const MidiClock& clock) : target_(target), clock_(clock)
{
    for (Channel& channel : channels_)
        channel.note_on_applied.fill(kNever);
}

void HeldEvents::Arrive(const ChannelEvent& event, bigtime_t now)
{
    Channel& channel = channels_[event.status & 0x0F];
    ApplyDue(channel, now, false);
    Kind kind = kind_of(event);
    if (kind == Kind::kChannelMode)
    {
        ApplyDue(channel, now, true);
        ApplyNow(channel, event, now);
        return;
    }
    bool must_wait = kind == Kind::kNoteOff ||
                     (channel.waiting != 0 && (!is_note(kind) || channel.waiting_others != 0 ||
                                               channel.KeyWaits(event.data1)));
    if (must_wait)
        Hold(channel, event, now);
    else
        ApplyNow(channel, event, now);
}

bigtime_t HeldEvents::ApplyDue(bigtime_t now)
{
    bigtime_t next = B_INFINITE_TIMEOUT;
    for (Channel& channel : channels_)
        next = std::min(next, ApplyDue(channel, now, false));
    return next;
}

void HeldEvents::ApplyAll()
{
    ApplyAll(clock_.Now());
}

void HeldEvents::ApplyAll(bigtime_t now)
{
    for (Channel& channel : channels_)
        ApplyDue(channel, now, true);
}

void HeldEvents::Hold(Channel& channel, const ChannelEvent& event, bigtime_t now)
{
    // A full queue gives up its oldest event early rather than lose anything.
    while (channel.tail - channel.head == kCapacity)
    {
        Entry& oldest = channel.entries[channel.head % kCapacity];
        if (!oldest.applied)
            ApplyEntry(channel, oldest, now);
        channel.head++;
    }
    channel.entries[channel.tail % kCapacity] = {event, false, now};
    channel.tail++;
    channel.waiting++;
    if (is_note(kind_of(event)))
        channel.waiting_on_key[event.data1]++;
    else
        channel.waiting_others++;
}

void HeldEvents::ApplyEntry(Channel& channel, Entry& entry, bigtime_t now)
{
    entry.applied = true;
    channel.waiting--;
    if (is_note(kind_of(entry.event)))
        channel.waiting_on_key[entry.event.data1]--;
    else
        channel.waiting_others--;
    ApplyNow(channel, entry.event, now);
}

bigtime_t HeldEvents::ApplyDue(Channel& channel, bigtime_t now, bool everything)
{
    bigtime_t next = B_INFINITE_TIMEOUT;
    if (channel.waiting == 0)
        return next;
    // Keys with an event still held earlier in the queue, and whether anything is.
    std::array<bool, 128> key_held{};
    bool anything_held = false;
    for (size_t index = channel.head; index != channel.tail; index++)
    {
        Entry& entry = channel.entries[index % kCapacity];
        if (entry.applied)
            continue;
        Kind kind = kind_of(entry.event);
        if (!everything)
        {
            if (!is_note(kind) && anything_held)
                break; // it, and everything after it, waits
            uchar key = entry.event.data1;
            if (is_note(kind) && key_held[key])
            {
                anything_held = true;
                continue;
            }
            if (kind == Kind::kNoteOff)
            {
                bigtime_t due = std::max(entry.arrival, channel.note_on_applied[key]) + delay_;
                if (now < due)
                {
                    key_held[key] = true;
                    anything_held = true;
                    next = std::min(next, due);
                    continue;
                }
            }
        }
        ApplyEntry(channel, entry, now);
    }
    while (channel.head != channel.tail && channel.entries[channel.head % kCapacity].applied)
        channel.head++;
    return next;
}

void HeldEvents::ApplyNow(Channel& channel, const ChannelEvent& event, bigtime_t now)
{
    if (kind_of(event) == Kind::kNoteOn)
        channel.note_on_applied[event.data1] = now;
    target_.Apply(event);
}
