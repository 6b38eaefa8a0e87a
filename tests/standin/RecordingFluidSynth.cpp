// A stand-in for libfluidsynth that records every call, for checking the exact sequences the
// engine sends; with STANDIN_LOG set, every call is also appended to that file. It exports the same
// entry points and is loaded through the program's own binding. Built in three forms: FluidSynth 1
// tuning names, FluidSynth 2 tuning names, and one that lacks fluid_synth_set_chorus.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace
{

// The audio thread records its render calls while a test reads what the window thread caused.
std::mutex calls_mutex;
std::vector<std::string> calls;
int next_font_id = 1;
int sfload_result_override = 0;
bool sfload_overridden = false;

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
    {
        std::lock_guard<std::mutex> hold(calls_mutex);
        calls.emplace_back(line);
    }

    // A program under test shows its calls through a file.
    const char* log = std::getenv("STANDIN_LOG");
    if (log != nullptr)
    {
        FILE* file = std::fopen(log, "a");
        if (file != nullptr)
        {
            std::fprintf(file, "%s\n", line);
            std::fclose(file);
        }
    }
}

bool pitch_is_uniform(const double* pitch)
{
    for (int index = 1; index < 12; index++)
    {
        if (pitch[index] != pitch[0])
            return false;
    }
    return true;
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

// What the tests use to read and steer the stand-in.
EXPORT size_t standin_call_count()
{
    std::lock_guard<std::mutex> hold(calls_mutex);
    return calls.size();
}

// Copies the call at index into the caller's buffer, cut to fit and always terminated, and
// returns its whole length. (No thread-local copy here: the sanitizer runtime of this compiler
// misreads dynamic TLS blocks of loaded libraries and can crash its leak check at exit.)
EXPORT size_t standin_call(size_t index, char* buffer, size_t size)
{
    std::lock_guard<std::mutex> hold(calls_mutex);
    const std::string none;
    const std::string& call = index < calls.size() ? calls[index] : none;
    if (size > 0)
    {
        size_t copied = std::min(call.size(), size - 1);
        call.copy(buffer, copied);
        buffer[copied] = '\0';
    }
    return call.size();
}

// Forgets every call recorded so far.
EXPORT void standin_clear()
{
    std::lock_guard<std::mutex> hold(calls_mutex);
    calls.clear();
}

EXPORT void standin_set_sfload_result(int result)
{
    sfload_result_override = result;
    sfload_overridden = true;
}

// The entry points.
EXPORT void* new_fluid_settings()
{
    record("new_fluid_settings()");
    return &settings_object;
}

EXPORT void delete_fluid_settings(void*)
{
    record("delete_fluid_settings()");
}

EXPORT int fluid_settings_setnum(void*, const char* name, double value)
{
    record("fluid_settings_setnum(%s,%g)", name, value);
    return 0;
}

EXPORT int fluid_settings_setint(void*, const char* name, int value)
{
    record("fluid_settings_setint(%s,%d)", name, value);
    return 0;
}

EXPORT void* new_fluid_synth(void*)
{
    record("new_fluid_synth()");
    const char* fail = std::getenv("STANDIN_FAIL_NEW_SYNTH");
    return fail != nullptr && fail[0] == '1' ? nullptr : &synth_object;
}

EXPORT void delete_fluid_synth(void*)
{
    record("delete_fluid_synth()");
}

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

EXPORT int fluid_synth_sfunload(void*, int id, int reset)
{
    record("fluid_synth_sfunload(%d,%d)", id, reset);
    return 0;
}

EXPORT int fluid_synth_noteon(void*, int channel, int key, int velocity)
{
    record("fluid_synth_noteon(%d,%d,%d)", channel, key, velocity);
    return 0;
}

EXPORT int fluid_synth_noteoff(void*, int channel, int key)
{
    record("fluid_synth_noteoff(%d,%d)", channel, key);
    return 0;
}

EXPORT int fluid_synth_cc(void*, int channel, int controller, int value)
{
    record("fluid_synth_cc(%d,%d,%d)", channel, controller, value);
    return 0;
}

EXPORT int fluid_synth_pitch_bend(void*, int channel, int value)
{
    record("fluid_synth_pitch_bend(%d,%d)", channel, value);
    return 0;
}

EXPORT int fluid_synth_pitch_wheel_sens(void*, int channel, int semitones)
{
    record("fluid_synth_pitch_wheel_sens(%d,%d)", channel, semitones);
    return 0;
}

EXPORT int fluid_synth_program_change(void*, int channel, int program)
{
    record("fluid_synth_program_change(%d,%d)", channel, program);
    return 0;
}

EXPORT int fluid_synth_set_bank_offset(void*, int id, int offset)
{
    record("fluid_synth_set_bank_offset(%d,%d)", id, offset);
    return 0;
}

EXPORT int fluid_synth_system_reset(void*)
{
    record("fluid_synth_system_reset()");
    return 0;
}

#ifdef STANDIN_FLUIDSYNTH_2_TUNING
EXPORT int fluid_synth_activate_octave_tuning(void*, int bank, int program, const char* name,
                                              const double* pitch, int apply)
{
    record("fluid_synth_activate_octave_tuning(%d,%d,%s,%.4f,uniform=%d,apply=%d)", bank, program,
           name, pitch[0], pitch_is_uniform(pitch), apply);
    return 0;
}

EXPORT int fluid_synth_activate_tuning(void*, int channel, int bank, int program, int apply)
{
    record("fluid_synth_activate_tuning(%d,%d,%d,apply=%d)", channel, bank, program, apply);
    return 0;
}
#else
EXPORT int fluid_synth_create_octave_tuning(void*, int bank, int program, const char* name,
                                            const double* pitch)
{
    record("fluid_synth_create_octave_tuning(%d,%d,%s,%.4f,uniform=%d)", bank, program, name,
           pitch[0], pitch_is_uniform(pitch));
    return 0;
}

EXPORT int fluid_synth_select_tuning(void*, int channel, int bank, int program)
{
    record("fluid_synth_select_tuning(%d,%d,%d)", channel, bank, program);
    return 0;
}
#endif

EXPORT int fluid_synth_write_float(void*, int frames, void* left, int left_offset, int left_stride,
                                   void* right, int right_offset, int right_stride)
{
    record("fluid_synth_write_float(%d,%s,%d,%d,%d,%d)", frames, left == right ? "same" : "other",
           left_offset, left_stride, right_offset, right_stride);
    float* samples = static_cast<float*>(left);
    for (int frame = 0; frame < frames; frame++)
    {
        samples[left_offset + frame * left_stride] = 0.25f;
        static_cast<float*>(right)[right_offset + frame * right_stride] = -0.5f;
    }
    return 0;
}

EXPORT int fluid_synth_set_polyphony(void*, int voices)
{
    record("fluid_synth_set_polyphony(%d)", voices);
    return 0;
}

EXPORT int fluid_synth_set_interp_method(void*, int channel, int method)
{
    record("fluid_synth_set_interp_method(%d,%d)", channel, method);
    return 0;
}

EXPORT void fluid_synth_set_gain(void*, float gain)
{
    record("fluid_synth_set_gain(%g)", static_cast<double>(gain));
}

EXPORT int fluid_synth_set_reverb(void*, double room_size, double damping, double width,
                                  double level)
{
    record("fluid_synth_set_reverb(%g,%g,%g,%g)", room_size, damping, width, level);
    return 0;
}

EXPORT int fluid_synth_reverb_on(void*, int group, int on)
{
    record("fluid_synth_reverb_on(%d,%d)", group, on);
    return 0;
}

EXPORT int fluid_synth_chorus_on(void*, int group, int on)
{
    record("fluid_synth_chorus_on(%d,%d)", group, on);
    return 0;
}

#ifndef STANDIN_WITHOUT_CHORUS
EXPORT int fluid_synth_set_chorus(void*, int voices, double level, double speed, double depth,
                                  int waveform)
{
    record("fluid_synth_set_chorus(%d,%g,%g,%g,%d)", voices, level, speed, depth, waveform);
    return 0;
}
#endif
