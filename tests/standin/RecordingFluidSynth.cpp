// A stand-in for libfluidsynth that records every call, for checking the exact sequences the
// engine sends; with STANDIN_LOG set, every call is also appended to that file (a program under
// test shows its calls that way), and STANDIN_FAIL_NEW_SYNTH=1 makes new_fluid_synth fail. It
// exports the same entry points and is loaded through the program's own binding. Built in three
// forms: FluidSynth 1 tuning names with the optional entry points, FluidSynth 2 tuning names
// without them, and one without fluid_synth_set_chorus. Reads (fluid_synth_get_cc) are not
// recorded: they answer what the recorded calls set.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace
{

// The audio thread records calls while a test reads what the window thread caused.
std::mutex calls_mutex;
std::string calls; // since the last take
int next_font_id = 1;
int sfload_result_override = 0;
bool sfload_overridden = false;
int held_cc[64][128]; // what fluid_synth_cc set since the last system reset

// Distinct non-null objects for the engine to hold on to.
int settings_object;
int synth_object;

void record(const char* format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    std::string call = line;
    if (call.rfind("fluid_synth_write_float", 0) != 0)
    {
        std::lock_guard<std::mutex> hold(calls_mutex);
        calls += call.substr(call.rfind("fluid_synth_", 0) == 0 ? 12 : 0) + " ";
    }
    const char* log = std::getenv("STANDIN_LOG");
    FILE* file = log != nullptr ? std::fopen(log, "a") : nullptr;
    if (file != nullptr)
    {
        std::fprintf(file, "%s\n", line);
        std::fclose(file);
    }
}

bool fail_new_synth()
{
    const char* fail = std::getenv("STANDIN_FAIL_NEW_SYNTH");
    return fail != nullptr && fail[0] == '1';
}

int pitch_is_uniform(const double* pitch)
{
    return std::all_of(pitch, pitch + 12, [pitch](double cents) { return cents == pitch[0]; });
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

// An entry point that records its name and arguments and returns result (nothing when empty).
#define RETURNING(type, result, name, parameters, format, ...)                                     \
    EXPORT type name parameters                                                                    \
    {                                                                                              \
        record(#name "(" format ")", __VA_ARGS__);                                                 \
        return result;                                                                             \
    }
#define RECORDING(name, parameters, format, ...)                                                   \
    RETURNING(int, 0, name, parameters, format, __VA_ARGS__)

// The calls since the last take, which are then forgotten, on one line: each without
// "fluid_synth_" and followed by a space, the render calls left out. The text lasts until the
// next take. (Not thread-local: the sanitizer runtime of this compiler misreads dynamic TLS
// blocks of loaded libraries and can crash its leak check at exit.)
EXPORT const char* standin_take()
{
    static std::string taken;
    std::lock_guard<std::mutex> hold(calls_mutex);
    taken = std::move(calls);
    calls.clear();
    return taken.c_str();
}

// The next fluid_synth_sfload returns result, whatever the file.
EXPORT void standin_set_sfload_result(int result)
{
    sfload_result_override = result;
    sfload_overridden = true;
}

RETURNING(void*, &settings_object, new_fluid_settings, (), "%s", "")
RETURNING(void, , delete_fluid_settings, (void*), "%s", "")
RETURNING(void*, fail_new_synth() ? nullptr : &synth_object, new_fluid_synth, (void*), "%s", "")
RETURNING(void, , delete_fluid_synth, (void*), "%s", "")
RETURNING(void, , fluid_synth_set_gain, (void*, float gain), "%g", static_cast<double>(gain))

EXPORT int fluid_synth_sfload(void*, const char* path, int reset)
{
    record("fluid_synth_sfload(%s,%d)", path, reset);
    if (sfload_overridden)
    {
        sfload_overridden = false;
        return sfload_result_override;
    }
    // Like the real library, a file that cannot be read does not load.
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return -1;
    std::fclose(file);
    return next_font_id++;
}

EXPORT int fluid_synth_write_float(void*, int frames, void* left, int left_offset, int left_stride,
                                   void* right, int right_offset, int right_stride)
{
    // Only a log file hears of renders: on the audio thread, nothing is allocated.
    if (std::getenv("STANDIN_LOG") != nullptr)
        record("fluid_synth_write_float(%d)", frames);
    for (int frame = 0; frame < frames; frame++)
    {
        static_cast<float*>(left)[left_offset + frame * left_stride] = 0.25f;
        static_cast<float*>(right)[right_offset + frame * right_stride] = -0.5f;
    }
    return 0;
}

RECORDING(fluid_settings_setnum, (void*, const char* name, double value), "%s,%g", name, value)
RECORDING(fluid_settings_setint, (void*, const char* name, int value), "%s,%d", name, value)
RECORDING(fluid_synth_sfunload, (void*, int id, int reset), "%d,%d", id, reset)
// A font is its id, as a pointer; the stand-in keeps a font's id when it moves between synths.
// No voice ever sounds.
EXPORT void* fluid_synth_get_sfont_by_id(void*, int id)
{
    return id > 0 ? reinterpret_cast<void*>(static_cast<intptr_t>(id)) : nullptr;
}
EXPORT int fluid_synth_add_sfont(void*, void* font)
{
    int id = static_cast<int>(reinterpret_cast<intptr_t>(font));
    record("fluid_synth_add_sfont(%d)", id);
    return id;
}
RECORDING(fluid_synth_remove_sfont, (void*, void* font), "%d",
          static_cast<int>(reinterpret_cast<intptr_t>(font)))
RECORDING(fluid_synth_program_reset, (void*), "%s", "")
EXPORT void fluid_synth_get_voicelist(void*, void* voices[], int size, int)
{
    if (size > 0)
        voices[0] = nullptr;
}
EXPORT unsigned int fluid_voice_get_id(const void*)
{
    return 0;
}
RECORDING(fluid_synth_noteon, (void*, int channel, int key, int velocity), "%d,%d,%d", channel, key,
          velocity)
RECORDING(fluid_synth_noteoff, (void*, int channel, int key), "%d,%d", channel, key)
EXPORT int fluid_synth_cc(void*, int channel, int controller, int value)
{
    record("fluid_synth_cc(%d,%d,%d)", channel, controller, value);
    held_cc[channel & 63][controller & 127] = value;
    return 0;
}

EXPORT int fluid_synth_system_reset(void*)
{
    record("fluid_synth_system_reset()");
    std::fill(&held_cc[0][0], &held_cc[0][0] + 64 * 128, 0);
    return 0;
}
RECORDING(fluid_synth_pitch_bend, (void*, int channel, int value), "%d,%d", channel, value)
RECORDING(fluid_synth_pitch_wheel_sens, (void*, int channel, int semitones), "%d,%d", channel,
          semitones)
RECORDING(fluid_synth_program_change, (void*, int channel, int program), "%d,%d", channel, program)
RECORDING(fluid_synth_set_bank_offset, (void*, int id, int offset), "%d,%d", id, offset)
RECORDING(fluid_synth_set_polyphony, (void*, int voices), "%d", voices)
RECORDING(fluid_synth_set_interp_method, (void*, int channel, int method), "%d,%d", channel, method)
RECORDING(fluid_synth_set_reverb, (void*, double size, double damping, double width, double level),
          "%g,%g,%g,%g", size, damping, width, level)
RECORDING(fluid_synth_reverb_on, (void*, int group, int on), "%d,%d", group, on)
RECORDING(fluid_synth_chorus_on, (void*, int group, int on), "%d,%d", group, on)

#ifdef STANDIN_FLUIDSYNTH_2_TUNING
RECORDING(fluid_synth_activate_octave_tuning,
          (void*, int bank, int program, const char* name, const double* pitch, int apply),
          "%d,%d,%s,%.4f,uniform=%d,apply=%d", bank, program, name, pitch[0],
          pitch_is_uniform(pitch), apply)
RECORDING(fluid_synth_activate_tuning, (void*, int channel, int bank, int program, int apply),
          "%d,%d,%d,apply=%d", channel, bank, program, apply)
#else
RECORDING(fluid_synth_set_gen, (void*, int channel, int generator, float value), "%d,%d,%.4f",
          channel, generator, static_cast<double>(value))
RECORDING(fluid_synth_all_notes_off, (void*, int channel), "%d", channel)
EXPORT int fluid_synth_get_cc(void*, int channel, int controller, int* value)
{
    *value = held_cc[channel & 63][controller & 127];
    return 0;
}
RECORDING(fluid_synth_create_octave_tuning,
          (void*, int bank, int program, const char* name, const double* pitch),
          "%d,%d,%s,%.4f,uniform=%d", bank, program, name, pitch[0], pitch_is_uniform(pitch))
RECORDING(fluid_synth_select_tuning, (void*, int channel, int bank, int program), "%d,%d,%d",
          channel, bank, program)
#endif

#ifndef STANDIN_WITHOUT_CHORUS
RECORDING(fluid_synth_set_chorus,
          (void*, int voices, double level, double speed, double depth, int waveform),
          "%d,%g,%g,%g,%d", voices, level, speed, depth, waveform)
#endif
