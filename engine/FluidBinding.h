// The run-time binding to FluidSynth: the library is loaded from "Support Files/Libraries/
// fluidsynth" beside the program and every FluidSynth call goes through the hook_ table below.
//
// The table is filled once by LoadLibrary on the main thread and never changes while the
// library is loaded, so any thread may call through it afterwards.
#pragma once

#include "platform/support/SupportDefs.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_sfont_t fluid_sfont_t;
typedef struct _fluid_voice_t fluid_voice_t;

extern fluid_settings_t* (*hook_new_fluid_settings)(void);
extern void (*hook_delete_fluid_settings)(fluid_settings_t* settings);
extern int (*hook_fluid_settings_setnum)(fluid_settings_t* settings, const char* name,
                                         double value);
extern int (*hook_fluid_settings_setint)(fluid_settings_t* settings, const char* name, int value);
extern fluid_synth_t* (*hook_new_fluid_synth)(fluid_settings_t* settings);
extern void (*hook_delete_fluid_synth)(fluid_synth_t* synth);
extern int (*hook_fluid_synth_sfload)(fluid_synth_t* synth, const char* path, int reset_presets);
extern int (*hook_fluid_synth_sfunload)(fluid_synth_t* synth, int font_id, int reset_presets);
// Moving a loaded font from one synth to another, and finding the channels' presets again.
extern fluid_sfont_t* (*hook_fluid_synth_get_sfont_by_id)(fluid_synth_t* synth, int font_id);
extern int (*hook_fluid_synth_add_sfont)(fluid_synth_t* synth, fluid_sfont_t* font);
extern int (*hook_fluid_synth_remove_sfont)(fluid_synth_t* synth, fluid_sfont_t* font);
extern int (*hook_fluid_synth_program_reset)(fluid_synth_t* synth);
extern void (*hook_fluid_synth_get_voicelist)(fluid_synth_t* synth, fluid_voice_t* voices[],
                                              int size, int note_id);
extern unsigned int (*hook_fluid_voice_get_id)(const fluid_voice_t* voice);
extern int (*hook_fluid_synth_noteon)(fluid_synth_t* synth, int channel, int key, int velocity);
extern int (*hook_fluid_synth_noteoff)(fluid_synth_t* synth, int channel, int key);
extern int (*hook_fluid_synth_cc)(fluid_synth_t* synth, int channel, int controller, int value);
extern int (*hook_fluid_synth_pitch_bend)(fluid_synth_t* synth, int channel, int value);
extern int (*hook_fluid_synth_pitch_wheel_sens)(fluid_synth_t* synth, int channel, int semitones);
extern int (*hook_fluid_synth_program_change)(fluid_synth_t* synth, int channel, int program);
extern int (*hook_fluid_synth_set_bank_offset)(fluid_synth_t* synth, int font_id, int offset);
extern int (*hook_fluid_synth_system_reset)(fluid_synth_t* synth);
extern int (*hook_fluid_synth_create_octave_tuning)(fluid_synth_t* synth, int tuning_bank,
                                                    int tuning_program, const char* name,
                                                    const double* pitch);
extern int (*hook_fluid_synth_select_tuning)(fluid_synth_t* synth, int channel, int tuning_bank,
                                             int tuning_program);
extern int (*hook_fluid_synth_write_float)(fluid_synth_t* synth, int frames, void* left,
                                           int left_offset, int left_stride, void* right,
                                           int right_offset, int right_stride);
extern int (*hook_fluid_synth_set_polyphony)(fluid_synth_t* synth, int voices);
extern int (*hook_fluid_synth_set_interp_method)(fluid_synth_t* synth, int channel, int method);
extern void (*hook_fluid_synth_set_gain)(fluid_synth_t* synth, float gain);
extern int (*hook_fluid_synth_set_reverb)(fluid_synth_t* synth, double room_size, double damping,
                                          double width, double level);
extern int (*hook_fluid_synth_set_chorus)(fluid_synth_t* synth, int voices, double level,
                                          double speed_hz, double depth_ms, int waveform);

// Switches an effect on or off for every effects group. Optional: bound to
// fluid_synth_reverb_on/fluid_synth_chorus_on (FluidSynth 2.2 on) or to the older
// fluid_synth_set_reverb_on/fluid_synth_set_chorus_on; a library with neither keeps its effects
// on and these do nothing.
extern int (*hook_fluid_synth_reverb_on)(fluid_synth_t* synth, int fx_group, int on);
extern int (*hook_fluid_synth_chorus_on)(fluid_synth_t* synth, int fx_group, int on);

// Optional, null when the library lacks them; the engine then falls back on the table's entry
// points. Each changes FluidSynth's state in place, without allocation, so the audio thread
// may apply them: a channel's generator offset (the fine tuning), all notes off in one call,
// and the value a channel holds for a controller.
extern int (*hook_fluid_synth_set_gen)(fluid_synth_t* synth, int channel, int generator,
                                       float value);
extern int (*hook_fluid_synth_all_notes_off)(fluid_synth_t* synth, int channel);
extern int (*hook_fluid_synth_get_cc)(fluid_synth_t* synth, int channel, int controller,
                                      int* value);

// Optional: null when the library lacks it (then it logs its own way).
typedef void (*fluid_log_function_t)(int level, const char* message, void* data);
extern fluid_log_function_t (*hook_fluid_set_log_function)(int level, fluid_log_function_t fun,
                                                           void* data);

// Optional: null when the library lacks it (FluidSynth 2.1 to 2.3 have it). Changes the rate of
// a synth that exists, killing its voices.
extern void (*hook_fluid_synth_set_sample_rate)(fluid_synth_t* synth, float sample_rate);

// Image id of the loaded library; negative before a load.
extern image_id libraryimage;

// Loads the library beside the program whose own file is at path and resolves all 30 entry
// points (and the optional ones it has), or shows the "nolib" alert and ends the process with
// status 1. Main thread.
void LoadLibrary(const char* path);

// Unloads the library. Nothing may call through the table afterwards. Main thread.
void FreeLibrary();

// The "nolib" alert, then exit status 1.
[[noreturn]] void ErrorLibrary();
