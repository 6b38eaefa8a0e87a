// The Soundfonts page built without a window or a display: its rows, their names and messages,
// the scroll range, and what add, remove and the bank buttons do to the slots and the engine.
// Most cases run on the recording stand-in, whose every load and re-bank can be read back; the
// last one loads real SoundFonts into the real libfluidsynth.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"
#include "ui/SoundfontsView.h"

namespace
{

const BRect kPageFrame(0, 0, 380, 296);
const rgb_color kPanel = {216, 216, 216, 255};
const rgb_color kWhite = {255, 255, 255, 255};

const char kNoLoad[] = "Alert \"noload\" (info):\nOne or more Soundfont/wave files you were using "
                       "last time couldn't be loaded this time.\nPerhaps a drive holding the "
                       "files isn't mounted, or the files have been moved.\nWhat do you wish to "
                       "do?\nButtons: [0] \"Exit application\" [1] \"Try again\" [2] \"Continue "
                       "without them\"";
const char kFailed[] = "Alert \"failed\" (stop):\nSorry, cannot load that file. You may be low on "
                       "memory, or the file may be incompatible. If the former, please remove "
                       "some Soundfonts (or close some applications), and try again.";
const char kTooMany[] = "Alert \"toomany\" (stop):\nSorry, cannot load that file, because too many "
                        "Soundfonts are loaded. Please remove one or more Soundfonts, and try "
                        "again.";

// Scripted alert answers are taken from where the previous one left off, so within this process
// the list only grows.
void AnswerNextAlert(int button)
{
    static std::string answers;
    answers += (answers.empty() ? "" : ",") + std::to_string(button);
    setenv("HARMOLOOM_ALERT_ANSWERS", answers.c_str(), 1);
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

uint32 Code(const char (&base)[5], int slot)
{
    return four_char_code(base) + static_cast<uint32>(slot);
}

class SoundfontsPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");
        LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
        recorder.Bind();
        Synth = new HARMOLOOM(48000);
        ASSERT_EQ(Synth->InitCheck(), 0);
        InitDefaults();
        recorder.Take();
    }

    void TearDown() override
    {
        page.reset();
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
    }

    // A file the stand-in loads: any readable file goes the SoundFont way.
    std::string Font(const std::string& name)
    {
        std::string path = folder.File(name);
        WriteFile(path, "not a RIFF file");
        return path;
    }

    void Remember(int slot, const std::string& path, int bank)
    {
        std::strcpy(soundfont_paths[slot], path.c_str());
        soundfont_banks[slot] = bank;
    }

    // The calls since the last look that begin with prefix.
    Calls Taken(const std::string& prefix)
    {
        Calls matching;
        for (const std::string& call : recorder.Take())
        {
            if (call.rfind(prefix, 0) == 0)
                matching.push_back(call);
        }
        return matching;
    }

    // FluidSynth's font id behind a slot's handle.
    std::string Id(int slot) const
    {
        int handle = page->Handle(slot);
        return std::to_string(handle == -1 ? 0 : handle);
    }

    std::string Offset(int slot, int bank) const
    {
        return "fluid_synth_set_bank_offset(" + Id(slot) + "," + std::to_string(bank) + ")";
    }

    std::string Name(int slot) const { return page->Row(slot)->name_label->Text(); }

    std::vector<int> RowSlots() const
    {
        std::vector<int> slots;
        for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
        {
            if (page->Row(slot) != nullptr)
                slots.push_back(slot);
        }
        return slots;
    }

    void ExpectRange(float maximum)
    {
        float low = -1;
        float high = -1;
        page->ListScrollBar()->GetRange(&low, &high);
        EXPECT_EQ(low, 0);
        EXPECT_EQ(high, maximum);
    }

    TemporaryFolder folder;
    StandinRecorder recorder;
    std::unique_ptr<SFVIEW> page;
};

TEST_F(SoundfontsPage, PageAndRowLayout)
{
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    EXPECT_EQ(page->ViewColor(), kPanel);
    EXPECT_EQ(page->visible, 0);
    EXPECT_STREQ(page->add_button->Name(), "add");
    EXPECT_EQ(page->add_button->Frame(), BRect(9, 9, 176, 21));
    EXPECT_STREQ(page->add_button->Label(), "Add Soundfont or wave file...");
    EXPECT_EQ(page->add_button->Message()->what, four_char_code("SFAD"));
    EXPECT_STREQ(page->bank_caption->Name(), "string");
    EXPECT_EQ(page->bank_caption->Frame(), BRect(273, 14, 360, 30));
    EXPECT_STREQ(page->bank_caption->Text(), "MIDI Bank #");
    EXPECT_TRUE(page->bank_caption->Font().IsBold());
    EXPECT_STREQ(page->scroll_view->Name(), "scrollview");
    EXPECT_EQ(page->scroll_view->Parent(), page.get());
    EXPECT_EQ(page->scroll_view->ScrollBar(B_HORIZONTAL), nullptr);
    EXPECT_EQ(page->ListScrollBar()->Target(), page->holder);
    EXPECT_STREQ(page->holder->Name(), "scrollviewholder");
    EXPECT_EQ(page->holder->ViewColor(), kWhite);
    EXPECT_EQ(page->holder->Bounds().Height(), 226) << "the visible list height";
    EXPECT_STREQ(page->scroll_area->Name(), "scrollarea");
    EXPECT_EQ(page->scroll_area->ViewColor(), kWhite);
    ASSERT_EQ(page->holder->CountChildren(), 1);
    EXPECT_EQ(page->holder->ChildAt(0), page->scroll_area);
    EXPECT_EQ(page->scroll_area->CountChildren(), 0);
    EXPECT_EQ(page->scroll_area->Bounds().Height(), 1);
    ExpectRange(0);

    std::string first = Font("first.sf2");
    page->AddFile(first.c_str());
    soundfont_banks[0] = 9;
    page->AddFile(Font("second.sf2").c_str());
    ASSERT_EQ(RowSlots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(page->scroll_area->Bounds().Height(), 53);
    EXPECT_EQ(page->scroll_area->ChildAt(0), page->Row(0));

    struct Part
    {
        const char* name;
        BRect frame;
        const char* text;
        uint32 base;
    };
    for (int slot : {0, 1})
    {
        SCOPED_TRACE("slot " + std::to_string(slot));
        FONTVIEW* row = page->Row(slot);
        EXPECT_STREQ(row->Name(), "soundfont");
        float top = 1.0f + 26.0f * static_cast<float>(slot);
        EXPECT_EQ(row->Frame(), BRect(0, top, 380, top + 24));
        EXPECT_EQ(row->ViewColor(), kPanel);
        EXPECT_EQ(row->ResizingMode(), static_cast<uint32>(B_FOLLOW_ALL));
        ASSERT_EQ(row->CountChildren(), 1);
        EXPECT_EQ(row->ChildAt(0), row->box);
        EXPECT_STREQ(row->box->Name(), "box");
        EXPECT_EQ(row->box->Frame(), BRect(-1, -2, 381, 25));
        EXPECT_EQ(row->box->Border(), B_FANCY_BORDER);
        EXPECT_EQ(row->box->CountChildren(), 5);

        auto* label = dynamic_cast<BStringView*>(row->box->FindView("string"));
        ASSERT_EQ(label, row->name_label);
        EXPECT_EQ(label->Frame(), BRect(67, 6, 249, 22));
        EXPECT_STREQ(label->Text(), slot == 0 ? "second.sf2" : "first.sf2");
        EXPECT_TRUE(label->Font().IsBold());
        for (const Part& part : {Part{"remove", BRect(5, 1, 63, 24), "Remove", Code("SFR ", 0)},
                                 Part{"minus", BRect(265, 1, 288, 24), "-", Code("SFM ", 0)},
                                 Part{"plus", BRect(320, 1, 343, 24), "+", Code("SFP ", 0)}})
        {
            auto* button = dynamic_cast<BButton*>(row->box->FindView(part.name));
            ASSERT_NE(button, nullptr) << part.name;
            EXPECT_EQ(button->Frame(), part.frame);
            EXPECT_STREQ(button->Label(), part.text);
            EXPECT_EQ(button->Message()->what, part.base + static_cast<uint32>(slot));
        }
        auto* field = dynamic_cast<BTextControl*>(row->box->FindView("textcontrol"));
        ASSERT_EQ(field, row->bank_field);
        EXPECT_EQ(field->Frame(), BRect(290, 3, 314, 24));
        EXPECT_STREQ(field->Label(), "");
        EXPECT_EQ(field->Divider(), 0);
        EXPECT_STREQ(field->Text(), slot == 0 ? "0" : "9") << "the bank moves with its file";
        EXPECT_EQ(field->Message()->what, Code("SFB ", slot));
    }
}

TEST(DisplayName, CutAfter24CharactersNeverInsideOne)
{
    char name[100];
    auto shown = [&name](const std::string& path)
    {
        DisplayName(path.c_str(), name, sizeof(name));
        return std::string(name);
    };
    std::string letters = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(shown("/fonts/" + letters.substr(0, 24)), letters.substr(0, 24));
    EXPECT_EQ(shown("/fonts/" + letters.substr(0, 25)), letters.substr(0, 24) + "...");
    std::string accented = letters.substr(0, 23) + "\xC3\xA9"; // 24 characters, 25 bytes
    EXPECT_EQ(shown("/fonts/" + accented), accented);
    EXPECT_EQ(shown("/fonts/" + accented + "z.sf2"), accented + "...");
    std::string wide = "\xE2\x82\xAC" + std::string(24, 'x'); // a three-byte first character
    EXPECT_EQ(shown(wide), "\xE2\x82\xAC" + std::string(23, 'x') + "...");
    EXPECT_EQ(shown("/home/me/x.sf2"), "x.sf2");
    EXPECT_EQ(shown("x.sf2"), "x.sf2");
    EXPECT_EQ(shown("/home/me/fonts/"), "fonts/");
    EXPECT_EQ(shown("/"), "/");
}

TEST_F(SoundfontsPage, ScrollRangeFollowsTheRowsAndTheTableFillsUp)
{
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    BScrollBar* bar = page->ListScrollBar();
    for (int file = 0; file < 8; file++)
        page->AddFile(Font("f" + std::to_string(file)).c_str());
    ExpectRange(0); // 209 pixels fit into 226

    page->AddFile(Font("f8").c_str());
    ExpectRange(9);
    EXPECT_FLOAT_EQ(bar->Proportion(), 226.0f / 235.0f);
    page->ScrollList(100);
    EXPECT_EQ(bar->Value(), 9);
    EXPECT_EQ(page->holder->Bounds().top, 9);
    page->AddFile(Font("f9").c_str());
    EXPECT_EQ(bar->Value(), 0) << "a rebuilt list starts at the top";
    EXPECT_EQ(page->holder->Bounds().top, 0);

    for (int file = 10; file < 127; file++)
        page->AddFile(Font("f" + std::to_string(file)).c_str());
    EXPECT_EQ(soundfont_paths[127][0], '\0');
    page->AddFile(Font("f127").c_str());
    EXPECT_EQ(RowSlots().size(), 128u);
    ExpectRange(3103);
    EXPECT_FLOAT_EQ(bar->Proportion(), 226.0f / 3329.0f);
    EXPECT_EQ(page->Row(127)->Frame(), BRect(0, 1 + 26 * 127, 380, 25 + 26 * 127));
    EXPECT_EQ(Name(127), "f0");

    recorder.Take();
    ::testing::internal::CaptureStderr();
    page->AddFile(Font("one too many").c_str());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(kTooMany), std::string::npos);
    EXPECT_EQ(Taken("fluid_synth_sfload"), Calls{});
    EXPECT_EQ(Name(0), "f127");
    EXPECT_EQ(Name(127), "f0");
}

TEST_F(SoundfontsPage, FreedSlotsLeaveNoGapAndRowsActOnTheirOwnSlot)
{
    Remember(0, Font("a.sf2"), 1);
    Remember(1, folder.File("unmounted/missing.sf2"), 2);
    Remember(2, Font("b.sf2"), 3);
    Remember(3, Font("c.sf2"), 4);
    ::testing::internal::CaptureStderr();
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    std::string alerts = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(alerts, kNoLoad), 1u) << alerts;
    EXPECT_NE(alerts.find("Answered [2] \"Continue without them\""), std::string::npos);
    EXPECT_EQ(soundfont_paths[1][0], '\0');
    EXPECT_EQ(soundfont_banks[1], 0);
    EXPECT_EQ(page->Handle(1), 0);

    ASSERT_EQ(RowSlots(), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(page->Row(2)->Frame().top, 27) << "no gap in the list";
    EXPECT_EQ(page->Row(3)->Frame().top, 53);
    EXPECT_EQ(Name(2), "b.sf2");
    EXPECT_STREQ(page->Row(2)->bank_field->Text(), "3");
    EXPECT_EQ(page->Row(2)->remove_button->Message()->what, Code("SFR ", 2));
    EXPECT_EQ(page->Row(2)->minus_button->Message()->what, Code("SFM ", 2));
    EXPECT_EQ(page->Row(2)->plus_button->Message()->what, Code("SFP ", 2));
    EXPECT_EQ(page->Row(2)->bank_field->Message()->what, Code("SFB ", 2));
    recorder.Take();

    page->BankUp(2);
    EXPECT_EQ(soundfont_banks[2], 4);
    EXPECT_STREQ(page->Row(2)->bank_field->Text(), "4");
    EXPECT_EQ(Taken("fluid_synth_set_bank_offset"), Calls{Offset(2, 4)});
    page->BankDown(1);
    page->BankUp(1);
    page->BankTyped(1, page->Row(2)->generation);
    EXPECT_EQ(recorder.Take(), Calls{}) << "slot 1 has no row";

    std::string unloaded = "fluid_synth_sfunload(" + Id(2) + ",1)";
    page->RemoveSlot(2);
    EXPECT_EQ(Taken("fluid_synth_sfunload"), Calls{unloaded});
    ASSERT_EQ(RowSlots(), (std::vector<int>{0, 2}));
    EXPECT_EQ(Name(2), "c.sf2");
    EXPECT_STREQ(page->Row(2)->bank_field->Text(), "4");
    EXPECT_EQ(page->Row(2)->remove_button->Message()->what, Code("SFR ", 2));

    page->AddFile(Font("d.sf2").c_str());
    ASSERT_EQ(RowSlots(), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(Name(0), "d.sf2");
    EXPECT_EQ(Name(1), "a.sf2");
    EXPECT_EQ(Name(3), "c.sf2");
    EXPECT_EQ(page->Row(3)->Frame().top, 53);
    EXPECT_EQ(page->Row(3)->plus_button->Message()->what, Code("SFP ", 3));

    for (int slot : {0, 0, 1})
        page->RemoveSlot(slot);
    EXPECT_EQ(RowSlots(), std::vector<int>{});
    EXPECT_EQ(page->scroll_area->CountChildren(), 0);
    ExpectRange(0);
    EXPECT_EQ(Taken("fluid_synth_sfunload").size(), 3u);
}

TEST_F(SoundfontsPage, BanksAreParsedClampedShownAndAlwaysApplied)
{
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    page->AddFile(Font("a.sf2").c_str());
    BTextControl* field = page->Row(0)->bank_field;
    recorder.Take();
    struct Typed
    {
        const char* text;
        int bank;
    };
    Calls expected;
    for (const Typed& typed : {Typed{"200", 127}, Typed{"-3", 0}, Typed{"12abc", 12},
                               Typed{"abc", 0}, Typed{"  +7", 7}, Typed{"", 0}})
    {
        field->SetText(typed.text);
        page->BankTyped(0, page->Row(0)->generation);
        EXPECT_EQ(soundfont_banks[0], typed.bank) << typed.text;
        EXPECT_STREQ(field->Text(), std::to_string(typed.bank).c_str()) << typed.text;
        expected.push_back(Offset(0, typed.bank));
    }
    page->BankDown(0);
    EXPECT_STREQ(field->Text(), "0");
    expected.push_back(Offset(0, 0));
    field->SetText("127");
    page->BankTyped(0, page->Row(0)->generation);
    page->BankUp(0);
    EXPECT_STREQ(field->Text(), "127");
    EXPECT_EQ(soundfont_banks[0], 127);
    expected.push_back(Offset(0, 127));
    expected.push_back(Offset(0, 127));

    Calls calls = recorder.Take();
    Calls offsets;
    size_t resets = 0;
    for (const std::string& call : calls)
    {
        if (call.rfind("fluid_synth_set_bank_offset", 0) == 0)
            offsets.push_back(call);
        resets += call == "fluid_synth_system_reset()" ? 1 : 0;
    }
    EXPECT_EQ(offsets, expected) << "also when the clamped bank has not changed";
    EXPECT_EQ(resets, expected.size()) << "each re-bank resets the channels";
}

TEST_F(SoundfontsPage, TryAgainLoadsEverythingOnceMore)
{
    Remember(0, Font("a.sf2"), 0);
    Remember(1, Font("b.sf2"), 5);
    recorder.set_sfload_result(-1); // slot 1, loaded first, fails this once
    AnswerNextAlert(1);
    ::testing::internal::CaptureStderr();
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    std::string alerts = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(alerts, kNoLoad), 1u) << "the second round loads everything" << alerts;
    EXPECT_NE(alerts.find("Answered [1] \"Try again\""), std::string::npos);

    Calls calls = recorder.Take();
    Calls loads;
    Calls unloads;
    for (const std::string& call : calls)
    {
        if (call.rfind("fluid_synth_sfload", 0) == 0)
            loads.push_back(call);
        if (call.rfind("fluid_synth_sfunload", 0) == 0)
            unloads.push_back(call);
    }
    std::string a = "fluid_synth_sfload(" + folder.File("a.sf2") + ",1)";
    std::string b = "fluid_synth_sfload(" + folder.File("b.sf2") + ",1)";
    EXPECT_EQ(loads, (Calls{b, a, b, a}));
    EXPECT_EQ(unloads.size(), 1u) << "what did load is unloaded before the next round";
    EXPECT_EQ(RowSlots(), (std::vector<int>{0, 1}));
    EXPECT_NE(page->Handle(0), 0);
    EXPECT_NE(page->Handle(1), 0);
    EXPECT_STREQ(page->Row(1)->bank_field->Text(), "5");
    EXPECT_EQ(soundfont_banks[1], 5);
}

// Real SoundFonts in the real libfluidsynth: what loads, what does not, and what the list shows.
class SoundfontsPageWithFluidSynth : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");
        if (!FileExists(TIMGM6MB_SOUNDFONT))
            GTEST_SKIP() << TIMGM6MB_SOUNDFONT << " is not installed";
        LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
        Synth = new HARMOLOOM(48000);
        ASSERT_EQ(Synth->InitCheck(), 0);
        InitDefaults();
    }

    void TearDown() override
    {
        page.reset();
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
    }

    std::string Link(const std::string& name)
    {
        std::filesystem::create_symlink(TIMGM6MB_SOUNDFONT, folder.File(name));
        return folder.File(name);
    }

    TemporaryFolder folder;
    std::unique_ptr<SFVIEW> page;
};

TEST_F(SoundfontsPageWithFluidSynth, AddAndRemoveRealFiles)
{
    std::strcpy(soundfont_paths[0], TIMGM6MB_SOUNDFONT);
    std::strcpy(soundfont_paths[1], folder.File("gone.sf2").c_str());
    std::strcpy(soundfont_paths[2], Link("copy.sf2").c_str());
    soundfont_banks[2] = 3;
    ::testing::internal::CaptureStderr();
    page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  ");
    std::string alerts = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(alerts, kNoLoad), 1u);
    ASSERT_NE(page->Row(0), nullptr);
    ASSERT_NE(page->Row(2), nullptr);
    EXPECT_EQ(page->Row(1), nullptr);
    EXPECT_STREQ(page->Row(0)->name_label->Text(), "TimGM6mb.sf2");
    EXPECT_STREQ(page->Row(2)->bank_field->Text(), "3");
    EXPECT_NE(page->Handle(0), 0);
    EXPECT_NE(page->Handle(2), 0);
    EXPECT_NE(page->Handle(0), page->Handle(2));

    std::string junk = folder.File("notes.sf2");
    WriteFile(junk, "not a SoundFont at all");
    ::testing::internal::CaptureStderr();
    page->AddFile(junk.c_str());
    page->AddFile("");
    alerts = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(alerts, kFailed), 1u) << "an empty path asks nothing";
    EXPECT_STREQ(soundfont_paths[0], TIMGM6MB_SOUNDFONT);
    EXPECT_EQ(page->scroll_area->CountChildren(), 2);

    page->AddFile(Link("x.sf2").c_str());
    ASSERT_NE(page->Row(0), nullptr);
    EXPECT_STREQ(page->Row(0)->name_label->Text(), "x.sf2");
    EXPECT_STREQ(page->Row(0)->bank_field->Text(), "0");
    EXPECT_STREQ(page->Row(1)->name_label->Text(), "TimGM6mb.sf2");
    EXPECT_EQ(page->Row(2), nullptr) << "the freed slot moved along";
    EXPECT_STREQ(page->Row(3)->name_label->Text(), "copy.sf2");
    int added = page->Handle(0);
    int copy = page->Handle(3);
    EXPECT_NE(added, 0);

    page->RemoveSlot(1);
    EXPECT_STREQ(soundfont_paths[0], folder.File("x.sf2").c_str());
    EXPECT_EQ(soundfont_paths[1][0], '\0');
    EXPECT_STREQ(soundfont_paths[2], folder.File("copy.sf2").c_str());
    EXPECT_EQ(page->Handle(0), added);
    EXPECT_EQ(page->Handle(2), copy);
    EXPECT_EQ(soundfont_banks[2], 3);
    EXPECT_EQ(page->scroll_area->CountChildren(), 2);
}

} // namespace
