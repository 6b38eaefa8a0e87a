// The slider class and the pages, built without a window or a display on the recording stand-in:
// what a slider, a page or a row hands to FluidSynth is read back as FluidSynth received it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "app/Settings.h"
#include "engine/Harmoloom.h"
#include "tests/support/AlertTexts.h"
#include "tests/support/Engines.h"
#include "ui/EffectsView.h"
#include "ui/MainView.h"
#include "ui/SetupView.h"
#include "ui/Slider.h"
#include "ui/SoundfontsView.h"

namespace
{

const BRect kPageFrame(0, 0, 380, 296); // the tab view's bounds in the main window

// Each place in text where one of the words begins, as that word, each followed by a space.
std::string picked(const std::string& text, const std::vector<std::string>& words)
{
    std::string found;
    for (size_t at = 0; at < text.size(); at++)
        for (const std::string& word : words)
            found += text.compare(at, word.size(), word) == 0 ? word + " " : "";
    return found;
}

// The last argument of each call of the name in calls, each followed by a space.
std::string last_arguments(const std::string& calls, const std::string& name)
{
    std::string found;
    for (size_t at = 0; (at = calls.find(name + "(", at)) != std::string::npos; at++)
    {
        size_t end = calls.find(')', at);
        size_t comma = calls.rfind(',', end);
        found += calls.substr(comma + 1, end - comma - 1) + " ";
    }
    return found;
}

class Pages : public StandinEngine
{
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");
        StandinEngine::SetUp();
    }
    std::vector<int32> Settings() const { return {settings, settings + SETTINGS_COUNT}; }
};

TEST_F(Pages, EverySliderKindStoresLabelsAndReachesFluidSynth)
{
    using namespace setting;
    // Kind, value, the field that stores it (-1: none), label ("initial": its own stays), and
    // what reaches an engine at reverb 0.7, 1.3, 1, 0.7 and chorus 6, 0.7, 3, 1.
    const std::tuple<int, int32, int, const char*, const char*> cases[] = {
        {1, 15, reverb_room_size, "Room Size: 50%", "set_reverb(0.5,1.3,1,0.7) "},
        {1, 45, reverb_room_size, "Room Size: 100%", "set_reverb(1,1.3,1,0.7) "},
        {2, 29, reverb_damping, "Damping: 96%", "set_reverb(0.7,0.966667,1,0.7) "},
        {3, 0, reverb_width, "Width: 0%", "set_reverb(0.7,1.3,0,0.7) "},
        {4, 0, reverb_level, "Return Level: OFF", "reverb_on(-1,0) set_reverb(0.7,1.3,1,0) "},
        {4, 1, reverb_level, "Return Level: -31.5dB", "set_reverb(0.7,1.3,1,0.0266073) "},
        {4, 30, reverb_level, "Return Level: 12.0dB", "set_reverb(0.7,1.3,1,3.98107) "},
        {5, 0, chorus_voices, "Voices: 1", "set_chorus(1,0.7,3,1,0) "},
        {6, 30, chorus_frequency, "Frequency 4.9Hz", "set_chorus(6,0.7,4.9,1,0) "},
        {7, 15, chorus_depth, "Depth: 50%", "set_chorus(6,0.7,3,0.5,0) "},
        {7, 30, chorus_depth, "Depth: 100%", ""}, // 1 ms is the engine's already
        {8, 0, chorus_level, "Return Level: OFF", "chorus_on(-1,0) set_chorus(6,0,3,1,0) "},
        {9, 17, output_level_db, "initial", "set_gain(7.07946) "},
        {9, -99, output_level_db, "initial", "set_gain(0.01) "},
        {10, -1, polyphony_step, "Polyphony: 16 voices", "set_polyphony(16) "},
        {10, 30, polyphony_step, "Polyphony: 256 voices", "set_polyphony(256) "},
        {0, 7, -1, "initial", ""},
        {11, 7, -1, "initial", ""},
    };
    for (auto [kind, value, field, label, sent] : cases)
    {
        SCOPED_TRACE("kind " + std::to_string(kind) + " at " + std::to_string(value));
        NewEngine();
        InitDefaults();
        int32 low = kind == 5 ? 1 : kind == 9 ? -40 : 0;
        int32 high = kind == 5 ? 16 : kind == 9 ? 17 : 30;
        std::vector<int32> expected = Settings();
        SLIDER slider(BRect(0, 0, 100, 20), "slider", "initial", low, high, kind);
        slider.SetValue(value);
        EXPECT_EQ(slider.Value(), std::clamp(value, low, high));
        EXPECT_STREQ(slider.Label(), label);
        if (field >= 0)
            expected[field] = slider.Value();
        EXPECT_EQ(Settings(), expected) << "the slider's own field changes, no other";
        EXPECT_EQ(Sent(), sent);
        slider.SetValue(value);
        EXPECT_TRUE(kind > SLIDER_CHORUS_LEVEL || Sent().empty()) << "an effect's unchanged value";
    }
}

TEST_F(Pages, StoredValuesReachTheEngineOutOfRangeOnesAreTakenAndSetupStoresItsChoicesAtItsEnd)
{
    FXVIEW effects(kPageFrame, "  Effects  ");
    EXPECT_EQ(Sent(), "set_reverb(0.6,1.3,1,0.7) set_reverb(0.6,0.666667,1,0.7) "
                      "set_reverb(0.6,0.666667,0.7,0.7) set_reverb(0.6,0.666667,0.7,1) "
                      "set_chorus(4,0.7,3,1,0) set_chorus(4,0.7,2.5,1,0) set_chorus(4,1,2.5,1,0) ");
    auto page = std::make_unique<MAINVIEW>(kPageFrame, "  Main  ");
    EXPECT_EQ(Sent(), "set_gain(0.251189) set_polyphony(128) ") << "-12 dB, step 14";
    EXPECT_EQ(page->QualityMenu()->FindMarked(), page->QualityMenu()->ItemAt(1));
    for (int32 stored_quality : {INT32_MAX, -1})
    {
        settings[setting::quality] = stored_quality;
        settings[setting::output_level_db] = 99;
        settings[setting::polyphony_step] = -5;
        page = std::make_unique<MAINVIEW>(kPageFrame, "  Main  ");
        EXPECT_EQ(page->QualityMenu()->FindMarked(), nullptr) << stored_quality;
        EXPECT_EQ(settings[setting::quality], stored_quality) << "the page only marks the item";
        EXPECT_EQ(settings[setting::output_level_db], 17);
        EXPECT_EQ(settings[setting::polyphony_step], 0);
        EXPECT_STREQ(page->PolyphonySlider()->Label(), "Polyphony: 16 voices");
        EXPECT_EQ(Sent(), "set_gain(7.07946) set_polyphony(16) ");
    }
    page.reset();

    // The Setup page stores its choices when it goes, and leaves damaged stored ones as they are.
    using namespace setting;
    settings[priority_index] = 2;
    settings[two_ports] = 1;
    auto setup = std::make_unique<SETUPVIEW>(kPageFrame, "  Setup  ");
    EXPECT_EQ(setup->priority_menu->FindMarked(), setup->priority_menu->ItemAt(2));
    EXPECT_EQ(setup->device_menu->ShownLabel(), "None") << "no output is open here";
    EXPECT_TRUE(setup->rate_field->IsEnabled() && setup->timing_field->IsEnabled())
        << "no JACK server decides them";
    std::vector<int32> expected = Settings();
    setup->rate_field->Chosen(4);
    setup->timing_field->Chosen(3);
    setup->ports_box->SetValue(0);
    EXPECT_EQ(Settings(), expected) << "nothing is stored while the page is there";
    setup.reset();
    expected[sample_rate_index] = 4;
    expected[timing_index] = 3;
    expected[two_ports] = 0;
    EXPECT_EQ(Settings(), expected);
    EXPECT_EQ(Sent(), "") << "nothing acts while the program runs";

    settings[sample_rate_index] = 5;
    settings[timing_index] = -1;
    settings[priority_index] = 1000;
    settings[cutout] = 7;
    expected = Settings();
    expected[cutout] = 1;
    setup = std::make_unique<SETUPVIEW>(kPageFrame, "  Setup  ");
    EXPECT_EQ(setup->rate_menu->FindMarked(), nullptr);
    EXPECT_EQ(setup->timing_menu->FindMarked(), nullptr);
    EXPECT_EQ(setup->priority_menu->FindMarked(), nullptr);
    EXPECT_EQ(setup->rate_menu->ShownLabel(), "48 KHz") << "the menu's own name";
    setup.reset();
    EXPECT_EQ(Settings(), expected) << "start-up maps such values; the page leaves them";
}

class SoundfontsPage : public Pages
{
protected:
    // The alerts shown on standard error while f ran.
    template <typename F> static std::string Alerts(F f)
    {
        ::testing::internal::CaptureStderr();
        f();
        return ::testing::internal::GetCapturedStderr();
    }
    std::string Build()
    {
        return Alerts([&] { page = std::make_unique<SFVIEW>(kPageFrame, "  Soundfonts  "); });
    }
    // The page's loader frees what it holds through the engine, which goes next.
    void TearDown() override
    {
        page.reset();
        Pages::TearDown();
    }
    std::unique_ptr<SFVIEW> page;
};

// Try again loads everything once more; then, on a page over an empty table, typed banks.
TEST_F(SoundfontsPage, TryAgainReloadsAllTypedBanksAreClampedAndTheScrollRangeFollowsTheRows)
{
    std::strcpy(soundfont_paths[0], Font("a.sf2").c_str());
    std::strcpy(soundfont_paths[1], Font("b.sf2").c_str());
    soundfont_banks[1] = 5;
    recorder.set_sfload_result(-1); // slot 1, loaded first, fails this once
    setenv("HARMOLOOM_ALERT_ANSWERS", "1", 1);
    std::string alerts = Build();
    std::string asked = AlertOnStderr("noload", alert_text::kNotLoaded, "info");
    EXPECT_EQ(alerts.find(asked), alerts.rfind(asked)) << "the second round loads all" << alerts;
    EXPECT_NE(alerts.find("Answered [1] \"Try again\""), std::string::npos) << alerts;
    EXPECT_EQ(picked(Sent(), {"/a.sf2", "/b.sf2", "remove_sfont"}),
              "/b.sf2 /a.sf2 remove_sfont remove_sfont /b.sf2 remove_sfont /a.sf2 remove_sfont ")
        << "slot 1 loads first; each load leaves the loading synth; what loaded is removed";
    EXPECT_NE(page->Handle(0), 0);
    EXPECT_NE(page->Handle(1), 0);
    EXPECT_STREQ(page->Row(1)->bank_field->Text(), "5");

    unsetenv("HARMOLOOM_ALERT_ANSWERS");
    page.reset();
    InitDefaults();
    Build();
    page->AddFile(Font("f0").c_str());
    EXPECT_NE(page->Row(0)->loading_label, nullptr);
    page->Loader()->WaitUntilIdle();
    page->TakeLoadedFonts();
    EXPECT_EQ(page->Row(0)->loading_label, nullptr);
    BTextControl* field = page->Row(0)->bank_field;
    Sent();
    std::string banks;
    for (const char* text : {"200", "127", "-3", "12abc", "abc", "  +7", ""})
    {
        field->SetText(text);
        page->BankTyped(0, page->Row(0)->generation);
        banks += std::to_string(soundfont_banks[0]) + "/" + field->Text() + " ";
    }
    EXPECT_EQ(banks, "127/127 127/127 0/0 12/12 0/0 7/7 0/0 ") << "stored/shown";
    EXPECT_EQ(last_arguments(Sent(), "set_bank_offset"), "127 127 0 12 0 7 0 ")
        << "each typed bank is applied, also one that did not change";

    int added = 1;
    float low = -1;
    float high = -1;
    // 26 pixels a row in a list 226 pixels high, until the table is full.
    for (auto [rows, range] : {std::pair{1, 0.0f}, {8, 0.0f}, {9, 9.0f}, {128, 3103.0f}})
    {
        for (; added < rows; added++)
            page->AddFile(Font("f" + std::to_string(added)).c_str());
        page->ListScrollBar()->GetRange(&low, &high);
        EXPECT_EQ(low + high, range) << rows << " rows";
        EXPECT_EQ(page->ListScrollBar()->Value(), 0) << "a rebuilt list starts at the top";
        page->ScrollList(100);
        EXPECT_EQ(page->ListScrollBar()->Value(), std::min(range, 100.0f));
    }
    page->Loader()->WaitUntilIdle();
    Sent();
    alerts = Alerts([&] { page->AddFile(Font("one too many").c_str()); });
    EXPECT_NE(alerts.find(AlertOnStderr("toomany", alert_text::kTooMany)), std::string::npos);
    EXPECT_EQ(Sent().find("sfload"), std::string::npos);
    EXPECT_STREQ(page->Row(0)->name_label->Text(), "f127");
    EXPECT_STREQ(page->Row(127)->name_label->Text(), "f0");
}

TEST(DisplayName, CutAfter24CharactersNeverInsideOne)
{
    auto shown = [](const std::string& path)
    {
        char name[100];
        DisplayName(path.c_str(), name, sizeof(name));
        return std::string(name);
    };
    std::string letters = "abcdefghijklmnopqrstuvwxyz";
    std::string accented = letters.substr(0, 23) + "\xC3\xA9"; // 24 characters, 25 bytes
    std::string wide = "\xE2\x82\xAC" + std::string(24, 'x');  // a three-byte first one
    EXPECT_EQ(shown("/fonts/" + letters.substr(0, 24)), letters.substr(0, 24));
    EXPECT_EQ(shown("/fonts/" + letters.substr(0, 25)), letters.substr(0, 24) + "...");
    EXPECT_EQ(shown("/fonts/" + accented), accented);
    EXPECT_EQ(shown("/fonts/" + accented + "z.sf2"), accented + "...");
    EXPECT_EQ(shown(wide), "\xE2\x82\xAC" + std::string(23, 'x') + "...");
    EXPECT_EQ(shown("/home/me/x.sf2"), "x.sf2");
    EXPECT_EQ(shown("x.sf2"), "x.sf2");
    EXPECT_EQ(shown("/home/me/fonts/"), "fonts/");
    EXPECT_EQ(shown("/"), "/");
}

} // namespace
