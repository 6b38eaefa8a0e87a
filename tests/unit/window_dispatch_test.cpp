// The main window's one message handler, fed the messages its controls, its file panel, drops,
// the wheel and the keyboard send, without a display; what each message did is read from the
// slot table, the settings, the pages and the engine calls it caused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Debug.h"
#include "app/EffectPresets.h"
#include "app/Settings.h"
#include "audio/LevelMeter.h"
#include "platform/app/Application.h"
#include "platform/storage/Entry.h"
#include "platform/support/Threads.h"
#include "tests/support/WindowRig.h"
#include "ui/EffectsView.h"
#include "ui/MessageCodes.h"
#include "ui/SetupView.h"
#include "ui/SoundfontsView.h"
#include "ui/StatusWindow.h"
#include "ui/Window.h"

namespace
{

std::unique_ptr<WindowRig> rig;

class Dispatch : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("HARMOLOOM_FILE_PANEL_ANSWERS", "\n\n", 1); // panels are cancelled
        DEBUG_PRINT(nullptr, 0);
        rig = std::make_unique<WindowRig>();
    }
    static void TearDownTestSuite() { rig.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(rig->Ready());
        window = rig->Window();
        sfview = window->SoundfontsPage();
        fxview = window->EffectsPage();
        // Every test starts from an empty table with the Main page showing.
        window->Lock();
        window->Tabs()->Select(0);
        while (soundfont_paths[0][0] != '\0')
            sfview->RemoveSlot(0);
        window->Unlock();
        rig->EngineCalls();
    }

    // A file the stand-in engine accepts, under a name of its own (a copy: a drop follows links).
    std::string SoundfontNamed(const std::string& name)
    {
        std::string path = files.File(name);
        if (!FileExists(path))
            std::filesystem::copy_file(TIMGM6MB_SOUNDFONT, path);
        return path;
    }

    static BMessage WithRef(uint32 what, const std::string& path)
    {
        BMessage message(what);
        entry_ref ref(path);
        message.AddRef("refs", &ref);
        return message;
    }

    // The calls among these that start with prefix.
    static Calls Matching(const Calls& calls, const std::string& prefix)
    {
        Calls found;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                     [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
        return found;
    }

    // What the handler printed in debug mode while it dealt with the message.
    std::string DebugLinesOf(BMessage* message)
    {
        testing::internal::CaptureStdout();
        rig->Deliver(message);
        return testing::internal::GetCapturedStdout();
    }

    float ScrollValue() const { return sfview->ListScrollBar()->Value(); }

    WINDOW* window = nullptr;
    SFVIEW* sfview = nullptr;
    FXVIEW* fxview = nullptr;
    TemporaryFolder files;
};

TEST_F(Dispatch, AddButtonMakesThePanelOnceAndShowsItEveryTime)
{
    ASSERT_EQ(filepanel, nullptr);
    rig->Deliver(MSG_ADD_SOUNDFONT);
    BFilePanel* first = filepanel;
    ASSERT_NE(first, nullptr);
    rig->Deliver(MSG_ADD_SOUNDFONT);
    EXPECT_EQ(filepanel, first);
    EXPECT_EQ(filepanel->TimesShown(), 2);
    EXPECT_EQ(soundfont_paths[0][0], '\0') << "a cancelled panel adds nothing";
}

TEST_F(Dispatch, ChosenFileIsAddedBetweenTheStatusWindowsDebugLines)
{
    std::string path = SoundfontNamed("piano.sf2");
    BMessage chosen = WithRef(MSG_FILE_CHOSEN, path);
    std::string printed = DebugLinesOf(&chosen);
    EXPECT_NE(printed.find("DEBUG: File selected\nDEBUG: Adding soundfont\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("DEBUG: Finished adding soundfont\n"), std::string::npos) << printed;
    EXPECT_EQ(std::string(soundfont_paths[0]), path);
    EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_sfload"),
              Calls{"fluid_synth_sfload(" + path + ",1)"});
    EXPECT_EQ(statuswindow, nullptr) << "closed again";
    ASSERT_NE(sfview->Row(0), nullptr);
    EXPECT_STREQ(sfview->Row(0)->name_label->Text(), "piano.sf2");
}

TEST_F(Dispatch, ChosenMessageWithoutAUsableReferenceDoesNothing)
{
    BMessage empty(MSG_FILE_CHOSEN);
    EXPECT_EQ(DebugLinesOf(&empty), "DEBUG: File selected\n");
    BMessage wrong_type(MSG_FILE_CHOSEN);
    wrong_type.AddString("refs", SoundfontNamed("piano.sf2").c_str());
    EXPECT_EQ(DebugLinesOf(&wrong_type), "DEBUG: File selected\n");
    EXPECT_EQ(soundfont_paths[0][0], '\0');
    EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_sfload"), Calls{});
}

TEST_F(Dispatch, OnlyTheFirstOfSeveralDroppedFilesIsAdded)
{
    std::string first = SoundfontNamed("first piano.sf2");
    std::string list = "file://" + files.Path() + "/first%20piano.sf2\r\nfile://" +
                       SoundfontNamed("second.sf2") + "\r\nfile://" + SoundfontNamed("third.sf2") +
                       "\r\n";
    BMessage drop = drop_message(list.data(), list.size());
    std::string printed = DebugLinesOf(&drop);
    EXPECT_EQ(printed.rfind("DEBUG: File dragged\nDEBUG: Adding soundfont\n", 0), 0u) << printed;
    EXPECT_EQ(std::string(soundfont_paths[0]), first);
    EXPECT_EQ(soundfont_paths[1][0], '\0');
    EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_sfload").size(), 1u);
}

TEST_F(Dispatch, DropWithoutFileReferencesIsIgnored)
{
    const char text[] = "# nothing but a comment\r\n";
    BMessage no_files = drop_message(text, sizeof(text) - 1);
    EXPECT_EQ(DebugLinesOf(&no_files), "DEBUG: File dragged\n");
    const char selected[] = "piano.sf2 is\nwhat I play";
    BMessage words = drop_message(selected, sizeof(selected) - 1);
    EXPECT_EQ(DebugLinesOf(&words), "DEBUG: File dragged\n");
    BMessage plain_text(B_SIMPLE_DATA);
    plain_text.AddString("refs", SoundfontNamed("piano.sf2").c_str());
    EXPECT_EQ(DebugLinesOf(&plain_text), "DEBUG: File dragged\n");
    EXPECT_EQ(soundfont_paths[0][0], '\0');
}

TEST_F(Dispatch, MainPageButtonsAndQualityItems)
{
    meter_level_locker.Lock();
    peak_meter_level_l = 0.5f;
    peak_meter_level_r = 0.25f;
    meter_level_locker.Unlock();
    rig->Deliver(MSG_CLEAR_PEAK);
    meter_level_locker.Lock();
    // Silence is all the engine renders here, so the peaks stay where "Clear Peak" put them.
    EXPECT_EQ(peak_meter_level_l, 0.0f);
    EXPECT_EQ(peak_meter_level_r, 0.0f);
    meter_level_locker.Unlock();

    rig->Deliver(MSG_SYSTEM_RESET);
    EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_system_reset"),
              Calls{"fluid_synth_system_reset()"});

    const std::pair<uint32, int> items[] = {
        {MSG_QUALITY_LOW, 1}, {MSG_QUALITY_HIGH, 7}, {MSG_QUALITY_MEDIUM, 4}};
    for (auto [code, method] : items)
    {
        rig->Deliver(code);
        EXPECT_EQ(settings[setting::quality], (method - 1) / 3);
        EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_set_interp_method"),
                  Calls{"fluid_synth_set_interp_method(-1," + std::to_string(method) + ")"});
    }
}

TEST_F(Dispatch, PresetCodesLoadTheirRowAndCodesBeyondATableAreIgnored)
{
    rig->Deliver(MSG_REVERB_PRESET + 3);
    EXPECT_EQ(fxview->room_size_slider->Value(), REVERB_PRESET_PARAMETERS[3][0]);
    EXPECT_EQ(fxview->damping_slider->Value(), REVERB_PRESET_PARAMETERS[3][1]);
    EXPECT_EQ(fxview->width_slider->Value(), REVERB_PRESET_PARAMETERS[3][2]);
    rig->Deliver(MSG_CHORUS_PRESET + 8);
    EXPECT_EQ(fxview->voices_slider->Value(), std::max(CHORUS_PRESET_PARAMETERS[8][0], 1));
    EXPECT_EQ(fxview->frequency_slider->Value(), CHORUS_PRESET_PARAMETERS[8][1]);
    EXPECT_EQ(fxview->depth_slider->Value(), CHORUS_PRESET_PARAMETERS[8][2]);
    rig->EngineCalls();

    int32_t before[SETTINGS_COUNT];
    std::copy(settings, settings + SETTINGS_COUNT, before);
    for (uint32 code : {MSG_REVERB_PRESET + REVERB_PRESET_COUNT, MSG_REVERB_PRESET + 224,
                        MSG_CHORUS_PRESET + CHORUS_PRESET_COUNT, MSG_CHORUS_PRESET + 224})
        rig->Deliver(code);
    EXPECT_TRUE(std::equal(settings, settings + SETTINGS_COUNT, before));
    EXPECT_EQ(rig->EngineCalls(), Calls{});
}

TEST_F(Dispatch, RowCodesActOnTheirOwnSlot)
{
    std::string older = SoundfontNamed("older.sf2");
    std::string newer = SoundfontNamed("newer.sf2");
    BMessage first = WithRef(MSG_FILE_CHOSEN, older);
    rig->Deliver(&first);
    BMessage second = WithRef(MSG_FILE_CHOSEN, newer);
    rig->Deliver(&second);
    ASSERT_EQ(std::string(soundfont_paths[1]), older);
    int older_handle = sfview->Handle(1);
    rig->EngineCalls();

    rig->Deliver(MSG_BANK_UP + 1);
    EXPECT_EQ(soundfont_banks[1], 1);
    EXPECT_EQ(soundfont_banks[0], 0);
    EXPECT_STREQ(sfview->Row(1)->bank_field->Text(), "1");
    rig->Deliver(MSG_BANK_DOWN + 1);
    rig->Deliver(MSG_BANK_DOWN + 1); // at 0 already: stays, and the engine is told again
    EXPECT_EQ(soundfont_banks[1], 0);
    std::string offset = "fluid_synth_set_bank_offset(" + std::to_string(older_handle) + ",";
    EXPECT_EQ(Matching(rig->EngineCalls(), "fluid_synth_set_bank_offset"),
              (Calls{offset + "1)", offset + "0)", offset + "0)"}));

    BTextControl* field = sfview->Row(1)->bank_field;
    field->SetText("200");
    BMessage typed(*field->Message()); // as the field sends it
    typed.AddPointer("source", field);
    rig->Deliver(&typed);
    EXPECT_EQ(soundfont_banks[1], 127);
    EXPECT_STREQ(field->Text(), "127");
    BMessage sourceless(*field->Message());
    rig->Deliver(&sourceless);
    EXPECT_EQ(soundfont_banks[1], 127);

    // Typed, then the list rebuilt before the field's message is handled: the field is gone.
    field->SetText("5");
    sfview->ReAttach();
    rig->EngineCalls();
    rig->Deliver(&typed);
    EXPECT_EQ(soundfont_banks[1], 127);
    EXPECT_EQ(rig->EngineCalls(), Calls{}) << "a stale field's message does nothing";

    rig->EngineCalls();
    rig->Deliver(MSG_BANK_UP + 5); // a slot without a row
    EXPECT_EQ(soundfont_banks[5], 0);
    EXPECT_EQ(rig->EngineCalls(), Calls{});

    rig->Deliver(MSG_REMOVE_SLOT + 0);
    EXPECT_EQ(std::string(soundfont_paths[0]), older);
    EXPECT_EQ(soundfont_banks[0], 127) << "the bank moves with its file";
    EXPECT_EQ(sfview->Handle(0), older_handle);
    EXPECT_EQ(soundfont_paths[1][0], '\0');
}

TEST_F(Dispatch, WheelAndKeysScrollTheListOnlyWhileItShows)
{
    window->Lock();
    for (int slot = 0; slot < 20; slot++)
        std::snprintf(soundfont_paths[slot], SOUNDFONT_PATH_SIZE, "/music/%d.sf2", slot);
    sfview->ReAttach();
    window->Unlock();
    float low = -1;
    float high = -1;
    sfview->ListScrollBar()->GetRange(&low, &high);
    ASSERT_EQ(high, 1 + 26 * 20 - 226);

    auto wheel = [](float delta)
    {
        BMessage message(MSG_MOUSE_WHEEL);
        message.AddFloat("be:wheel_delta_y", delta);
        rig->Deliver(&message);
    };
    auto key = [](int32 raw_char)
    {
        BMessage message(MSG_KEY_DOWN);
        message.AddInt32("raw_char", raw_char);
        rig->Deliver(&message);
    };

    // The Main page shows: nothing moves.
    wheel(1);
    key(12);
    key(31);
    EXPECT_EQ(ScrollValue(), 0);

    window->Lock();
    window->Tabs()->Select(1);
    window->Unlock();
    EXPECT_EQ(sfview->visible, 1);
    float small = 0;
    float large = 0;
    sfview->ListScrollBar()->GetSteps(&small, &large);
    EXPECT_EQ(small, 12);
    EXPECT_EQ(large, 48);

    wheel(1);
    EXPECT_EQ(ScrollValue(), 12);
    wheel(1);
    wheel(0); // not down, so up
    EXPECT_EQ(ScrollValue(), 12);
    wheel(-1);
    EXPECT_EQ(ScrollValue(), 0);
    key(12); // page down: seven steps
    EXPECT_EQ(ScrollValue(), 84);
    key(31);
    EXPECT_EQ(ScrollValue(), 96);
    key(30);
    key(11);
    EXPECT_EQ(ScrollValue(), 0);
    key('j'); // not a scrolling key
    EXPECT_EQ(ScrollValue(), 0);
    for (int page = 0; page < 10; page++)
        key(12);
    EXPECT_EQ(ScrollValue(), high) << "the list stops at its end";

    window->Lock();
    window->Tabs()->Select(2);
    window->Unlock();
    EXPECT_EQ(sfview->visible, 0);
    EXPECT_EQ(ScrollValue(), 0) << "leaving the page scrolls it to the top";
    key(12);
    EXPECT_EQ(ScrollValue(), 0);
}

// The user closes the window while the application runs: the Setup page's choices are in the
// settings before the application goes on to save them, however slow the window thread is.
TEST(Closing, SetupChoicesAreStoredBeforeTheApplicationGoesOn)
{
    WindowRig closing;
    ASSERT_TRUE(closing.Ready());
    BApplication application("application/x-vnd.Quillfeather-Harmoloom-1-1");
    closing.Window()->Lock();
    closing.Window()->SetupPage()->ports_box->SetValue(1);
    closing.Window()->Unlock();
    setup_view_closing_hook = [] { snooze(300000); };
    closing.Window()->PostMessage(B_QUIT_REQUESTED);
    application.Run();
    setup_view_closing_hook = nullptr;
    EXPECT_EQ(settings[setting::two_ports], 1);
    EXPECT_EQ(app_window.load(), nullptr) << "the window is gone";
}

} // namespace
