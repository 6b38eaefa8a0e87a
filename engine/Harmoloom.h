// HARMOLOOM, the program's one synthesizer: a FluidSynth synthesizer with 32 channels, the
// effect parameters and the per-channel registered-parameter state FluidSynth is not asked to
// keep, all under one recursive lock.
//
// Every operation takes the lock for its whole length and does nothing (renders silence) while
// the engine is not initialised. Any thread may call any operation. The note, controller and
// render operations are fit for the audio and MIDI threads: short, no allocation. A SoundFont is
// read into a second, silent synth without the lock, and joins the playing one in a short step
// under it, so that the music plays on while a file loads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FluidBinding.h"
#include "platform/support/RealtimeLock.h"

constexpr int ENGINE_CHANNELS = 32;

class HARMOLOOM
{
public:
    // Check the result with InitCheck: a rate outside 22049.8..96000.2 Hz or a FluidSynth failure
    // leaves the engine unusable.
    explicit HARMOLOOM(double sample_rate);
    ~HARMOLOOM();

    HARMOLOOM(const HARMOLOOM&) = delete;
    HARMOLOOM& operator=(const HARMOLOOM&) = delete;

    int InitCheck(); // 0 when usable, -1 when not

    // Font handles: 0 is no font (a failed load), -1 stands for FluidSynth font id 0, any other
    // value is the FluidSynth font id. A load, an unload and a new bank offset leave every
    // channel its bank and program selection (resolved again against the new stack), its
    // controllers and its tuning, and sounding notes go on; only SystemReset resets the channels.
    //
    // PrepareSoundfont reads a file into the loading synth, holding nothing the audio thread
    // needs: seconds for a large file; null when it does not load. Loads are made one at a time
    // (a second caller waits for the first). The font then belongs to the caller until it hands
    // it to JoinSoundfont, which puts it on top of the stack with its bank offset and returns its
    // handle, or to DiscardSoundfont. Not on the audio thread.
    fluid_sfont_t* PrepareSoundfont(const char* path);
    int JoinSoundfont(fluid_sfont_t* font, int bank_offset);
    void DiscardSoundfont(fluid_sfont_t* font);
    // Prepare and join in one call.
    int LoadSoundfont(const char* path, int bank_offset);
    // Takes the font off the stack at once; its memory is freed by FreeClearedSoundfonts once no
    // voice that may play its samples sounds.
    void ClearSoundfont(int handle);
    void OffsetSoundfont(int handle, int bank_offset);
    // Frees the cleared fonts no voice uses any more. True while some wait. Not on the audio
    // thread; the loader thread calls it between loads.
    bool FreeClearedSoundfonts();
    void SystemReset();

    // Engine channels 0..31; others are ignored, keys, velocities and bends are clamped.
    void NoteOn(int channel, int key, int velocity);
    void NoteOff(int channel, int key);
    void ProgramChange(int channel, int program);
    void PitchBend(int channel, int value);

    // Controllers, registered parameters and channel-mode messages.
    void ControlChange(int channel, int controller, int value);
    void ResetAllControllers(int channel);
    void AllSoundOff(int channel);
    void AllNotesOff(int channel);

    // A whole system-exclusive message, F0 to F7, from the port whose channels begin at engine
    // channel first_channel (0 or 16): the GM, GS and XG resets and the MIDI Tuning Standard's
    // tunings, through FluidSynth, and a GS part made a drum part. Others are ignored. Not on the
    // audio thread: a tuning allocates.
    void SystemExclusive(int first_channel, const uint8_t* message, size_t length);

    // What the Channels page shows and does. A channel's bank and program, and the preset that
    // answers them: its font, the bank (with the font's offset) and program that select it, and
    // its name (font_id -1: none answers); false when the engine cannot say. A listed preset
    // has the bank and program that select it in both pairs.
    struct ChannelPreset
    {
        int font_id = -1;
        int bank = 0;
        int program = 0;
        int answer_bank = -1;
        int answer_program = -1;
        char name[64] = {};
    };
    bool ChannelPresetOf(int channel, ChannelPreset* shown);
    // Every preset of the stack, font by font from the top, each at the bank that selects it
    // (the font's bank offset added). Not on the audio thread.
    std::vector<ChannelPreset> ListPresets();
    // The bank select and program change, as if received.
    void SelectPreset(int channel, int bank, int program);

    // Whether a channel has sounding voices: NoteActivity writes them after each render of the
    // output's (lock held, on the audio thread; no allocation).
    std::atomic<bool> sounding[ENGINE_CHANNELS] = {};
    void NoteActivity();
    // Locked channels ignore incoming bank selects and program changes (the MIDI input asks).
    std::atomic<bool> locked[ENGINE_CHANNELS] = {};

    // The output now runs at another rate (a new audio server): the synth follows it with the
    // same fonts, settings and channel state; sounding voices end. Not on the audio thread.
    void SetSampleRate(double sample_rate);

    void SetGain(float gain);
    void SetInterp(int quality); // 0 none, 1 linear, 3 seventh order, anything else fourth
    // Limited to 1..4096. Not on the audio thread: FluidSynth reallocates its voice lists for a
    // new polyphony in the render that follows, and that render is done here (see RenderHeld).
    void SetPoly(int voices);
    void SetReverbSize(double value);
    void SetReverbDamping(double value);
    void SetReverbWidth(double value);
    void SetReverbLevel(double value);
    void SetChorusVoices(int value);
    void SetChorusFreq(double value);
    void SetChorusDepth(double value);
    void SetChorusLevel(double value);

    // Renders frames of interleaved stereo (left at even indexes) into buffer, which holds
    // 2 x frames floats. Audio thread; one lock, one FluidSynth call, no allocation.
    void MakeBuffer(float* buffer, unsigned long frames);

    // MakeBuffer for the audio output's callback, which must never stall: it only tries the lock,
    // spinning (no sleep, no system call) while another thread holds it for a moment; when the
    // engine cannot be had within patience microseconds (a SoundFont load holds it for
    // seconds), the buffer is silence and the result false. It renders in pieces, for events that
    // take effect within the buffer: before each piece, with the lock held, next_stop is given the
    // frame reached; it applies what falls there and returns the frame the piece ends at (frames,
    // or anything not past reached: the rest).
    typedef unsigned long (*NextStop)(void* cookie, unsigned long reached, unsigned long frames);
    bool RenderWithin(float* buffer, unsigned long frames, bigtime_t patience, NextStop next_stop,
                      void* cookie);

    // The state below is guarded by lock; read it only while holding it.
    int initialized;
    fluid_settings_t* fluid_settings;
    fluid_synth_t* fluid_synth;
    int rpn_msb[ENGINE_CHANNELS];
    int rpn_lsb[ENGINE_CHANNELS];
    int bend_range[ENGINE_CHANNELS];
    int fine_tune_msb[ENGINE_CHANNELS];
    int fine_tune_lsb[ENGINE_CHANNELS];
    int coarse_tune[ENGINE_CHANNELS];
    double rev_size;
    double rev_damping;
    double rev_width;
    double rev_level;
    int cho_voices;
    double cho_freq;
    double cho_depth;
    double cho_level;
    // What FluidSynth holds of the registered parameters, so that data entry sends only a
    // change: the channel's fine tuning in cents and its pitch-wheel sensitivity.
    double sent_fine_tune[ENGINE_CHANNELS] = {};
    int sent_bend_range[ENGINE_CHANNELS] = {};
    // Channels a GS "use for rhythm part" made drum channels.
    bool rhythm_part[ENGINE_CHANNELS] = {};
    bool reverb_on = true; // FluidSynth starts with both effects on
    bool chorus_on = true;
    // The audio thread only ever tries it (RenderWithin) and may then take it again
    // with Lock while applying events; every other thread takes it with Lock.
    RealtimeLock lock;

private:
    // The silent synth files are read into, made on the first load with the playing synth's
    // settings and kept to the end: the fonts it loads keep using its loader. Guarded by
    // loading_lock_, which a load holds for its whole length (never with the engine lock).
    fluid_settings_t* loading_settings_ = nullptr;
    fluid_synth_t* loading_synth_ = nullptr;
    std::mutex loading_lock_;
    // Gives a font back to the loading synth and unloads it there, which frees it. Loading lock
    // held; no voice may play the font's samples any more.
    void FreeFont(fluid_sfont_t* font);

    // Fonts taken off the stack whose samples voices may still play: those voices all started
    // before the font left, so their note ids are at most last_note; once none sounds (and two
    // more blocks rendered, for a stolen voice's last block) the font is freed. Engine lock.
    struct ClearedFont
    {
        fluid_sfont_t* font;
        bool voices; // whether any voice sounded when it left
        unsigned int last_note;
        unsigned long long clear_since; // frames rendered when no such voice was left; ~0: some
    };
    static constexpr size_t kClearedRoom = 256;
    std::vector<ClearedFont> cleared_;
    std::vector<fluid_voice_t*> voice_list_; // room for every voice, filled under the lock
    unsigned long long frames_rendered_ = 0;
    // The note ids of the first and the last started of the sounding voices; false when none
    // sounds. Engine lock.
    bool SoundingNotes(unsigned int* first_note, unsigned int* last_note);

    // Calls visit with each sounding voice. One fill of voice_list_, which FluidSynth makes
    // without allocating: fit for the audio thread. Engine lock.
    template <typename Visit> void ForEachVoice(Visit visit)
    {
        hook_fluid_synth_get_voicelist(fluid_synth, voice_list_.data(),
                                       static_cast<int>(voice_list_.size()), -1);
        for (fluid_voice_t* voice : voice_list_)
        {
            if (voice == nullptr)
                break;
            visit(voice);
        }
    }

    // Runs call with the lock held, unless the engine is not initialised (then nothing is done).
    template <typename Call> void WhenReady(Call call)
    {
        RealtimeAutolock hold(lock);
        if (initialized != 0)
            call();
    }

    // Blocks FluidSynth rendered off the audio thread, so that it took there a change it only
    // takes in a render (a new polyphony's reallocation); the next renders play them first.
    // Whole blocks, so that FluidSynth's blocks stay where the render's pieces expect them. More
    // changes than there is room for before the output plays them (at start-up, when nothing
    // plays) give up the oldest block.
    static constexpr unsigned long kBlock = 64;
    static constexpr unsigned long kCarried = 8 * kBlock;
    float carried_[2 * kCarried] = {};
    unsigned long carried_from_ = 0;
    unsigned long carried_frames_ = 0;
    void RenderBlockAhead();

    // System reset, then bank 0 and program 0 on every channel but the percussion channels 9
    // and 25, whose registered-parameter state is left alone too. Lock held.
    void ResetChannels();
    // Every channel that selected no tuning program of its own follows program 0 of bank 0, as
    // the MIDI Tuning Standard has it. Lock held.
    void FollowDefaultTuning();
    // A reset by system-exclusive message: FluidSynth's own, then the channels' as SystemReset,
    // every channel's registered parameters forgotten and the drum parts melodic again. Lock held.
    void ResetByExclusive(const uint8_t* data, int length);
    void SetRhythmPart(int channel, bool drums);

    // Every channel's preset found again in the stack for its bank and program. Lock held.
    void ResolvePresets();
    // No registered parameter selected; bend range, fine and coarse tuning at their defaults.
    void ForgetParameters(int channel);

    // Moves the selected registered parameter one step up (+1) or down (-1), within its range.
    // Lock held.
    void StepParameter(int channel, int parameter, int step);

    // Sends the channel's fine tuning and its pitch-wheel sensitivity, each only when FluidSynth
    // holds another value. Lock held; fit for the audio thread.
    void SendTuning(int channel);
    void SendFineTune(int channel, double cents);
    void SendBendRange(int channel);
    // The value FluidSynth holds for a controller of the channel; -1 when it cannot say.
    int HeldController(int channel, int controller);

    // A new settings object as every synth of the engine has it: the rate, 32 channels, and no
    // API mutex of FluidSynth's own. Null on failure.
    static fluid_settings_t* NewSettings(double sample_rate);
    double sample_rate_ = 0.0;

    // One render into interleaved stereo, the carried block first; silence while not
    // initialised. Lock held.
    void RenderHeld(float* buffer, unsigned long frames);

    void ApplyReverb();
    void ApplyChorus();
};

// The one engine object; created and deleted by the application.
extern HARMOLOOM* Synth;

inline bool IsEngineChannel(int channel)
{
    return channel >= 0 && channel < ENGINE_CHANNELS;
}

// MIDI channel 10 (counted from 1) of either port is the percussion channel throughout the
// program: engine channels 9 and 25.
constexpr int PERCUSSION_MIDI_CHANNEL = 10;

inline bool IsPercussionChannel(int channel)
{
    return IsEngineChannel(channel) && channel % 16 == PERCUSSION_MIDI_CHANNEL - 1;
}
