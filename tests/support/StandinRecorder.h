// The recording stand-in for libfluidsynth, seen from a test: the calls it recorded since the
// last look. Bind it once the stand-in is loaded through the program's binding.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

using Calls = std::vector<std::string>;

// Several sequences of calls, one after the other.
inline Calls JoinCalls(std::initializer_list<Calls> parts)
{
    Calls all;
    for (const Calls& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The stand-in's own controls, found in the loaded library.
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
