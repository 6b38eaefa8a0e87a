#include "platform/midi/KeptNotes.h"

#include "platform/midi/MidiParser.h"

KeptNotes::Kind KeptNotes::KindOf(const uint8_t* bytes, size_t count)
{
    if (count < 3)
        return Kind::kOther;
    if ((bytes[0] & 0xF0) == 0x90 && bytes[2] != 0)
        return Kind::kNoteOn;
    if ((bytes[0] & 0xF0) == 0x80 || (bytes[0] & 0xF0) == 0x90)
        return Kind::kNoteOff;
    return SilencesAChannel(bytes, count) ? Kind::kSilencing : Kind::kOther;
}

void KeptNotes::Set(uint8_t channel, uint8_t key, uint8_t state)
{
    uint8_t& now = state_[channel & 0x0F][key & 0x7F];
    sounding_ += (state == kSounding) - (now == kSounding);
    now = state;
}

void KeptNotes::LetThrough(const uint8_t* bytes, size_t count)
{
    switch (KindOf(bytes, count))
    {
    case Kind::kNoteOn:
        Set(bytes[0], bytes[1], kSounding);
        break;
    case Kind::kNoteOff:
        Set(bytes[0], bytes[1], kSilent);
        break;
    case Kind::kSilencing:
        // Reset-all-controllers lifts the sustain pedal but ends no note.
        if (bytes[1] != 121)
        {
            for (uint8_t key = 0; key < 128; key++)
                Set(bytes[0], key, kSilent);
        }
        break;
    case Kind::kOther:
        break;
    }
}

void KeptNotes::Dropped(const uint8_t* bytes, size_t count)
{
    if (KindOf(bytes, count) == Kind::kNoteOn)
        Set(bytes[0], bytes[1], kDroppedOn);
}

bool KeptNotes::EndsADroppedNote(const uint8_t* bytes, size_t count)
{
    if (KindOf(bytes, count) != Kind::kNoteOff ||
        state_[bytes[0] & 0x0F][bytes[1] & 0x7F] != kDroppedOn)
        return false;
    Set(bytes[0], bytes[1], kSilent);
    return true;
}

bool KeptNotes::EndsAKeptNote(const uint8_t* bytes, size_t count) const
{
    return KindOf(bytes, count) == Kind::kNoteOff &&
           state_[bytes[0] & 0x0F][bytes[1] & 0x7F] == kSounding;
}
