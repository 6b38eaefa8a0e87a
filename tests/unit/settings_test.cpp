// The settings record and slot table: defaults, the file format, damaged files, and a save that
// can never lose the user's setup.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/EffectPresets.h"
#include "app/Settings.h"
#include "tests/support/TestSupport.h"

namespace
{

// The settings folder of this test program: a folder that does not exist yet, so that the first
// save has to make it.
TemporaryFolder& config_home()
{
    static TemporaryFolder folder;
    return folder;
}

std::string settings_folder()
{
    return config_home().File("nested/config");
}

std::vector<unsigned char> serialize()
{
    std::vector<unsigned char> bytes(SETTINGS_FILE_MAX);
    bytes.resize(SerializeSettings(bytes.data(), bytes.size()));
    return bytes;
}

void fill_distinct_values()
{
    settings[setting::version] = SETTINGS_VERSION;
    for (int field = 1; field < SETTINGS_COUNT; field++)
        settings[field] = field * 1000 - 77777 * (field % 3);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        soundfont_banks[slot] = (slot * 37) % 128;
        std::string path;
        if (slot % 9 != 4) // leave gaps, as "Continue without them" does
            path = "/music/fonts/" + std::to_string(slot) +
                   std::string(static_cast<size_t>(slot), 'x');
        if (slot == 127)
            path = "/" + std::string(SOUNDFONT_PATH_SIZE - 2, 'L'); // the longest path there is
        std::strcpy(soundfont_paths[slot], path.c_str());
    }
}

struct Snapshot
{
    std::vector<int32_t> fields;
    std::vector<std::string> paths;
    std::vector<int32_t> banks;
    bool operator==(const Snapshot&) const = default;
};

// A short description instead of the whole tables when a comparison fails.
void PrintTo(const Snapshot& s, std::ostream* out)
{
    *out << "fields {";
    for (int32_t field : s.fields)
        *out << field << " ";
    size_t used = 0;
    size_t characters = 0;
    for (const std::string& path : s.paths)
    {
        used += path.empty() ? 0 : 1;
        characters += path.size();
    }
    *out << "}, " << used << " slots used, " << characters << " path bytes";
}

Snapshot snapshot()
{
    Snapshot s;
    s.fields.assign(settings, settings + SETTINGS_COUNT);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        s.paths.emplace_back(soundfont_paths[slot]);
    s.banks.assign(soundfont_banks, soundfont_banks + SOUNDFONT_SLOTS);
    return s;
}

Snapshot defaults()
{
    InitDefaults();
    return snapshot();
}

} // namespace

TEST(SettingsDefaults, AreTheFactorySetupAndFollowTheFirstPresets)
{
    fill_distinct_values();
    InitDefaults();
    const int32_t expected[SETTINGS_COUNT] = {8, 100, 100, -12, 14, 1, 2,  2,  1, 1,
                                              0, 18,  20,  21,  22, 4, 15, 30, 22};
    for (int field = 0; field < SETTINGS_COUNT; field++)
        EXPECT_EQ(settings[field], expected[field]) << "field " << field;
    for (int index = 0; index < 3; index++)
    {
        EXPECT_EQ(settings[setting::reverb_room_size + index], REVERB_PRESET_PARAMETERS[0][index]);
        EXPECT_EQ(settings[setting::chorus_voices + index], CHORUS_PRESET_PARAMETERS[0][index]);
    }
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        EXPECT_EQ(soundfont_paths[slot][0], '\0');
        EXPECT_EQ(soundfont_banks[slot], 0);
    }
}

TEST(SettingsFormat, EmptyTableIs716Bytes)
{
    InitDefaults();
    std::vector<unsigned char> bytes = serialize();
    ASSERT_EQ(bytes.size(), 716u);
    EXPECT_EQ(bytes[0], 8);
    EXPECT_EQ(bytes[12], static_cast<unsigned char>(-12)); // output level, little-endian
    EXPECT_EQ(bytes[15], 0xFF);
    for (size_t offset = 76; offset < bytes.size(); offset++)
        EXPECT_EQ(bytes[offset], 0) << "offset " << offset;
}

TEST(SettingsFormat, SlotEntryIsBankThenPathAndNul)
{
    InitDefaults();
    std::strcpy(soundfont_paths[0], "/a/b/c.sf2"); // 10 bytes
    soundfont_banks[0] = 3;
    std::vector<unsigned char> bytes = serialize();
    ASSERT_EQ(bytes.size(), 726u);
    const unsigned char expected[] = {3,   0,   0,   0,   '/', 'a', '/', 'b',
                                      '/', 'c', '.', 's', 'f', '2', 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 76, expected, sizeof(expected)), 0);
}

TEST(SettingsFormat, RoundTripKeepsEveryFieldAndSlot)
{
    fill_distinct_values();
    Snapshot before = snapshot();
    std::vector<unsigned char> bytes = serialize();

    InitDefaults();
    ASSERT_TRUE(ParseSettings(bytes.data(), bytes.size()));
    EXPECT_EQ(snapshot(), before);
}

TEST(SettingsFormat, StoredBanksOutsideTheirRangeAreClamped)
{
    InitDefaults();
    std::strcpy(soundfont_paths[0], "/a.sf2");
    soundfont_banks[0] = INT32_MIN;
    std::strcpy(soundfont_paths[1], "/b.sf2");
    soundfont_banks[1] = 200;
    std::vector<unsigned char> bytes = serialize();
    ASSERT_TRUE(ParseSettings(bytes.data(), bytes.size()));
    EXPECT_EQ(soundfont_banks[0], 0);
    EXPECT_EQ(soundfont_banks[1], 127);
}

TEST(SettingsFormat, OtherVersionOrShortRecordGivesDefaultsAndIgnoresTheSlots)
{
    fill_distinct_values();
    std::vector<unsigned char> bytes = serialize();
    Snapshot factory = defaults();

    std::vector<unsigned char> version7 = bytes;
    version7[0] = 7;
    fill_distinct_values();
    EXPECT_FALSE(ParseSettings(version7.data(), version7.size()));
    EXPECT_EQ(snapshot(), factory);

    // A record cut short leaves no trace of the part that was there.
    for (size_t size : {size_t{0}, size_t{4}, size_t{75}})
    {
        fill_distinct_values();
        std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        EXPECT_FALSE(ParseSettings(cut.data(), cut.size())) << size;
        EXPECT_EQ(snapshot(), factory) << size;
    }
}

TEST(SettingsFormat, FileEndingInsideTheSlotTableLeavesTheRestEmpty)
{
    fill_distinct_values();
    std::vector<unsigned char> whole = serialize();
    Snapshot full = snapshot();

    // Offsets of each slot entry in the file.
    std::vector<size_t> entry;
    size_t offset = 76;
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        entry.push_back(offset);
        offset += 4 + std::strlen(soundfont_paths[slot]) + 1;
    }

    struct Cut
    {
        size_t size;
        int complete_slots;
    };
    const Cut cuts[] = {
        {76, 0},           // the record alone
        {entry[3] + 2, 3}, // inside slot 3's bank
        {entry[3] + 4, 3}, // slot 3's bank, no path
        {entry[3] + 9, 3}, // inside slot 3's path
        {entry[127] + 500, 127},
        {whole.size() - 1, 127}, // the last path's NUL missing
    };
    for (const Cut& cut : cuts)
    {
        // An exact-size copy, so that a read past the end is caught by the sanitizers.
        std::vector<unsigned char> bytes(whole.begin(),
                                         whole.begin() + static_cast<long>(cut.size));
        fill_distinct_values();
        ASSERT_TRUE(ParseSettings(bytes.data(), bytes.size()));
        for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        {
            bool complete = slot < cut.complete_slots;
            EXPECT_EQ(std::string(soundfont_paths[slot]), complete ? full.paths[slot] : "")
                << "cut at " << cut.size << ", slot " << slot;
            EXPECT_EQ(soundfont_banks[slot], complete ? full.banks[slot] : 0)
                << "cut at " << cut.size << ", slot " << slot;
        }
        EXPECT_EQ(settings[setting::chorus_level], full.fields[setting::chorus_level]);
    }
}

TEST(SettingsFormat, OverlongPathIsCutAndLaterSlotsStayInPlace)
{
    InitDefaults();
    std::vector<unsigned char> bytes = serialize();
    bytes.resize(76);
    auto append_slot = [&bytes](int32_t bank, const std::string& path)
    {
        for (int index = 0; index < 4; index++)
            bytes.push_back(static_cast<unsigned char>(static_cast<uint32_t>(bank) >> (8 * index)));
        bytes.insert(bytes.end(), path.begin(), path.end());
        bytes.push_back(0);
    };
    std::string overlong = "/" + std::string(3000, 'p');
    append_slot(1, overlong);
    append_slot(2, "/after/the/long/one.sf2");

    ASSERT_TRUE(ParseSettings(bytes.data(), bytes.size()));
    EXPECT_EQ(std::strlen(soundfont_paths[0]), static_cast<size_t>(SOUNDFONT_PATH_SIZE - 1));
    EXPECT_EQ(std::string(soundfont_paths[0]), overlong.substr(0, SOUNDFONT_PATH_SIZE - 1));
    EXPECT_EQ(soundfont_banks[0], 1);
    EXPECT_STREQ(soundfont_paths[1], "/after/the/long/one.sf2");
    EXPECT_EQ(soundfont_banks[1], 2);
    EXPECT_EQ(soundfont_paths[2][0], '\0');
}

class SettingsFile : public ::testing::Test
{
protected:
    // The settings file's path is worked out once per process, at its first use.
    static void SetUpTestSuite() { setenv("XDG_CONFIG_HOME", settings_folder().c_str(), 1); }
    void SetUp() override
    {
        std::filesystem::remove_all(settings_folder());
        ASSERT_EQ(std::string(SettingsFilePath()), settings_folder() + "/Harmoloom Settings");
    }
    std::string path() const { return SettingsFilePath(); }
};

TEST_F(SettingsFile, MissingFileGivesDefaults)
{
    fill_distinct_values();
    LoadSettings();
    EXPECT_EQ(snapshot(), defaults());
}

TEST_F(SettingsFile, SaveMakesTheFolderAndLoadReadsItBack)
{
    fill_distinct_values();
    Snapshot saved = snapshot();
    SaveSettings();
    ASSERT_TRUE(FileExists(path()));
    EXPECT_EQ(ReadFile(path()).size(), serialize().size());

    InitDefaults();
    LoadSettings();
    EXPECT_EQ(snapshot(), saved);
}

TEST_F(SettingsFile, ResetEmptiesTheFileAndTheNextSaveWritesDefaults)
{
    Snapshot factory = defaults();
    fill_distinct_values();
    SaveSettings();
    RestoreDefaultSettings();
    EXPECT_EQ(ReadFile(path()).size(), 0u);
    EXPECT_NE(snapshot(), factory) << "the tables in memory are not the reset's business";

    fill_distinct_values();
    LoadSettings();
    EXPECT_EQ(snapshot(), defaults());
    SaveSettings();
    EXPECT_EQ(ReadFile(path()).size(), 716u);
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFileWhole)
{
    fill_distinct_values();
    SaveSettings();
    std::string before = ReadFile(path());
    ASSERT_GT(before.size(), 4096u);

    // The disk fills up half-way through the new file.
    auto save_onto_a_full_disk = []
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        InitDefaults();
        std::strcpy(soundfont_paths[0], std::string(3000, 'z').c_str());
        std::strcpy(soundfont_paths[1], std::string(3000, 'y').c_str());
        SaveSettings();
        _exit(0); // no static destructors: they would remove this program's folders
    };
    EXPECT_EXIT(save_onto_a_full_disk(), ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(ReadFile(path()), before);
    for (const auto& entry : std::filesystem::directory_iterator(settings_folder()))
        EXPECT_EQ(entry.path().filename().string(), "Harmoloom Settings") << "left behind";
}

TEST_F(SettingsFile, SaveThroughALinkKeepsTheLink)
{
    std::filesystem::create_directories(settings_folder());
    std::string elsewhere = config_home().File("kept-elsewhere");
    WriteFile(elsewhere, "old");
    std::filesystem::create_symlink(elsewhere, path());

    InitDefaults();
    SaveSettings();
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    EXPECT_EQ(ReadFile(elsewhere).size(), 716u);
}
