// libFuzzer target: any bytes as a settings file. The loader must stay inside the input and
// inside every slot, and what it accepts must survive a save and a load unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that a read past the end is caught.
    std::vector<unsigned char> input(data, data + size);
    bool accepted = ParseSettings(input.data(), input.size());
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (std::memchr(soundfont_paths[slot], '\0', SOUNDFONT_PATH_SIZE) == nullptr)
            std::abort();
    }
    if (!accepted)
        return 0;

    std::vector<unsigned char> saved(SETTINGS_FILE_MAX);
    saved.resize(SerializeSettings(saved.data(), saved.size()));
    if (saved.empty())
        std::abort();
    int32_t fields[SETTINGS_COUNT];
    std::memcpy(fields, settings, sizeof(fields));
    std::vector<char> paths(&soundfont_paths[0][0],
                            &soundfont_paths[0][0] + sizeof(soundfont_paths));
    int32_t banks[SOUNDFONT_SLOTS];
    std::memcpy(banks, soundfont_banks, sizeof(banks));

    if (!ParseSettings(saved.data(), saved.size()))
        std::abort();
    if (std::memcmp(fields, settings, sizeof(fields)) != 0 ||
        std::memcmp(banks, soundfont_banks, sizeof(banks)) != 0)
        std::abort();
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (std::strcmp(&paths[static_cast<size_t>(slot) * SOUNDFONT_PATH_SIZE],
                        soundfont_paths[slot]) != 0)
            std::abort();
    }
    return 0;
}
