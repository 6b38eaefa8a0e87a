// The rules of the instrument table: where files go, how slots move, bank limits, and what
// start-up does when remembered files are missing. The engine here is the recording stand-in,
// so that 128 files load in no time and every unload and re-bank can be seen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "instruments/SlotTable.h"
#include "platform/support/AddOn.h"
#include "tests/support/TestSupport.h"

namespace
{

const char kNoLoad[] = "Alert \"noload\" (info):\nOne or more Soundfont/wave files you were using "
                       "last time couldn't be loaded this time.\nPerhaps a drive holding the "
                       "files isn't mounted, or the files have been moved.\nWhat do you wish to "
                       "do?\nButtons: [0] \"Exit application\" [1] \"Try again\" [2] \"Continue "
                       "without them\"";

class SlotTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");
        unsetenv("HARMOLOOM_ALERT_ANSWERS");
        setenv("STANDIN_LOG", folder.File("calls.log").c_str(), 1);
        LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
        Synth = new HARMOLOOM(48000);
        ASSERT_EQ(Synth->InitCheck(), 0);
        InitDefaults();
        std::memset(handles, 0, sizeof(handles));
        std::filesystem::remove(folder.File("calls.log"));
    }

    void TearDown() override
    {
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
        unsetenv("STANDIN_LOG");
    }

    // A file the stand-in loads (any readable file goes the SoundFont way).
    std::string Font(const std::string& name)
    {
        std::string path = folder.File(name);
        WriteFile(path, "not a RIFF file");
        return path;
    }

    std::vector<std::string> Calls(const std::string& prefix)
    {
        std::vector<std::string> matching;
        std::istringstream log(ReadFile(folder.File("calls.log")));
        for (std::string line; std::getline(log, line);)
        {
            if (line.rfind(prefix, 0) == 0)
                matching.push_back(line);
        }
        return matching;
    }

    std::string Path(int slot) const { return soundfont_paths[slot]; }

    TemporaryFolder folder;
    int handles[SOUNDFONT_SLOTS];
};

TEST_F(SlotTable, NewFilesEnterAtSlotZeroWithBankZero)
{
    EXPECT_FALSE(AddSoundfontFile("", handles));
    EXPECT_FALSE(AddSoundfontFile(nullptr, handles));
    std::string a = Font("a.sf2");
    std::string b = Font("b.sf2");
    ASSERT_TRUE(AddSoundfontFile(a.c_str(), handles));
    soundfont_banks[0] = 5;
    ASSERT_TRUE(AddSoundfontFile(b.c_str(), handles));
    EXPECT_EQ(Path(0), b);
    EXPECT_EQ(Path(1), a);
    EXPECT_EQ(soundfont_banks[0], 0);
    EXPECT_EQ(soundfont_banks[1], 5) << "the bank moves with its file";
    EXPECT_NE(handles[0], 0);
    EXPECT_NE(handles[1], 0);
    EXPECT_NE(handles[0], handles[1]);
    EXPECT_EQ(Path(2), "");
}

TEST_F(SlotTable, TheTableIsFullWhenSlot127IsTaken)
{
    for (int file = 0; file < 127; file++)
        ASSERT_TRUE(AddSoundfontFile(Font("f" + std::to_string(file)).c_str(), handles));
    EXPECT_EQ(Path(127), "");
    ASSERT_TRUE(AddSoundfontFile(Font("last").c_str(), handles)) << "slot 127 is the last one";
    EXPECT_EQ(Path(127), folder.File("f0"));

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(AddSoundfontFile(Font("one-too-many").c_str(), handles));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "Alert \"toomany\" (stop):\nSorry, cannot load that file, because too many "
                  "Soundfonts are loaded. Please remove one or more Soundfonts, and try again."),
              std::string::npos);
    EXPECT_EQ(Path(0), folder.File("last"));
    EXPECT_EQ(Calls("fluid_synth_sfload(" + folder.File("one-too-many")).size(), 0u);
}

TEST_F(SlotTable, AFileThatDoesNotLoadLeavesTheTableAlone)
{
    ASSERT_TRUE(AddSoundfontFile(Font("a.sf2").c_str(), handles));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(AddSoundfontFile(folder.File("missing.sf2").c_str(), handles));
    std::string overlong = "/" + std::string(1100, 'x');
    EXPECT_FALSE(AddSoundfontFile(overlong.c_str(), handles)) << "the slot could not hold it";
    std::string alerts = ::testing::internal::GetCapturedStderr();
    const std::string failed = "Alert \"failed\" (stop):\nSorry, cannot load that file. You may be "
                               "low on memory, or the file may be incompatible. If the former, "
                               "please remove some Soundfonts (or close some applications), and "
                               "try again.";
    size_t first = alerts.find(failed);
    ASSERT_NE(first, std::string::npos) << alerts;
    EXPECT_NE(alerts.find(failed, first + 1), std::string::npos);
    EXPECT_EQ(Path(0), folder.File("a.sf2"));
    EXPECT_EQ(Path(1), "");
}

TEST_F(SlotTable, RemovingCloseUpTheGapAndFreesSlot127)
{
    for (const char* name : {"a", "b", "c"})
        ASSERT_TRUE(AddSoundfontFile(Font(name).c_str(), handles));
    int removed = handles[0];
    int kept[2] = {handles[1], handles[2]};
    RemoveSoundfontSlot(0, handles);
    EXPECT_EQ(Path(0), folder.File("b"));
    EXPECT_EQ(Path(1), folder.File("a"));
    EXPECT_EQ(Path(2), "");
    EXPECT_EQ(handles[0], kept[0]);
    EXPECT_EQ(handles[1], kept[1]);
    EXPECT_EQ(handles[2], 0);
    EXPECT_EQ(Calls("fluid_synth_sfunload"),
              std::vector<std::string>{"fluid_synth_sfunload(" + std::to_string(removed) + ",1)"});

    RemoveSoundfontSlot(128, handles);
    RemoveSoundfontSlot(-1, handles);
    RemoveSoundfontSlot(1, handles);
    RemoveSoundfontSlot(0, handles);
    EXPECT_EQ(Path(0), "");
    EXPECT_EQ(Calls("fluid_synth_sfunload").size(), 3u);
}

TEST_F(SlotTable, BanksAreClampedStoredAndAlwaysApplied)
{
    ASSERT_TRUE(AddSoundfontFile(Font("a").c_str(), handles));
    std::string id = std::to_string(handles[0]);
    EXPECT_EQ(SetSoundfontBank(0, 200, handles), 127);
    EXPECT_EQ(soundfont_banks[0], 127);
    EXPECT_EQ(SetSoundfontBank(0, soundfont_banks[0] + 1, handles), 127) << "\"+\" at 127";
    EXPECT_EQ(SetSoundfontBank(0, -3, handles), 0);
    EXPECT_EQ(SetSoundfontBank(0, soundfont_banks[0] - 1, handles), 0) << "\"-\" at 0";
    EXPECT_EQ(SetSoundfontBank(0, BankFromText("12abc"), handles), 12);
    EXPECT_EQ(Calls("fluid_synth_set_bank_offset(" + id),
              (std::vector<std::string>{"fluid_synth_set_bank_offset(" + id + ",0)", // the load
                                        "fluid_synth_set_bank_offset(" + id + ",127)",
                                        "fluid_synth_set_bank_offset(" + id + ",127)",
                                        "fluid_synth_set_bank_offset(" + id + ",0)",
                                        "fluid_synth_set_bank_offset(" + id + ",0)",
                                        "fluid_synth_set_bank_offset(" + id + ",12)"}));

    EXPECT_EQ(BankFromText("200"), 200);
    EXPECT_EQ(BankFromText("-3"), -3);
    EXPECT_EQ(BankFromText("  +7"), 7);
    EXPECT_EQ(BankFromText("abc"), 0);
    EXPECT_EQ(BankFromText(""), 0);
    EXPECT_EQ(BankFromText(nullptr), 0);
    EXPECT_EQ(SetSoundfontBank(0, BankFromText("99999999999999999999"), handles), 127);
}

TEST_F(SlotTable, StartupLoadsFromSlot127DownSoSlotZeroComesLast)
{
    std::strcpy(soundfont_paths[0], Font("zero").c_str());
    std::strcpy(soundfont_paths[3], Font("three").c_str());
    std::strcpy(soundfont_paths[127], Font("last").c_str());
    soundfont_banks[3] = 9;
    LoadRememberedSoundfonts(handles);
    EXPECT_EQ(Calls("fluid_synth_sfload"),
              (std::vector<std::string>{"fluid_synth_sfload(" + folder.File("last") + ",1)",
                                        "fluid_synth_sfload(" + folder.File("three") + ",1)",
                                        "fluid_synth_sfload(" + folder.File("zero") + ",1)"}));
    EXPECT_NE(handles[0], 0);
    EXPECT_NE(handles[3], 0);
    EXPECT_EQ(handles[1], 0);
    EXPECT_EQ(Calls("fluid_synth_set_bank_offset(" + std::to_string(handles[3]) + ",9)").size(),
              1u);
}

// The answers of the "noload" alert, each in a process of its own: scripted answers are taken
// once per process, and one of them ends it.
class SlotTableDeathTest : public SlotTable
{
protected:
    void Remember(const std::vector<std::string>& names)
    {
        for (size_t slot = 0; slot < names.size(); slot++)
        {
            std::string path =
                names[slot].rfind("missing", 0) == 0 ? folder.File(names[slot]) : Font(names[slot]);
            std::strcpy(soundfont_paths[slot], path.c_str());
            soundfont_banks[slot] = static_cast<int>(slot) + 1;
        }
    }
};

TEST_F(SlotTableDeathTest, ContinueWithoutThemLeavesGapsThatMoveWithLaterFiles)
{
    Remember({"a", "missing", "b"});
    auto answer_continue = [this]
    {
        setenv("HARMOLOOM_ALERT_ANSWERS", "2", 1);
        LoadRememberedSoundfonts(handles);
        bool gap = Path(1).empty() && soundfont_banks[1] == 0 && handles[1] == 0;
        bool kept = Path(0) == folder.File("a") && Path(2) == folder.File("b") && handles[0] != 0 &&
                    handles[2] != 0 && soundfont_banks[2] == 3;
        AddSoundfontFile(Font("c").c_str(), handles);
        bool moved = Path(0) == folder.File("c") && Path(1) == folder.File("a") &&
                     Path(2).empty() && Path(3) == folder.File("b");
        _exit(gap && kept && moved ? 0 : 1);
    };
    EXPECT_EXIT(answer_continue(), ::testing::ExitedWithCode(0), RegexLiteral(kNoLoad));
}

TEST_F(SlotTableDeathTest, ExitApplicationUnloadsWhatLoadedAndEndsWithStatusZero)
{
    Remember({"a", "missing", "b"});
    auto answer_exit = [this]
    {
        setenv("HARMOLOOM_ALERT_ANSWERS", "0", 1);
        LoadRememberedSoundfonts(handles);
        _exit(3); // not reached
    };
    EXPECT_EXIT(answer_exit(), ::testing::ExitedWithCode(0), RegexLiteral(kNoLoad));
    EXPECT_EQ(Calls("fluid_synth_sfload").size(), 2u) << "the missing file never reaches it";
    EXPECT_EQ(Calls("fluid_synth_sfunload").size(), 2u) << "both that loaded are unloaded";
}

TEST_F(SlotTableDeathTest, TryAgainUnloadsAndLoadsEverythingAgain)
{
    Remember({"a", "missing"});
    auto answer_try_then_continue = [this]
    {
        setenv("HARMOLOOM_ALERT_ANSWERS", "1,2", 1);
        LoadRememberedSoundfonts(handles);
        _exit(Path(1).empty() && handles[0] != 0 ? 0 : 1);
    };
    EXPECT_EXIT(answer_try_then_continue(), ::testing::ExitedWithCode(0),
                RegexLiteral(kNoLoad) + ".*Answered \\[1\\].*" + RegexLiteral(kNoLoad) +
                    ".*Answered \\[2\\]");
    EXPECT_EQ(Calls("fluid_synth_sfload(" + folder.File("a")).size(), 2u);
    EXPECT_EQ(Calls("fluid_synth_sfunload").size(), 1u);
}

} // namespace
