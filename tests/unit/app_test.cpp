// The settings file (damaged files, a save that never loses the user's setup), the path
// helpers and the refusals of the instrument table.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "app/ChannelsFile.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "tests/support/AlertTexts.h"
#include "tests/support/Engines.h"
#include "tests/support/PageLoads.h"
#include "tests/support/SettingsFiles.h"

namespace
{

// The tables in file form.
std::string tables()
{
    std::string bytes(SETTINGS_FILE_MAX, '\0');
    bytes.resize(SerializeSettings(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()));
    return bytes;
}

// From an exact-size copy, so that a read past the end is caught by the sanitizers.
bool parse(const std::string& bytes)
{
    std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    return ParseSettings(exact.data(), exact.size());
}

// Tables compared by where they part, not printed whole.
::testing::AssertionResult same(const std::string& actual, const std::string& expected)
{
    auto at = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first;
    return actual == expected ? ::testing::AssertionSuccess()
                              : ::testing::AssertionFailure()
                                    << actual.size() << " and " << expected.size()
                                    << " bytes, parting at byte " << at - actual.begin();
}

// Every field and slot different, gaps left as "Continue without them" does, and the longest
// path a slot holds.
void fill_distinct_values()
{
    settings[setting::version] = SETTINGS_VERSION;
    for (int field = 1; field < SETTINGS_COUNT; field++)
        settings[field] = field * 1000 - 77777 * (field % 3);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        soundfont_banks[slot] = (slot * 37) % 128;
        std::string path = "/music/" + std::string(static_cast<size_t>(slot), 'x');
        std::strcpy(soundfont_paths[slot], slot % 9 == 4 ? "" : path.c_str());
    }
    std::strcpy(soundfont_paths[127], ("/" + std::string(SOUNDFONT_PATH_SIZE - 2, 'L')).c_str());
}

} // namespace

class SettingsSave : public ::testing::Test
{
protected:
    // The file's path is worked out once per process, at its first use.
    void SetUp() override
    {
        static TemporaryFolder home;
        folder = home.File("nested/config");
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        std::filesystem::remove_all(folder);
        path = SettingsFilePath();
        ASSERT_EQ(path, folder + "/Harmoloom Settings");
    }
    std::string folder;
    std::string path;
};

// Damaged files are read as far as whole banks go, clamped, an overlong path cut; a stray copy is
// cleared, a failed save leaves the old file whole and a link stays.
TEST_F(SettingsSave, DamagedFilesAreReadAsFarAsTheyAreWholeAndASaveNeverLosesTheOldFile)
{
    const std::string factory = SettingsFile(DefaultSettings());
    fill_distinct_values();
    const std::string whole = tables();
    std::vector<size_t> entry = {76}; // where each slot's entry begins
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        entry.push_back(entry.back() + 5 + std::strlen(soundfont_paths[slot]));
    for (size_t size : {0, 75}) // a short record gives the factory settings and no slots
    {
        fill_distinct_values();
        EXPECT_FALSE(parse(whole.substr(0, size))) << size;
        EXPECT_TRUE(same(tables(), factory)) << size;
    }
    // Cut inside the slot table: the slots after the last whole one are empty.
    const std::pair<size_t, int> cuts[] = {{76, 0},
                                           {entry[3] + 2, 3},
                                           {entry[3] + 4, 3},
                                           {entry[3] + 9, 3},
                                           {entry[127] + 500, 127},
                                           {whole.size() - 1, 127},
                                           {whole.size(), 128}};
    for (auto [size, complete] : cuts)
    {
        fill_distinct_values();
        ASSERT_TRUE(parse(whole.substr(0, size)));
        std::string empty_slots(5 * static_cast<size_t>(SOUNDFONT_SLOTS - complete), '\0');
        EXPECT_TRUE(same(tables(), whole.substr(0, entry[complete]) + empty_slots)) << size;
    }

    std::string overlong = "/" + std::string(3000, 'p');
    ASSERT_TRUE(
        parse(SettingsFile(DefaultSettings(), {{0, {INT32_MIN, overlong}}, {1, {200, "/after"}}})));
    EXPECT_EQ(soundfont_banks[0], 0);
    EXPECT_EQ(soundfont_banks[1], 127);
    EXPECT_EQ(soundfont_paths[0], overlong.substr(0, SOUNDFONT_PATH_SIZE - 1));
    EXPECT_STREQ(soundfont_paths[1], "/after");
    EXPECT_STREQ(soundfont_paths[2], "");

    std::filesystem::create_directories(folder);
    WriteFile(path + ".aZ09xQ", "left by a save killed before its rename");
    WriteFile(path + ".backup1", "the user's own");
    LoadSettings();
    EXPECT_FALSE(std::filesystem::exists(path + ".aZ09xQ"));
    EXPECT_TRUE(std::filesystem::remove(path + ".backup1")) << "only our own pattern goes";
    fill_distinct_values();
    SaveSettings();
    const std::string before = ReadFile(path);
    EXPECT_TRUE(same(before, tables()));
    ASSERT_GT(before.size(), 4096u);
    auto save_onto_a_full_disk = [] // the disk fills up half-way through the new file
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
    EXPECT_TRUE(same(ReadFile(path), before));
    std::vector<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        names.push_back(file.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Harmoloom Settings"}) << "left behind";

    // The Channels page's file beside it, its folder made if missing, is read back as written;
    // damaged, as no choices at all. Reading it clears a killed write's copy away.
    ChannelChoice choices[CHANNEL_CHOICES];
    choices[2] = {true, 8, 19};
    choices[31] = {false, 128, 0};
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(WriteChannelsFile(choices));
    const std::string channels = ReadFile(folder + "/Harmoloom Channels");
    WriteFile(folder + "/Harmoloom Channels.aZ09xQ", "left by a write killed before its rename");
    for (const std::string& text :
         {channels, channels.substr(0, channels.size() - 2), channels + "33 0 0 0\n",
          channels.substr(0, 30) + "9" + channels.substr(31)})
    {
        WriteFile(folder + "/Harmoloom Channels", text);
        ChannelChoice read[CHANNEL_CHOICES];
        ReadChannelsFile(read);
        bool intact = text == channels;
        EXPECT_EQ(read[2].locked && read[2].bank == 8 && read[2].program == 19, intact) << text;
        EXPECT_EQ(read[31].bank, intact ? 128 : -1);
        EXPECT_TRUE(!read[0].locked && read[0].bank == -1 && read[0].program == -1);
        EXPECT_FALSE(std::filesystem::exists(folder + "/Harmoloom Channels.aZ09xQ"));
    }

    std::filesystem::remove(path);
    WriteFile(folder + "/elsewhere", "old");
    std::filesystem::create_symlink(folder + "/elsewhere", path);
    InitDefaults();
    SaveSettings();
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(folder + "/elsewhere"), SettingsFile(DefaultSettings()));
}

using PathsAndSlots = StandinEngine;

// set_path changes to the program's folder when there is one; a file that does not load, or
// whose path no slot holds, leaves the slot table alone.
TEST_F(PathsAndSlots, SetPathFindsTheProgramsFolderAndAFileNoSlotCanHoldLeavesTheTableAlone)
{
    std::string canonical = std::filesystem::canonical(files.Path());
    set_path(files.File("Harmoloom").c_str());
    for (const std::string& other : {std::string("Harmoloom"), std::string("/no/such/Harmoloom"),
                                     "/" + std::string(20000, 'd') + "/Harmoloom"})
    {
        set_path(other.c_str());
        EXPECT_EQ(std::filesystem::current_path().string(), canonical) << other.substr(0, 30);
    }
    EXPECT_STREQ(get_path(("/" + std::string(APP_PATH_SIZE, 'f') + "/Harmoloom").c_str()), "");
    ASSERT_EQ(chdir("/"), 0);

    unsetenv("DISPLAY");
    unsetenv("HARMOLOOM_ALERT_ANSWERS");
    PageLoads page(Synth);
    ASSERT_TRUE(page.Add(Font("a").c_str()));
    page.Join();
    std::string deep = files.Path(); // a file that is there, but too deep for a slot
    while (deep.size() < SOUNDFONT_PATH_SIZE)
        deep += "/" + std::string(200, 'd');
    std::filesystem::create_directories(deep);
    WriteFile(deep + "/f.sf2", "not a RIFF file");
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(page.Add(files.File("missing").c_str())); // the table takes it at first
    page.Join();
    EXPECT_FALSE(page.Add((deep + "/f.sf2").c_str()));
    std::string alerts = ::testing::internal::GetCapturedStderr();
    std::string failed = AlertOnStderr("failed", alert_text::kCannotLoad);
    ASSERT_NE(alerts.find(failed), std::string::npos) << alerts;
    EXPECT_NE(alerts.find(failed, alerts.find(failed) + 1), std::string::npos) << alerts;
    EXPECT_EQ(soundfont_paths[0], files.File("a"));
    EXPECT_STREQ(soundfont_paths[1], "");
}
