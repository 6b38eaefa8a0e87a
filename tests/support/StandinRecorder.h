// The recording stand-in for libfluidsynth, seen from a test: the calls it recorded since the
// last look. Bind it once the stand-in is loaded through the program's binding.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

using Calls = std::vector<std::string>;

// The stand-in's own controls, found in the loaded library.
struct StandinRecorder
{
    size_t (*count)() = nullptr;
    size_t (*call)(size_t, char*, size_t) = nullptr;
    void (*clear)() = nullptr;
    void (*set_sfload_result)(int) = nullptr;

    void Bind()
    {
        get_image_symbol(libraryimage, "standin_call_count", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&count));
        get_image_symbol(libraryimage, "standin_call", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&call));
        get_image_symbol(libraryimage, "standin_clear", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&clear));
        get_image_symbol(libraryimage, "standin_set_sfload_result", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&set_sfload_result));
    }

    // The calls since the last Take, which are then forgotten.
    Calls Take()
    {
        Calls calls;
        for (size_t index = 0; index < count(); index++)
        {
            std::string text(call(index, nullptr, 0), '\0');
            call(index, text.data(), text.size() + 1);
            calls.push_back(std::move(text));
        }
        clear();
        return calls;
    }
};
