// The system-exclusive messages the engine answers. FluidSynth applies the GM, GS and XG resets
// and the MIDI Tuning Standard; the engine then puts its own per-channel state where a reset
// leaves it, and makes GS parts drum parts, which FluidSynth does not.
#include <cstring>

#include "engine/Harmoloom.h"

namespace
{

constexpr uint8_t kNonRealtime = 0x7E;
constexpr uint8_t kRealtime = 0x7F;
constexpr uint8_t kRoland = 0x41;
constexpr uint8_t kYamaha = 0x43;
constexpr int kMelodic = 0;
constexpr int kDrums = 1;
constexpr int kDrumBank = 128;

// Device 0x10 (the first of a GS or XG module, ours) or every device.
bool addresses_us(uint8_t device)
{
    return device == 0x10 || device == 0x7F;
}

bool starts_with(const uint8_t* data, size_t length, const uint8_t* prefix, size_t count)
{
    return length >= count && std::memcmp(data, prefix, count) == 0;
}

// The bytes between F0 and F7.
bool is_reset(const uint8_t* data, size_t length)
{
    static constexpr uint8_t kGsReset[] = {0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};
    static constexpr uint8_t kXgOn[] = {0x4C, 0x00, 0x00, 0x7E, 0x00};
    if (length < 4 || !addresses_us(data[1]))
        return false;
    if (data[0] == kNonRealtime)
        return length == 4 && data[2] == 0x09 && (data[3] == 0x01 || data[3] == 0x02);
    if (data[0] == kRoland)
        return length == 2 + sizeof(kGsReset) &&
               starts_with(data + 2, length - 2, kGsReset, sizeof(kGsReset));
    return data[0] == kYamaha && length == 2 + sizeof(kXgOn) &&
           starts_with(data + 2, length - 2, kXgOn, sizeof(kXgOn));
}

bool is_tuning(const uint8_t* data, size_t length)
{
    return length >= 4 && (data[0] == kNonRealtime || data[0] == kRealtime) &&
           addresses_us(data[1]) && data[2] == 0x08;
}

// The MIDI channel (0..15) a GS "use for rhythm part" sets, with whether it makes it drums; -1
// for any other message, or one whose checksum is wrong.
int rhythm_part_of(const uint8_t* data, size_t length, bool* drums)
{
    if (length != 9 || data[0] != kRoland || !addresses_us(data[1]) || data[2] != 0x42 ||
        data[3] != 0x12 || data[4] != 0x40 || (data[5] & 0xF0) != 0x10 || data[6] != 0x15 ||
        data[7] > 2 || (data[4] + data[5] + data[6] + data[7] + data[8]) % 128 != 0)
        return -1;
    *drums = data[7] != 0;
    // Block 0 is part 10; blocks 1 to 9 parts 1 to 9, the rest parts 11 to 16.
    int block = data[5] & 0x0F;
    return block == 0 ? 9 : block <= 9 ? block - 1 : block;
}

} // namespace

void HARMOLOOM::SystemExclusive(int first_channel, const uint8_t* message, size_t length)
{
    if (length < 3 || message[0] != 0xF0 || message[length - 1] != 0xF7)
        return;
    const uint8_t* data = message + 1;
    size_t count = length - 2;
    bool drums = false;
    int channel = rhythm_part_of(data, count, &drums);
    WhenReady(
        [&]
        {
            if (is_reset(data, count))
                ResetByExclusive(data, static_cast<int>(count));
            else if (is_tuning(data, count) && hook_fluid_synth_sysex != nullptr)
                hook_fluid_synth_sysex(fluid_synth, reinterpret_cast<const char*>(data),
                                       static_cast<int>(count), nullptr, nullptr, nullptr, 0);
            else if (channel >= 0 && IsEngineChannel(first_channel + channel))
                SetRhythmPart(first_channel + channel, drums);
        });
}

void HARMOLOOM::ResetByExclusive(const uint8_t* data, int length)
{
    // A locked channel keeps its bank and program through the reset.
    int kept_bank[ENGINE_CHANNELS] = {}, kept_program[ENGINE_CHANNELS] = {};
    bool keep[ENGINE_CHANNELS] = {};
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
    {
        int font_id = 0;
        keep[channel] =
            locked[channel] && hook_fluid_synth_get_program != nullptr &&
            hook_fluid_synth_bank_select != nullptr &&
            hook_fluid_synth_get_program(fluid_synth, channel, &font_id, &kept_bank[channel],
                                         &kept_program[channel]) == 0;
        if (rhythm_part[channel])
            SetRhythmPart(channel, false);
    }
    if (hook_fluid_synth_sysex != nullptr)
        hook_fluid_synth_sysex(fluid_synth, reinterpret_cast<const char*>(data), length, nullptr,
                               nullptr, nullptr, 0);
    ResetChannels();
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
    {
        ForgetParameters(channel);
        if (!keep[channel])
            continue;
        hook_fluid_synth_bank_select(fluid_synth, channel, kept_bank[channel]);
        hook_fluid_synth_program_change(fluid_synth, channel, kept_program[channel]);
    }
}

// A part of a GS module plays its drum set from the set's program; here the drum bank's.
void HARMOLOOM::SetRhythmPart(int channel, bool drums)
{
    if (hook_fluid_synth_set_channel_type == nullptr || hook_fluid_synth_bank_select == nullptr)
        return;
    rhythm_part[channel] = drums;
    hook_fluid_synth_set_channel_type(fluid_synth, channel, drums ? kDrums : kMelodic);
    hook_fluid_synth_bank_select(fluid_synth, channel, drums ? kDrumBank : 0);
    hook_fluid_synth_program_change(fluid_synth, channel, 0);
}

// With FluidSynth's fine-tune generator missing, each channel's fine tuning is a tuning program
// of its own (SendFineTune), which this would undo.
void HARMOLOOM::FollowDefaultTuning()
{
    if (hook_fluid_synth_set_gen == nullptr)
        return;
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
        hook_fluid_synth_select_tuning(fluid_synth, channel, 0, 0);
}
