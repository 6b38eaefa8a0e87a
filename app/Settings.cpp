#include "app/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/EffectPresets.h"
#include "app/FileReplacement.h"
#include "platform/support/Directories.h"

int32_t settings[SETTINGS_COUNT];
char soundfont_paths[SOUNDFONT_SLOTS][SOUNDFONT_PATH_SIZE];
int32_t soundfont_banks[SOUNDFONT_SLOTS];

namespace
{

const char kSettingsFileName[] = "Harmoloom Settings";

int32_t read_int32(const unsigned char* bytes)
{
    uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                     (static_cast<uint32_t>(bytes[2]) << 16) |
                     (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int32_t>(value);
}

void write_int32(unsigned char* bytes, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    for (int index = 0; index < 4; index++)
        bytes[index] = static_cast<unsigned char>(bits >> (8 * index));
}

void clear_slot(int slot)
{
    soundfont_paths[slot][0] = '\0';
    soundfont_banks[slot] = 0;
}

// The file to replace: the settings file itself, or what it links to, so that a settings file
// kept elsewhere through a link stays where its owner put it.
void replacement_target(char* target, size_t size)
{
    std::snprintf(target, size, "%s", SettingsFilePath());
    char resolved[PATH_MAX];
    struct stat info;
    if (lstat(target, &info) == 0 && S_ISLNK(info.st_mode) && realpath(target, resolved) != nullptr)
        std::snprintf(target, size, "%s", resolved);
}

// A save killed between naming its new file and renaming it leaves that file beside the
// settings; the next start clears it away.
void remove_stray_copies()
{
    char target[PATH_MAX];
    replacement_target(target, sizeof(target));
    char* slash = std::strrchr(target, '/');
    if (slash == nullptr)
        return;
    *slash = '\0';
    RemoveStrayCopies(target[0] != '\0' ? target : "/", kSettingsFileName);
}

} // namespace

void InitDefaults()
{
    settings[setting::version] = SETTINGS_VERSION;
    settings[setting::window_left] = 100;
    settings[setting::window_top] = 100;
    settings[setting::output_level_db] = -12;
    settings[setting::polyphony_step] = 14;
    settings[setting::quality] = 1;
    settings[setting::sample_rate_index] = 2;
    settings[setting::timing_index] = 2;
    settings[setting::priority_index] = 1;
    settings[setting::cutout] = 1;
    settings[setting::two_ports] = 0;
    settings[setting::reverb_room_size] = REVERB_PRESET_PARAMETERS[0][0];
    settings[setting::reverb_damping] = REVERB_PRESET_PARAMETERS[0][1];
    settings[setting::reverb_width] = REVERB_PRESET_PARAMETERS[0][2];
    settings[setting::reverb_level] = 22;
    settings[setting::chorus_voices] = CHORUS_PRESET_PARAMETERS[0][0];
    settings[setting::chorus_frequency] = CHORUS_PRESET_PARAMETERS[0][1];
    settings[setting::chorus_depth] = CHORUS_PRESET_PARAMETERS[0][2];
    settings[setting::chorus_level] = 22;
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        clear_slot(slot);
}

bool ParseSettings(const unsigned char* data, size_t size)
{
    const size_t record_size = SETTINGS_COUNT * 4;
    if (data == nullptr || size < record_size ||
        read_int32(data + 4 * setting::version) != SETTINGS_VERSION)
    {
        InitDefaults();
        return false;
    }
    for (int field = 0; field < SETTINGS_COUNT; field++)
        settings[field] = read_int32(data + 4 * field);

    size_t position = record_size;
    int slot = 0;
    for (; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (size - position < 4)
            break;
        int32_t bank = read_int32(data + position);
        position += 4;
        const void* end = std::memchr(data + position, '\0', size - position);
        if (end == nullptr)
            break; // the file ends inside this path: what there is of it is no path
        size_t length =
            static_cast<size_t>(static_cast<const unsigned char*>(end) - (data + position));
        size_t kept = length < SOUNDFONT_PATH_SIZE ? length : SOUNDFONT_PATH_SIZE - 1;
        std::memcpy(soundfont_paths[slot], data + position, kept);
        soundfont_paths[slot][kept] = '\0';
        // The bank buttons step from the stored bank: it must be one they can reach.
        soundfont_banks[slot] = std::clamp(bank, 0, 127);
        position += length + 1;
    }
    for (; slot < SOUNDFONT_SLOTS; slot++)
        clear_slot(slot);
    return true;
}

size_t SerializeSettings(unsigned char* buffer, size_t size)
{
    size_t needed = SETTINGS_COUNT * 4;
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        needed += 4 + strnlen(soundfont_paths[slot], SOUNDFONT_PATH_SIZE - 1) + 1;
    if (buffer == nullptr || size < needed)
        return 0;

    unsigned char* out = buffer;
    for (int field = 0; field < SETTINGS_COUNT; field++, out += 4)
        write_int32(out, settings[field]);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        write_int32(out, soundfont_banks[slot]);
        out += 4;
        size_t length = strnlen(soundfont_paths[slot], SOUNDFONT_PATH_SIZE - 1);
        std::memcpy(out, soundfont_paths[slot], length);
        out += length;
        *out++ = '\0';
    }
    return needed;
}

const char* SettingsFilePath()
{
    static char path[PATH_MAX] = {};
    static bool computed = false;
    if (!computed)
    {
        computed = true;
        char folder[PATH_MAX];
        if (user_settings_directory(folder, sizeof(folder), false) == 0)
        {
            int length = std::snprintf(path, sizeof(path), "%s/%s", folder, kSettingsFileName);
            if (length < 0 || static_cast<size_t>(length) >= sizeof(path))
                path[0] = '\0';
        }
    }
    return path;
}

void LoadSettings()
{
    const char* path = SettingsFilePath();
    if (path[0] != '\0')
        remove_stray_copies();
    FILE* file = path[0] != '\0' ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
    {
        InitDefaults();
        return;
    }
    std::vector<unsigned char> contents(SETTINGS_FILE_MAX);
    size_t size = std::fread(contents.data(), 1, contents.size(), file);
    std::fclose(file);
    ParseSettings(contents.data(), size);
}

bool MakeSettingsFolder()
{
    char folder[PATH_MAX];
    return SettingsFilePath()[0] != '\0' &&
           user_settings_directory(folder, sizeof(folder), true) == 0;
}

void SaveSettings()
{
    if (!MakeSettingsFolder())
        return;

    std::vector<unsigned char> contents(SETTINGS_FILE_MAX);
    size_t size = SerializeSettings(contents.data(), contents.size());

    char target[PATH_MAX];
    replacement_target(target, sizeof(target));
    ReplaceFileContents(target, kSettingsFileName, contents.data(), size);
}

void RestoreDefaultSettings()
{
    const char* path = SettingsFilePath();
    if (path[0] == '\0')
        return;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0)
        close(fd);
}
