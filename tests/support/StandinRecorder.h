// The recording stand-in for libfluidsynth, seen from a test: the calls it recorded since the
// last look. Bind it once the stand-in is loaded through the program's binding.
#pragma once

#include <string>

#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

struct StandinRecorder
{
    // The calls since the last look, which are then forgotten, on one line: each without
    // "fluid_synth_" and followed by a space, the audio thread's render calls left out.
    const char* (*take)() = nullptr;
    void (*set_sfload_result)(int) = nullptr; // the next load's result, whatever the file

    void Bind()
    {
        get_image_symbol(libraryimage, "standin_take", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&take));
        get_image_symbol(libraryimage, "standin_set_sfload_result", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&set_sfload_result));
    }
    std::string Sent() { return take(); }
};
