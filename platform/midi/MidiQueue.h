// The bounded queue in front of a MIDI input's consumer, the same for every input: messages wait
// in it, with their time on the input's clock, for the thread that applies them (the port's
// thread, or with JACK MIDI the render of a later cycle). One writer and one reader, no lock;
// real-time safe, no allocation after construction.
//
// It holds more than a second of 10,000 messages a second. Past that, whole messages are dropped
// and counted, never a part of one, and note-ons first: the last places are kept for the
// messages that silence a channel, so that a flood can never lose the one that ends it, and for
// the note-off of every note-on let in, so that no note is left sounding; the note-off of a
// note-on that was dropped goes with it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>

#include "platform/midi/KeptNotes.h"
#include "platform/support/SupportDefs.h"

class MidiQueue
{
public:
    // A message, or a piece of a longer one (a system exclusive message is cut into packets).
    struct Packet
    {
        bigtime_t time;
        uint8_t length;
        uint8_t bytes[55];
    };

    static constexpr size_t kCapacity = 16384;
    static constexpr size_t kKeptForSilencing = 256;

    // Writer. Queues the whole message at time, or drops it whole; false when dropped.
    bool Push(const uint8_t* bytes, size_t count, bigtime_t time)
    {
        size_t packets = (count + sizeof(Packet::bytes) - 1) / sizeof(Packet::bytes);
        size_t head = head_.load(std::memory_order_relaxed);
        size_t used = head - tail_.load(std::memory_order_acquire);
        if (packets == 0 || used + packets > Room(bytes, count) ||
            notes_.EndsADroppedNote(bytes, count))
        {
            notes_.Dropped(bytes, count);
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        notes_.LetThrough(bytes, count);
        for (size_t offset = 0; offset < count; offset += sizeof(Packet::bytes))
        {
            Packet& packet = packets_[head++ % kCapacity];
            packet.time = time;
            packet.length = static_cast<uint8_t>(std::min(count - offset, sizeof(packet.bytes)));
            std::memcpy(packet.bytes, bytes + offset, packet.length);
        }
        head_.store(head, std::memory_order_release);
        return true;
    }

    // Reader. The oldest packet, left in place, or null when none waits.
    const Packet* Front() const
    {
        size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire))
            return nullptr;
        return &packets_[tail % kCapacity];
    }

    // Reader. Removes the oldest packet (there must be one).
    void PopFront()
    {
        tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Reader, while the writer writes nothing: forgets everything waiting.
    void Clear() { tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release); }

    // Messages dropped since the queue was made. Any thread.
    uint64 Dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    // The places a message may fill: the channel-silencing ones all, a note-off of a note let in
    // all but the silencing reserve, the rest what leaves every note let in its note-off.
    size_t Room(const uint8_t* bytes, size_t count) const
    {
        KeptNotes::Kind kind = KeptNotes::KindOf(bytes, count);
        if (kind == KeptNotes::Kind::kSilencing)
            return kCapacity;
        if (notes_.EndsAKeptNote(bytes, count))
            return kCapacity - kKeptForSilencing;
        size_t for_note_offs = notes_.Sounding() + (kind == KeptNotes::Kind::kNoteOn ? 1 : 0);
        return kCapacity - kKeptForSilencing - for_note_offs;
    }

    KeptNotes notes_; // the writer's
    std::unique_ptr<Packet[]> packets_ = std::make_unique<Packet[]>(kCapacity);
    std::atomic<size_t> head_{0};
    std::atomic<size_t> tail_{0};
    std::atomic<uint64> dropped_{0};
};
