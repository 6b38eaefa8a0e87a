// What the engine's benchmarks share: the real FluidSynth bound the program's way, the voices it
// plays, and the median of the rounds measured.
#pragma once

#include <algorithm>
#include <vector>

#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

typedef int (*ActiveVoiceCount)(fluid_synth_t* synth);

// Loads FluidSynth from beside the program's build, as the program does; the library's own
// voice count, which the program never asks for.
inline ActiveVoiceCount BindFluidSynth()
{
    LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
    ActiveVoiceCount active_voices = nullptr;
    get_image_symbol(libraryimage, "fluid_synth_get_active_voice_count", B_SYMBOL_TYPE_ANY,
                     reinterpret_cast<void**>(&active_voices));
    return active_voices;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
