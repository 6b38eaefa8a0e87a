// Which notes of one input were let through and which were dropped, so that a note-off shares
// its note-on's fate: the note-off of a note-on that was dropped goes too (it has nothing to end),
// and the note-off of one that was let through always finds a place (else the note would sound
// for ever). One thread at a time (a queue's writer, or the render that reads it); real-time
// safe, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

class KeptNotes
{
public:
    enum class Kind
    {
        kNoteOn,
        kNoteOff,
        kSilencing, // all-sound-off, reset-all-controllers, all-notes-off
        kOther,
    };

    // The kind of one whole message.
    static Kind KindOf(const uint8_t* bytes, size_t count);

    // A message was let through: a note-on now sounds, a note-off (or all-notes-off,
    // all-sound-off) ends what sounded.
    void LetThrough(const uint8_t* bytes, size_t count);
    // A note-on was dropped: its note-off is to be dropped too.
    void Dropped(const uint8_t* bytes, size_t count);
    // Whether a note-off's note-on was dropped; it is then forgotten, as the note-off goes too.
    bool EndsADroppedNote(const uint8_t* bytes, size_t count);
    // Whether a note-off ends a note that was let through.
    bool EndsAKeptNote(const uint8_t* bytes, size_t count) const;
    // Notes let through whose note-off has not come yet.
    size_t Sounding() const { return sounding_; }

private:
    enum : uint8_t
    {
        kSilent,
        kSounding,
        kDroppedOn,
    };
    void Set(uint8_t channel, uint8_t key, uint8_t state);

    uint8_t state_[16][128] = {};
    size_t sounding_ = 0;
};
