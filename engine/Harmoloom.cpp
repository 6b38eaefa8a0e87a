#include "engine/Harmoloom.h"

#include <algorithm>
#include <cstring>

namespace
{

// Written so that a rate that is not a number is refused as well.
bool IsEngineRate(double sample_rate)
{
    return sample_rate >= 22049.8 && sample_rate <= 96000.2;
}

} // namespace

HARMOLOOM::HARMOLOOM(double sample_rate)
    : initialized(0), fluid_settings(nullptr), fluid_synth(nullptr), rev_size(0.7),
      rev_damping(1.3), rev_width(1.0), rev_level(0.7), cho_voices(6), cho_freq(3.0),
      cho_depth(1.0), cho_level(0.7)
{
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
        ForgetParameters(channel);

    // Room for every voice FluidSynth may have, and for the fonts a busy set clears, so that
    // clearing a font does not allocate under the lock (only more waiting fonts than that do).
    voice_list_.resize(4096);
    cleared_.reserve(kClearedRoom);

    RealtimeAutolock hold(lock);
    if (!IsEngineRate(sample_rate))
        return;
    fluid_settings = NewSettings(sample_rate);
    if (fluid_settings == nullptr)
        return;
    sample_rate_ = sample_rate;
    fluid_synth = hook_new_fluid_synth(fluid_settings);
    if (fluid_synth == nullptr)
    {
        hook_delete_fluid_settings(fluid_settings);
        fluid_settings = nullptr;
        return;
    }
    ResetChannels();
    initialized = 1;
    ApplyReverb();
    ApplyChorus();
    hook_fluid_synth_set_polyphony(fluid_synth, 64);
    hook_fluid_synth_set_interp_method(fluid_synth, -1, 4);
    hook_fluid_synth_set_gain(fluid_synth, 0.2f);
    RenderBlockAhead();
}

fluid_settings_t* HARMOLOOM::NewSettings(double sample_rate)
{
    fluid_settings_t* settings = hook_new_fluid_settings();
    if (settings == nullptr)
        return nullptr;
    hook_fluid_settings_setnum(settings, "synth.sample-rate", sample_rate);
    hook_fluid_settings_setint(settings, "synth.midi-channels", ENGINE_CHANNELS);
    // Every FluidSynth call is made under one of the engine's locks, so FluidSynth's own API
    // mutex would only be a second lock, and one the audio thread would then take and wait on.
    hook_fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    // The device id system-exclusive messages address, besides "every device" (0x7F).
    hook_fluid_settings_setint(settings, "synth.device-id", 0x10);
    return settings;
}

HARMOLOOM::~HARMOLOOM()
{
    std::lock_guard<std::mutex> no_load(loading_lock_);
    RealtimeAutolock hold(lock);
    if (initialized == 1)
    {
        initialized = 0;
        // The playing synth first: deleting it ends its voices, which frees the samples of the
        // cleared fonts, and the fonts it holds still need the loading synth's loader.
        hook_delete_fluid_synth(fluid_synth);
        hook_delete_fluid_settings(fluid_settings);
        fluid_synth = nullptr;
        fluid_settings = nullptr;
    }
    for (const ClearedFont& cleared : cleared_)
        FreeFont(cleared.font);
    cleared_.clear();
    if (loading_synth_ != nullptr)
    {
        hook_delete_fluid_synth(loading_synth_);
        hook_delete_fluid_settings(loading_settings_);
    }
}

int HARMOLOOM::InitCheck()
{
    RealtimeAutolock hold(lock);
    return initialized == 1 ? 0 : -1;
}

void HARMOLOOM::ResetChannels()
{
    hook_fluid_synth_system_reset(fluid_synth);
    for (int channel = 0; channel < ENGINE_CHANNELS; channel++)
    {
        // The system reset took every channel's tuning and sensitivity back to FluidSynth's own.
        sent_fine_tune[channel] = 0.0;
        sent_bend_range[channel] = 2;
        if (IsPercussionChannel(channel))
            continue;
        hook_fluid_synth_cc(fluid_synth, channel, 0, 0);
        hook_fluid_synth_cc(fluid_synth, channel, 32, 0);
        hook_fluid_synth_program_change(fluid_synth, channel, 0);
        ForgetParameters(channel);
    }
    FollowDefaultTuning();
}

void HARMOLOOM::ForgetParameters(int channel)
{
    rpn_msb[channel] = -1;
    rpn_lsb[channel] = -1;
    bend_range[channel] = 2;
    fine_tune_msb[channel] = 64;
    fine_tune_lsb[channel] = 0;
    coarse_tune[channel] = 64;
}

void HARMOLOOM::SystemReset()
{
    WhenReady([&] { ResetChannels(); });
}

void HARMOLOOM::NoteOn(int channel, int key, int velocity)
{
    if (!IsEngineChannel(channel))
        return;
    key = std::clamp(key, 0, 127);
    velocity = std::clamp(velocity, 0, 127);
    WhenReady(
        [&]
        {
            if (velocity == 0)
                hook_fluid_synth_noteoff(fluid_synth, channel, key);
            else
                hook_fluid_synth_noteon(fluid_synth, channel, key, velocity);
        });
}

void HARMOLOOM::NoteOff(int channel, int key)
{
    if (!IsEngineChannel(channel))
        return;
    key = std::clamp(key, 0, 127);
    WhenReady([&] { hook_fluid_synth_noteoff(fluid_synth, channel, key); });
}

void HARMOLOOM::ProgramChange(int channel, int program)
{
    if (!IsEngineChannel(channel) || program < 0 || program > 127)
        return;
    WhenReady([&] { hook_fluid_synth_program_change(fluid_synth, channel, program); });
}

void HARMOLOOM::PitchBend(int channel, int value)
{
    if (!IsEngineChannel(channel))
        return;
    value = std::clamp(value, 0, 16383);
    WhenReady([&] { hook_fluid_synth_pitch_bend(fluid_synth, channel, value); });
}

void HARMOLOOM::SetGain(float gain)
{
    WhenReady([&] { hook_fluid_synth_set_gain(fluid_synth, gain); });
}

void HARMOLOOM::SetInterp(int quality)
{
    int method;
    switch (quality)
    {
    case 0:
        method = 0;
        break;
    case 1:
        method = 1;
        break;
    case 3:
        method = 7;
        break;
    default:
        method = 4;
        break;
    }
    WhenReady([&] { hook_fluid_synth_set_interp_method(fluid_synth, -1, method); });
}

void HARMOLOOM::SetPoly(int voices)
{
    voices = std::clamp(voices, 1, 4096);
    WhenReady(
        [&]
        {
            hook_fluid_synth_set_polyphony(fluid_synth, voices);
            RenderBlockAhead();
        });
}

void HARMOLOOM::RenderBlockAhead()
{
    if (carried_frames_ == kCarried)
    {
        carried_from_ = (carried_from_ + kBlock) % kCarried;
        carried_frames_ -= kBlock;
    }
    float* block = carried_ + 2 * ((carried_from_ + carried_frames_) % kCarried);
    hook_fluid_synth_write_float(fluid_synth, static_cast<int>(kBlock), block, 0, 2, block, 1, 2);
    carried_frames_ += kBlock;
}

// At return level 0 an effect is switched off, not computed and then silenced: FluidSynth
// renders a reverb or chorus at level 0 at its full cost.
void HARMOLOOM::ApplyReverb()
{
    bool on = rev_level != 0.0;
    if (on != reverb_on)
        hook_fluid_synth_reverb_on(fluid_synth, -1, on ? 1 : 0);
    reverb_on = on;
    hook_fluid_synth_set_reverb(fluid_synth, rev_size, rev_damping, rev_width, rev_level);
}

void HARMOLOOM::ApplyChorus()
{
    bool on = cho_level != 0.0;
    if (on != chorus_on)
        hook_fluid_synth_chorus_on(fluid_synth, -1, on ? 1 : 0);
    chorus_on = on;
    hook_fluid_synth_set_chorus(fluid_synth, cho_voices, cho_level, cho_freq, cho_depth, 0);
}

// The effect setters leave FluidSynth alone when nothing changes, so a slider that reports the
// same position again costs nothing.
#define EFFECT_SETTER(Name, Type, field, apply)                                                    \
    void HARMOLOOM::Name(Type value)                                                               \
    {                                                                                              \
        RealtimeAutolock hold(lock);                                                               \
        if (initialized == 0 || value == field)                                                    \
            return;                                                                                \
        field = value;                                                                             \
        apply();                                                                                   \
    }

EFFECT_SETTER(SetReverbSize, double, rev_size, ApplyReverb)
EFFECT_SETTER(SetReverbDamping, double, rev_damping, ApplyReverb)
EFFECT_SETTER(SetReverbWidth, double, rev_width, ApplyReverb)
EFFECT_SETTER(SetReverbLevel, double, rev_level, ApplyReverb)
EFFECT_SETTER(SetChorusVoices, int, cho_voices, ApplyChorus)
EFFECT_SETTER(SetChorusFreq, double, cho_freq, ApplyChorus)
EFFECT_SETTER(SetChorusDepth, double, cho_depth, ApplyChorus)
EFFECT_SETTER(SetChorusLevel, double, cho_level, ApplyChorus)

#undef EFFECT_SETTER

void HARMOLOOM::MakeBuffer(float* buffer, unsigned long frames)
{
    if (frames == 0 || buffer == nullptr)
        return;
    RealtimeAutolock hold(lock);
    RenderHeld(buffer, frames);
}

bool HARMOLOOM::RenderWithin(float* buffer, unsigned long frames, bigtime_t patience,
                             NextStop next_stop, void* cookie)
{
    if (frames == 0 || buffer == nullptr)
        return false;
    if (lock.TryLockFor(patience) != B_OK)
    {
        std::memset(buffer, 0, frames * 2 * sizeof(float));
        return false;
    }
    for (unsigned long reached = 0; reached < frames;)
    {
        unsigned long end = next_stop(cookie, reached, frames);
        if (end <= reached || end > frames)
            end = frames;
        RenderHeld(buffer + 2 * reached, end - reached);
        reached = end;
    }
    NoteActivity();
    lock.Unlock();
    return true;
}

void HARMOLOOM::RenderHeld(float* buffer, unsigned long frames)
{
    if (initialized == 0)
    {
        std::memset(buffer, 0, frames * 2 * sizeof(float));
        return;
    }
    while (frames > 0 && carried_frames_ > 0)
    {
        unsigned long taken = std::min({frames, carried_frames_, kCarried - carried_from_});
        std::memcpy(buffer, carried_ + 2 * carried_from_, taken * 2 * sizeof(float));
        carried_from_ = (carried_from_ + taken) % kCarried;
        carried_frames_ -= taken;
        buffer += 2 * taken;
        frames -= taken;
    }
    if (frames > 0)
        hook_fluid_synth_write_float(fluid_synth, static_cast<int>(frames), buffer, 0, 2, buffer, 1,
                                     2);
    frames_rendered_ += frames;
}

void HARMOLOOM::SetSampleRate(double sample_rate)
{
    if (!IsEngineRate(sample_rate) || hook_fluid_synth_set_sample_rate == nullptr)
        return;
    WhenReady(
        [&]
        {
            hook_fluid_settings_setnum(fluid_settings, "synth.sample-rate", sample_rate);
            hook_fluid_synth_set_sample_rate(fluid_synth, static_cast<float>(sample_rate));
            sample_rate_ = sample_rate;
        });
}
