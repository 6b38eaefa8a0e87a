#include "tests/support/SettingsFiles.h"

#include "app/Settings.h"
#include "tests/support/WaveFiles.h"

std::vector<int32_t> DefaultSettings()
{
    InitDefaults();
    return {settings, settings + SETTINGS_COUNT};
}

namespace
{

int32_t read_int(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int index = 3; index >= 0; index--)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(index)]);
    return static_cast<int32_t>(value);
}

} // namespace

std::string SettingsFile(const std::vector<int32_t>& fields, const SlotList& slots)
{
    std::string bytes;
    for (int32_t field : fields)
        bytes += Le32(static_cast<uint32_t>(field));
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        auto found = slots.find(slot);
        bytes += found == slots.end() ? Le32(0) + '\0'
                                      : Le32(static_cast<uint32_t>(found->second.first)) +
                                            found->second.second + '\0';
    }
    return bytes;
}

std::vector<int32_t> SettingsFields(const std::string& file)
{
    std::vector<int32_t> fields;
    if (file.size() < 4 * static_cast<size_t>(SETTINGS_COUNT))
        return fields;
    for (size_t field = 0; field < static_cast<size_t>(SETTINGS_COUNT); field++)
        fields.push_back(read_int(file, 4 * field));
    return fields;
}

SlotList SettingsSlots(const std::string& file)
{
    SlotList slots;
    size_t at = 4 * static_cast<size_t>(SETTINGS_COUNT);
    for (int slot = 0; slot < SOUNDFONT_SLOTS && at + 4 < file.size(); slot++)
    {
        int32_t bank = read_int(file, at);
        at += 4;
        size_t end = file.find('\0', at);
        if (end == std::string::npos)
            break;
        if (end > at)
            slots[slot] = {bank, file.substr(at, end - at)};
        at = end + 1;
    }
    return slots;
}
