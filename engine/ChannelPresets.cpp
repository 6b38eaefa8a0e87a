// What the Channels page reads of the engine (each channel's bank, program and preset, the
// stack's presets, which channels sound) and the preset it chooses for a channel.
#include <cstdio>

#include "engine/Harmoloom.h"

namespace
{

bool can_list()
{
    return hook_fluid_synth_sfcount != nullptr && hook_fluid_synth_get_sfont != nullptr &&
           hook_fluid_sfont_iteration_start != nullptr &&
           hook_fluid_sfont_iteration_next != nullptr && hook_fluid_sfont_get_id != nullptr &&
           hook_fluid_preset_get_name != nullptr && hook_fluid_preset_get_banknum != nullptr &&
           hook_fluid_preset_get_num != nullptr && hook_fluid_synth_get_bank_offset != nullptr &&
           hook_fluid_preset_get_sfont != nullptr;
}

void copy_name(fluid_preset_t* preset, char (&name)[64])
{
    const char* text = hook_fluid_preset_get_name(preset);
    std::snprintf(name, sizeof(name), "%s", text != nullptr ? text : "");
}

} // namespace

bool HARMOLOOM::ChannelPresetOf(int channel, ChannelPreset* shown)
{
    *shown = ChannelPreset{};
    if (!IsEngineChannel(channel) || hook_fluid_synth_get_program == nullptr ||
        hook_fluid_synth_get_channel_preset == nullptr || !can_list())
        return false;
    bool known = false;
    WhenReady(
        [&]
        {
            int font_id = -1;
            known = hook_fluid_synth_get_program(fluid_synth, channel, &font_id, &shown->bank,
                                                 &shown->program) == 0;
            fluid_preset_t* preset = hook_fluid_synth_get_channel_preset(fluid_synth, channel);
            fluid_sfont_t* font = preset != nullptr ? hook_fluid_preset_get_sfont(preset) : nullptr;
            if (!known || font == nullptr)
                return;
            copy_name(preset, shown->name);
            font_id = hook_fluid_sfont_get_id(font);
            shown->font_id = font_id;
            shown->answer_bank = hook_fluid_preset_get_banknum(preset) +
                                 hook_fluid_synth_get_bank_offset(fluid_synth, font_id);
            shown->answer_program = hook_fluid_preset_get_num(preset);
        });
    return known;
}

std::vector<HARMOLOOM::ChannelPreset> HARMOLOOM::ListPresets()
{
    std::vector<ChannelPreset> presets;
    if (!can_list())
        return presets;
    WhenReady(
        [&]
        {
            int count = hook_fluid_synth_sfcount(fluid_synth);
            for (int index = 0; index < count; index++)
            {
                fluid_sfont_t* font =
                    hook_fluid_synth_get_sfont(fluid_synth, static_cast<unsigned>(index));
                if (font == nullptr)
                    continue;
                int id = hook_fluid_sfont_get_id(font);
                int offset = hook_fluid_synth_get_bank_offset(fluid_synth, id);
                hook_fluid_sfont_iteration_start(font);
                while (fluid_preset_t* preset = hook_fluid_sfont_iteration_next(font))
                {
                    ChannelPreset listed;
                    listed.font_id = id;
                    listed.bank = listed.answer_bank =
                        hook_fluid_preset_get_banknum(preset) + offset;
                    listed.program = listed.answer_program = hook_fluid_preset_get_num(preset);
                    copy_name(preset, listed.name);
                    presets.push_back(listed);
                }
            }
        });
    return presets;
}

void HARMOLOOM::SelectPreset(int channel, int bank, int program)
{
    if (!IsEngineChannel(channel) || hook_fluid_synth_bank_select == nullptr || bank < 0 ||
        program < 0 || program > 127)
        return;
    WhenReady(
        [&]
        {
            hook_fluid_synth_bank_select(fluid_synth, channel, bank);
            hook_fluid_synth_program_change(fluid_synth, channel, program);
        });
}

// One pass over the sounding voices.
void HARMOLOOM::NoteActivity()
{
    if (initialized == 0 || hook_fluid_voice_get_channel == nullptr)
        return;
    uint32_t channels = 0;
    ForEachVoice(
        [&](fluid_voice_t* voice)
        {
            int channel = hook_fluid_voice_get_channel(voice);
            if (IsEngineChannel(channel))
                channels |= 1u << channel;
        });
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
        sounding[channel].store((channels >> channel & 1u) != 0, std::memory_order_relaxed);
}
