// The main window without a display (tests/support/WindowRig.h): its message handler fed what its
// controls, file panel and drops send, its closing, and the fuse with the real audio thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <vector>

#include "app/Debug.h"
#include "app/EffectPresets.h"
#include "audio/Fuse.h"
#include "platform/app/Application.h"
#include "platform/storage/Entry.h"
#include "platform/support/Threads.h"
#include "tests/support/WindowRig.h"
#include "ui/EffectsView.h"
#include "ui/MainView.h"
#include "ui/MessageCodes.h"
#include "ui/SetupView.h"
#include "ui/SoundfontsView.h"

namespace
{

std::unique_ptr<WindowRig> rig;

class OnRig : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("HARMOLOOM_FILE_PANEL_ANSWERS", "\n\n", 1); // panels are cancelled
        rig = std::make_unique<WindowRig>();
    }
    static void TearDownTestSuite() { rig.reset(); }
    void SetUp() override { ASSERT_TRUE(rig->Ready()); }
    static std::vector<int32> Settings() { return {settings, settings + SETTINGS_COUNT}; }
};

class DispatchOnJack : public OnRig
{
protected:
    std::string Font(const std::string& name) { return files.Font(name); }
    static void SetUpTestSuite()
    {
        DEBUG_PRINT(nullptr); // the handler's steps on standard output
        OnRig::SetUpTestSuite();
    }
    // What the handler printed while it dealt with a drop of the text or with the message.
    static std::string Dropped(const std::string& text)
    {
        return Printed(drop_message(text.data(), text.size()));
    }
    // A dropped file has joined when it returns: the loader's own message reaches the window
    // thread whenever that thread gets to it, so the join is handed over here instead.
    static std::string Printed(BMessage message)
    {
        testing::internal::CaptureStdout();
        rig->Deliver(&message);
        std::string printed = testing::internal::GetCapturedStdout();
        rig->Window()->SoundfontsPage()->Loader()->WaitUntilIdle();
        rig->Deliver(MSG_SOUNDFONT_LOADED);
        return printed;
    }
    TemporaryFolder files;
};

// A drop adds its first file, text that is no file nothing, and preset codes beyond the tables
// do nothing; row codes act on their own slot and a typed bank only from its current field.
TEST_F(DispatchOnJack, DropsPresetCodesRowCodesAndTypedBanksActOnlyWhereTheyBelong)
{
    EXPECT_EQ(Dropped("# nothing but a comment\r\n"), "DEBUG: File dragged\n");
    EXPECT_EQ(Dropped("piano.sf2 is\nwhat I play"), "DEBUG: File dragged\n");
    BMessage plain_text(B_SIMPLE_DATA);
    plain_text.AddString("refs", Font("piano.sf2").c_str());
    EXPECT_EQ(Printed(plain_text), "DEBUG: File dragged\n");
    std::string first = Font("first piano.sf2");
    Dropped("file://" + files.Path() + "/first%20piano.sf2\r\nfile://" + Font("second.sf2"));
    EXPECT_EQ(soundfont_paths[0], first);
    EXPECT_EQ(soundfont_paths[1][0], '\0');
    // A plain path is the file's name as it is, "%41" and all.
    std::string percent = Font("50%41.sf2");
    Dropped(percent);
    EXPECT_EQ(soundfont_paths[0], percent);

    rig->Deliver(MSG_REVERB_PRESET + 12); // Bathroom
    EXPECT_EQ(rig->Window()->EffectsPage()->room_size_slider->Value(), 2);
    std::vector<int32> before = Settings();
    rig->EngineCalls();
    for (uint32 code : {MSG_REVERB_PRESET + REVERB_PRESET_COUNT, MSG_REVERB_PRESET + 224,
                        MSG_CHORUS_PRESET + CHORUS_PRESET_COUNT, MSG_CHORUS_PRESET + 224})
        rig->Deliver(code);
    EXPECT_EQ(Settings(), before);
    EXPECT_EQ(rig->EngineCalls(), "");

    SFVIEW* page = rig->Window()->SoundfontsPage();
    rig->Window()->Lock();
    // A gap at slot 1, as "Continue without them" leaves a file that did not load; the dropped
    // files go.
    std::memset(soundfont_paths, 0, sizeof(soundfont_paths));
    std::strcpy(soundfont_paths[0], Font("a.sf2").c_str());
    std::strcpy(soundfont_paths[2], Font("b.sf2").c_str());
    page->ReAttach();
    rig->Window()->Unlock();
    rig->Deliver(page->Row(2)->plus_button->Message());
    rig->Deliver(MSG_BANK_UP + 1); // a slot without a row
    EXPECT_EQ(soundfont_banks[0] * 100 + soundfont_banks[1] * 10 + soundfont_banks[2], 1);

    // A bank typed, then a file dropped before the field's message came: the list is rebuilt
    // and the field gone. Only the current field's message acts.
    auto typed = [&](const char* text)
    {
        BTextControl* field = page->Row(0)->bank_field;
        field->SetText(text);
        BMessage message(*field->Message());
        message.AddPointer("source", field);
        return message;
    };
    Dropped("file://" + Font("c.sf2")); // slots: c, a, gap, b
    BMessage stale = typed("5");
    Dropped("file://" + Font("d.sf2")); // d, c, a, gap, b
    rig->EngineCalls();
    rig->Deliver(&stale);
    EXPECT_EQ(rig->EngineCalls(), "") << "a stale field's message does nothing";
    BMessage current = typed("7");
    rig->Deliver(&current);
    EXPECT_EQ(soundfont_banks[0], 7);

    rig->Deliver(page->Row(2)->remove_button->Message()); // d, c, gap, b
    EXPECT_EQ(soundfont_paths[3], files.File("b.sf2"));
    EXPECT_EQ(soundfont_banks[3], 1) << "the bank moves with its file";
}

// The user closes the window while the application runs: the Setup page's choices are in the
// settings before the application goes on to save them, however slow the window thread is.
TEST(ClosingOnJack, SetupChoicesAreStoredBeforeTheApplicationGoesOn)
{
    WindowRig closing;
    ASSERT_TRUE(closing.Ready());
    BApplication application("application/x-vnd.Quillfeather-Harmoloom-1-1");
    closing.Window()->Lock();
    SETUPVIEW* setup = closing.Window()->SetupPage();
    EXPECT_FALSE(setup->rate_field->IsEnabled() || setup->timing_field->IsEnabled())
        << "the JACK server decides those";
    EXPECT_TRUE(setup->priority_field->IsEnabled());
    setup->ports_box->SetValue(1);
    closing.Window()->Unlock();
    setup_view_closing_hook = [] { snooze(300000); };
    closing.Window()->PostMessage(B_QUIT_REQUESTED);
    application.Run();
    setup_view_closing_hook = nullptr;
    EXPECT_EQ(settings[setting::two_ports], 1);
    EXPECT_EQ(app_window.load(), nullptr) << "the window is gone";
}

class FuseOnJack : public OnRig
{
protected:
    void SetUp() override
    {
        OnRig::SetUp();
        slider = rig->Window()->MainPage()->PolyphonySlider();
        rig->EngineCalls();
    }
    int32 Polyphony()
    {
        rig->Window()->Lock();
        int32 value = slider->Value();
        rig->Window()->Unlock();
        return value;
    }
    // The engine has had these calls since the last look (a request waits for a running render).
    bool EngineGets(const std::string& expected)
    {
        std::string calls;
        return Eventually([&] { return (calls += rig->EngineCalls()) == expected; }, 5);
    }
    SLIDER* slider = nullptr;
};

TEST_F(FuseOnJack, TripsOneStepWhenTheStampIsOverTwoSecondsOldAndAtTheLowestAsksForSilence)
{
    thread_id watchdog = find_thread("fuse_thread");
    ASSERT_EQ(suspend_thread(watchdog), B_OK);
    bigtime_t stamp = system_time() + 1000000; // ahead of the audio thread's own checks
    fuse_timer = stamp;
    EXPECT_FALSE(FuseCheckAt(stamp + 2000000));
    EXPECT_TRUE(FuseCheckAt(stamp + 2000001));
    // So a starved watchdog costs one step per two seconds.
    EXPECT_FALSE(FuseCheckAt(stamp + 4000001));
    EXPECT_TRUE(FuseCheckAt(stamp + 4000002));
    EXPECT_EQ(Polyphony(), 14) << "the slider is the watchdog's to move";
    EXPECT_EQ(rig->EngineCalls(), "") << "and the engine: FluidSynth reallocates for it";
    resume_thread(watchdog);
    EXPECT_TRUE(Eventually([&] { return Polyphony() == 12; }, 10));
    EXPECT_EQ(settings[setting::polyphony_step], 12);
    EXPECT_STREQ(slider->Label(), "Polyphony: 112 voices");
    EXPECT_TRUE(EngineGets("set_polyphony(112) "));

    rig->Window()->Lock();
    slider->SetValue(0);
    rig->Window()->Unlock();
    rig->EngineCalls();
    ASSERT_EQ(suspend_thread(watchdog), B_OK);
    bigtime_t trip = system_time() + 3000000; // ahead of the audio thread's own checks
    fuse_timer = trip - 2000001;
    EXPECT_TRUE(FuseCheckAt(trip));
    EXPECT_TRUE(FusePauseActive(trip));
    EXPECT_TRUE(FusePauseActive(trip + 249999));
    EXPECT_FALSE(FusePauseActive(trip + 250000));
    fuse_timer = system_time() - 2100000;
    EXPECT_TRUE(Eventually([] { return FusePauseActive(system_time()); }, 5)) << "by the callback";
    EXPECT_EQ(rig->EngineCalls(), "");
    resume_thread(watchdog);
    EXPECT_TRUE(EngineGets("set_polyphony(16) ")) << "the slider set to 0 again";
    EXPECT_EQ(Polyphony(), 0);
}

TEST_F(FuseOnJack, ATripNeverWaitsForABusyWindowAndTheSliderFollowsWhenItIsFree)
{
    // The window thread's part of the shutdown: it holds the window's lock and stops the output,
    // while the callback trips.
    thread_id watchdog = find_thread("fuse_thread");
    ASSERT_EQ(suspend_thread(watchdog), B_OK);
    rig->Window()->Lock();
    fuse_timer = system_time() - 10000000;
    EXPECT_TRUE(Eventually([&] { return slider->current_value.load() == 13; }, 10));
    auto stopped = std::async(std::launch::async, [] { StopAudio(); });
    if (stopped.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
    {
        ADD_FAILURE() << "the output's stop waits for the tripped callback, which waits for it";
        std::_Exit(1); // nothing can end this process in order any more
    }
    EXPECT_EQ(slider->Value(), 14) << "nothing touched the slider without the window's lock";
    resume_thread(watchdog);
    EXPECT_TRUE(EngineGets("set_polyphony(120) ")) << "before the window has the new step";
    rig->Window()->Unlock();
    EXPECT_TRUE(Eventually([&] { return Polyphony() == 13; }, 20));
    EXPECT_STREQ(slider->Label(), "Polyphony: 120 voices");
}

} // namespace
