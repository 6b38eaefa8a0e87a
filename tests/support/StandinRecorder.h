// The recording stand-in for libfluidsynth, seen from a test: the calls it recorded since the
// last look. Bind it once the stand-in is loaded through the program's binding.
#pragma once

#include <string>

#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

struct StandinRecorder
{
    size_t (*count)() = nullptr;
    size_t (*call)(size_t, char*, size_t) = nullptr;
    void (*clear)() = nullptr;
    void (*set_sfload_result)(int) = nullptr; // the next load's result, whatever the file

    void Bind()
    {
        auto find = [](const char* name, auto** function) {
            get_image_symbol(libraryimage, name, B_SYMBOL_TYPE_ANY,
                             reinterpret_cast<void**>(function));
        };
        find("standin_call_count", &count);
        find("standin_call", &call);
        find("standin_clear", &clear);
        find("standin_set_sfload_result", &set_sfload_result);
    }

    // The calls since the last look, which are then forgotten, on one line: each without
    // "fluid_synth_" and followed by a space, the audio thread's render calls left out.
    std::string Sent()
    {
        std::string sent;
        for (size_t index = 0; index < count(); index++)
        {
            std::string text(call(index, nullptr, 0), '\0');
            call(index, text.data(), text.size() + 1);
            if (text.rfind("fluid_synth_write_float", 0) != 0)
                sent += text.substr(text.rfind("fluid_synth_", 0) == 0 ? 12 : 0) + " ";
        }
        clear();
        return sent;
    }
};
