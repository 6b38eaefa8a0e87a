#include "engine/FluidBinding.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ExitNow.h"
#include "app/Paths.h"
#include "platform/interface/Alert.h"
#include "platform/support/AddOn.h"

fluid_settings_t* (*hook_new_fluid_settings)(void);
void (*hook_delete_fluid_settings)(fluid_settings_t*);
int (*hook_fluid_settings_setnum)(fluid_settings_t*, const char*, double);
int (*hook_fluid_settings_setint)(fluid_settings_t*, const char*, int);
fluid_synth_t* (*hook_new_fluid_synth)(fluid_settings_t*);
void (*hook_delete_fluid_synth)(fluid_synth_t*);
int (*hook_fluid_synth_sfload)(fluid_synth_t*, const char*, int);
int (*hook_fluid_synth_sfunload)(fluid_synth_t*, int, int);
fluid_sfont_t* (*hook_fluid_synth_get_sfont_by_id)(fluid_synth_t*, int);
int (*hook_fluid_synth_add_sfont)(fluid_synth_t*, fluid_sfont_t*);
int (*hook_fluid_synth_remove_sfont)(fluid_synth_t*, fluid_sfont_t*);
int (*hook_fluid_synth_program_reset)(fluid_synth_t*);
void (*hook_fluid_synth_get_voicelist)(fluid_synth_t*, fluid_voice_t*[], int, int);
unsigned int (*hook_fluid_voice_get_id)(const fluid_voice_t*);
int (*hook_fluid_synth_noteon)(fluid_synth_t*, int, int, int);
int (*hook_fluid_synth_noteoff)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_cc)(fluid_synth_t*, int, int, int);
int (*hook_fluid_synth_pitch_bend)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_pitch_wheel_sens)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_program_change)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_set_bank_offset)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_system_reset)(fluid_synth_t*);
int (*hook_fluid_synth_create_octave_tuning)(fluid_synth_t*, int, int, const char*, const double*);
int (*hook_fluid_synth_select_tuning)(fluid_synth_t*, int, int, int);
int (*hook_fluid_synth_write_float)(fluid_synth_t*, int, void*, int, int, void*, int, int);
int (*hook_fluid_synth_set_polyphony)(fluid_synth_t*, int);
int (*hook_fluid_synth_set_interp_method)(fluid_synth_t*, int, int);
void (*hook_fluid_synth_set_gain)(fluid_synth_t*, float);
int (*hook_fluid_synth_set_reverb)(fluid_synth_t*, double, double, double, double);
int (*hook_fluid_synth_set_chorus)(fluid_synth_t*, int, double, double, double, int);
int (*hook_fluid_synth_reverb_on)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_chorus_on)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_set_gen)(fluid_synth_t*, int, int, float);
int (*hook_fluid_synth_all_notes_off)(fluid_synth_t*, int);
int (*hook_fluid_synth_get_cc)(fluid_synth_t*, int, int, int*);
fluid_log_function_t (*hook_fluid_set_log_function)(int, fluid_log_function_t, void*);
void (*hook_fluid_synth_set_sample_rate)(fluid_synth_t*, float);

int (*hook_fluid_synth_sysex)(fluid_synth_t*, const char*, int, char*, int*, int*, int);
int (*hook_fluid_synth_set_channel_type)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_bank_select)(fluid_synth_t*, int, int);
int (*hook_fluid_synth_get_program)(fluid_synth_t*, int, int*, int*, int*);
fluid_preset_t* (*hook_fluid_synth_get_channel_preset)(fluid_synth_t*, int);
const char* (*hook_fluid_preset_get_name)(fluid_preset_t*);
int (*hook_fluid_preset_get_banknum)(fluid_preset_t*);
int (*hook_fluid_preset_get_num)(fluid_preset_t*);
fluid_sfont_t* (*hook_fluid_preset_get_sfont)(fluid_preset_t*);
int (*hook_fluid_sfont_get_id)(fluid_sfont_t*);
int (*hook_fluid_synth_sfcount)(fluid_synth_t*);
fluid_sfont_t* (*hook_fluid_synth_get_sfont)(fluid_synth_t*, unsigned int);
void (*hook_fluid_sfont_iteration_start)(fluid_sfont_t*);
fluid_preset_t* (*hook_fluid_sfont_iteration_next)(fluid_sfont_t*);
int (*hook_fluid_synth_get_bank_offset)(fluid_synth_t*, int);
int (*hook_fluid_voice_get_channel)(const fluid_voice_t*);

image_id libraryimage = -1;

namespace
{

const char kLibraryPath[] = "Support Files/Libraries/fluidsynth";

// FluidSynth 2 renamed the two octave-tuning entry points and gave each an "apply" argument.
// Bound to the new names, the table's entries point at these adapters, which apply at once as
// the old calls did.
int (*activate_octave_tuning)(fluid_synth_t*, int, int, const char*, const double*, int);
int (*activate_tuning)(fluid_synth_t*, int, int, int, int);

int create_octave_tuning_by_activation(fluid_synth_t* synth, int bank, int program,
                                       const char* name, const double* pitch)
{
    return activate_octave_tuning(synth, bank, program, name, pitch, 1);
}

int select_tuning_by_activation(fluid_synth_t* synth, int channel, int bank, int program)
{
    return activate_tuning(synth, channel, bank, program, 1);
}

template <typename Function> void bind(Function& hook, void* address)
{
    hook = reinterpret_cast<Function>(address);
}

struct EntryPoint
{
    const char* name;
    const char* renamed; // the FluidSynth 2 name, or null
    void (*store)(void* address, bool renamed);
};

// Stores a resolved address in the hook_ global it belongs to.
template <auto* hook> void store(void* address, bool /*renamed*/)
{
    bind(*hook, address);
}

// clang-format off
#define ENTRY(function) {#function, nullptr, store<&hook_##function>}
// clang-format on

const EntryPoint kEntryPoints[30] = {
    ENTRY(new_fluid_settings),
    ENTRY(delete_fluid_settings),
    ENTRY(fluid_settings_setnum),
    ENTRY(fluid_settings_setint),
    ENTRY(new_fluid_synth),
    ENTRY(delete_fluid_synth),
    ENTRY(fluid_synth_sfload),
    ENTRY(fluid_synth_sfunload),
    ENTRY(fluid_synth_get_sfont_by_id),
    ENTRY(fluid_synth_add_sfont),
    ENTRY(fluid_synth_remove_sfont),
    ENTRY(fluid_synth_program_reset),
    ENTRY(fluid_synth_get_voicelist),
    ENTRY(fluid_voice_get_id),
    ENTRY(fluid_synth_noteon),
    ENTRY(fluid_synth_noteoff),
    ENTRY(fluid_synth_cc),
    ENTRY(fluid_synth_pitch_bend),
    ENTRY(fluid_synth_pitch_wheel_sens),
    ENTRY(fluid_synth_program_change),
    ENTRY(fluid_synth_set_bank_offset),
    ENTRY(fluid_synth_system_reset),
    {"fluid_synth_create_octave_tuning", "fluid_synth_activate_octave_tuning",
     [](void* address, bool renamed)
     {
         if (!renamed)
         {
             bind(hook_fluid_synth_create_octave_tuning, address);
             return;
         }
         bind(activate_octave_tuning, address);
         hook_fluid_synth_create_octave_tuning = create_octave_tuning_by_activation;
     }},
    {"fluid_synth_select_tuning", "fluid_synth_activate_tuning",
     [](void* address, bool renamed)
     {
         if (!renamed)
         {
             bind(hook_fluid_synth_select_tuning, address);
             return;
         }
         bind(activate_tuning, address);
         hook_fluid_synth_select_tuning = select_tuning_by_activation;
     }},
    ENTRY(fluid_synth_write_float),
    ENTRY(fluid_synth_set_polyphony),
    ENTRY(fluid_synth_set_interp_method),
    ENTRY(fluid_synth_set_gain),
    ENTRY(fluid_synth_set_reverb),
    ENTRY(fluid_synth_set_chorus),
};

#undef ENTRY

// The effect switches, under their FluidSynth 2.2 names, the older ones (without a group), or
// not at all.
void (*set_reverb_on)(fluid_synth_t*, int);
void (*set_chorus_on)(fluid_synth_t*, int);

int reverb_on_without_groups(fluid_synth_t* synth, int, int on)
{
    set_reverb_on(synth, on);
    return 0;
}

int chorus_on_without_groups(fluid_synth_t* synth, int, int on)
{
    set_chorus_on(synth, on);
    return 0;
}

int effect_switch_missing(fluid_synth_t*, int, int)
{
    return -1;
}

template <typename Older>
void bind_effect_switch(int (*&hook)(fluid_synth_t*, int, int), const char* name,
                        const char* older_name, Older& older,
                        int (*adapter)(fluid_synth_t*, int, int))
{
    void* address = nullptr;
    hook = effect_switch_missing;
    if (get_image_symbol(libraryimage, name, B_SYMBOL_TYPE_ANY, &address) == B_OK)
        bind(hook, address);
    else if (get_image_symbol(libraryimage, older_name, B_SYMBOL_TYPE_ANY, &address) == B_OK)
    {
        bind(older, address);
        hook = adapter;
    }
}

// Binds an entry point the program can do without: null when the library lacks it.
template <typename Function> void bind_optional(Function& hook, const char* name)
{
    void* address = nullptr;
    get_image_symbol(libraryimage, name, B_SYMBOL_TYPE_ANY, &address);
    bind(hook, address);
}

void report_cause()
{
    std::fprintf(stderr, "Harmoloom: cannot use the FluidSynth library: %s\n", add_on_error());
    std::fflush(stderr);
}

} // namespace

void LoadLibrary(const char* path)
{
    char* library_path = get_path(path);
    size_t length = std::strlen(library_path);
    if (length == 0 || length + sizeof(kLibraryPath) > APP_PATH_SIZE)
        ErrorLibrary(); // the program's folder is too long a path to build the library's on
    std::memcpy(library_path + length, kLibraryPath, sizeof(kLibraryPath));

    libraryimage = load_add_on(library_path);
    if (libraryimage < 0)
    {
        report_cause();
        ErrorLibrary();
    }
    for (const EntryPoint& entry : kEntryPoints)
    {
        void* address = nullptr;
        bool renamed = false;
        status_t status = get_image_symbol(libraryimage, entry.name, B_SYMBOL_TYPE_ANY, &address);
        if (status != B_OK && entry.renamed != nullptr)
        {
            renamed = true;
            status = get_image_symbol(libraryimage, entry.renamed, B_SYMBOL_TYPE_ANY, &address);
        }
        if (status != B_OK)
        {
            report_cause();
            ErrorLibrary();
        }
        entry.store(address, renamed);
    }
    bind_effect_switch(hook_fluid_synth_reverb_on, "fluid_synth_reverb_on",
                       "fluid_synth_set_reverb_on", set_reverb_on, reverb_on_without_groups);
    bind_effect_switch(hook_fluid_synth_chorus_on, "fluid_synth_chorus_on",
                       "fluid_synth_set_chorus_on", set_chorus_on, chorus_on_without_groups);
#define OPTIONAL(function) bind_optional(hook_##function, #function)
    OPTIONAL(fluid_synth_set_gen);
    OPTIONAL(fluid_synth_all_notes_off);
    OPTIONAL(fluid_synth_get_cc);
    OPTIONAL(fluid_set_log_function);
    OPTIONAL(fluid_synth_set_sample_rate);
    OPTIONAL(fluid_synth_sysex);
    OPTIONAL(fluid_synth_set_channel_type);
    OPTIONAL(fluid_synth_bank_select);
    OPTIONAL(fluid_synth_get_program);
    OPTIONAL(fluid_synth_get_channel_preset);
    OPTIONAL(fluid_preset_get_name);
    OPTIONAL(fluid_preset_get_banknum);
    OPTIONAL(fluid_preset_get_num);
    OPTIONAL(fluid_preset_get_sfont);
    OPTIONAL(fluid_sfont_get_id);
    OPTIONAL(fluid_synth_sfcount);
    OPTIONAL(fluid_synth_get_sfont);
    OPTIONAL(fluid_sfont_iteration_start);
    OPTIONAL(fluid_sfont_iteration_next);
    OPTIONAL(fluid_synth_get_bank_offset);
    OPTIONAL(fluid_voice_get_channel);
#undef OPTIONAL
}

void FreeLibrary()
{
    if (libraryimage >= 0)
        unload_add_on(libraryimage);
    libraryimage = -1;
}

void ErrorLibrary()
{
    (new BAlert("nolib",
                "Sorry, cannot load the library file required by this program (\"fluidsynth\"). "
                "Please ensure your copy of this program is undamaged; try re-installing it.",
                "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
        ->Go();
    ExitNow(1);
}
