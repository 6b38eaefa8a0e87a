// The engine's SoundFont stack: files are read into a silent second synth with no engine lock
// held, and move to the playing synth in one short step under it; a cleared font leaves the
// stack at once and is freed later, away from the audio thread, once no voice plays it.
#include <algorithm>

#include "engine/Harmoloom.h"

namespace
{

int FontId(int handle)
{
    return handle == -1 ? 0 : handle;
}

// Note ids count up from FluidSynth's start; compared this way they may wrap.
bool NotAfter(unsigned int note, unsigned int last_note)
{
    return static_cast<int>(note - last_note) <= 0;
}

// Frames a stolen voice may still render from its old sample: FluidSynth lets it finish its
// block and gives the sample back in the next render.
constexpr unsigned long long kStolenVoiceFrames = 2 * 64;
constexpr unsigned long long kNotYetClear = ~0ULL;

} // namespace

fluid_sfont_t* HARMOLOOM::PrepareSoundfont(const char* path)
{
    if (path == nullptr)
        return nullptr;
    double rate = 0;
    {
        RealtimeAutolock hold(lock);
        if (initialized == 0)
            return nullptr;
        rate = sample_rate_;
    }
    std::lock_guard<std::mutex> one_load(loading_lock_);
    if (loading_synth_ == nullptr)
    {
        loading_settings_ = NewSettings(rate);
        if (loading_settings_ != nullptr)
            loading_synth_ = hook_new_fluid_synth(loading_settings_);
        if (loading_synth_ == nullptr && loading_settings_ != nullptr)
        {
            hook_delete_fluid_settings(loading_settings_);
            loading_settings_ = nullptr;
        }
    }
    fluid_sfont_t* font = nullptr;
    if (loading_synth_ != nullptr)
    {
        // No preset reset: the loading synth plays nothing, and its channels never hold a
        // preset of the font, which then leaves it whole.
        int id = hook_fluid_synth_sfload(loading_synth_, path, 0);
        font = id >= 0 ? hook_fluid_synth_get_sfont_by_id(loading_synth_, id) : nullptr;
        if (font != nullptr)
            hook_fluid_synth_remove_sfont(loading_synth_, font);
    }
    return font;
}

int HARMOLOOM::JoinSoundfont(fluid_sfont_t* font, int bank_offset)
{
    if (font == nullptr)
        return 0;
    bank_offset = std::max(bank_offset, 0);
    {
        RealtimeAutolock hold(lock);
        if (initialized != 0)
        {
            int id = hook_fluid_synth_add_sfont(fluid_synth, font);
            if (id >= 0)
            {
                if (bank_offset != 0)
                {
                    hook_fluid_synth_set_bank_offset(fluid_synth, id, bank_offset);
                    ResolvePresets();
                }
                return id == 0 ? -1 : id;
            }
        }
    }
    DiscardSoundfont(font);
    return 0;
}

void HARMOLOOM::DiscardSoundfont(fluid_sfont_t* font)
{
    if (font == nullptr)
        return;
    std::lock_guard<std::mutex> one_load(loading_lock_);
    FreeFont(font);
}

int HARMOLOOM::LoadSoundfont(const char* path, int bank_offset)
{
    return JoinSoundfont(PrepareSoundfont(path), bank_offset);
}

void HARMOLOOM::FreeFont(fluid_sfont_t* font)
{
    // Unloading is the library's one way to free a font it loaded; it unloads from its stack.
    int id = loading_synth_ != nullptr ? hook_fluid_synth_add_sfont(loading_synth_, font) : -1;
    if (id >= 0)
        hook_fluid_synth_sfunload(loading_synth_, id, 0);
}

void HARMOLOOM::ClearSoundfont(int handle)
{
    if (handle == 0)
        return;
    WhenReady(
        [&]
        {
            fluid_sfont_t* font = hook_fluid_synth_get_sfont_by_id(fluid_synth, FontId(handle));
            if (font == nullptr)
                return;
            hook_fluid_synth_remove_sfont(fluid_synth, font);
            ClearedFont cleared = {font, false, 0, kNotYetClear};
            unsigned int first_note = 0;
            cleared.voices = SoundingNotes(&first_note, &cleared.last_note);
            cleared_.push_back(cleared);
        });
}

void HARMOLOOM::OffsetSoundfont(int handle, int bank_offset)
{
    if (handle == 0 || bank_offset < 0)
        return;
    WhenReady(
        [&]
        {
            hook_fluid_synth_set_bank_offset(fluid_synth, FontId(handle), bank_offset);
            ResolvePresets();
        });
}

void HARMOLOOM::ResolvePresets()
{
    hook_fluid_synth_program_reset(fluid_synth);
}

bool HARMOLOOM::SoundingNotes(unsigned int* first_note, unsigned int* last_note)
{
    bool any = false;
    ForEachVoice(
        [&](fluid_voice_t* voice)
        {
            unsigned int note = hook_fluid_voice_get_id(voice);
            if (!any || NotAfter(note, *first_note))
                *first_note = note;
            if (!any || NotAfter(*last_note, note))
                *last_note = note;
            any = true;
        });
    return any;
}

bool HARMOLOOM::FreeClearedSoundfonts()
{
    std::vector<fluid_sfont_t*> unused;
    unused.reserve(kClearedRoom);
    bool waiting = false;
    {
        RealtimeAutolock hold(lock);
        if (cleared_.empty())
            return false;
        // A font's voices all started by its last note: some still sounds while the oldest
        // sounding voice is not later.
        unsigned int first_note = 0;
        unsigned int last_note = 0;
        bool any_voice = SoundingNotes(&first_note, &last_note);
        for (ClearedFont& cleared : cleared_)
        {
            if (cleared.voices && any_voice && NotAfter(first_note, cleared.last_note))
                cleared.clear_since = kNotYetClear;
            else if (cleared.clear_since == kNotYetClear)
                cleared.clear_since = frames_rendered_;
        }
        std::erase_if(cleared_,
                      [&](const ClearedFont& cleared)
                      {
                          bool done = cleared.clear_since != kNotYetClear &&
                                      frames_rendered_ - cleared.clear_since >= kStolenVoiceFrames;
                          if (done)
                              unused.push_back(cleared.font);
                          return done;
                      });
        waiting = !cleared_.empty();
    }
    // Freed outside the engine lock: a large font's memory takes milliseconds to give back.
    std::lock_guard<std::mutex> one_load(loading_lock_);
    for (fluid_sfont_t* font : unused)
        FreeFont(font);
    return waiting;
}
