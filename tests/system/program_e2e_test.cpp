// The whole program as a person uses it: its window on an X server, driven with the mouse,
// its MIDI input and its sound on a JACK server, its settings across a restart.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"
#include "tests/support/ProgramUnderX.h"

namespace
{

const Rgb kWhite = {255, 255, 255};
const Rgb kPanel = {216, 216, 216};

constexpr double kMiddleC = 261.63;
constexpr double kRecording = 300.0; // the pitch of the WAV file played at its own key, 60

// The Soundfonts page: the add button, and the list (from (4, 40) on the page) whose rows are
// 26 pixels apart, each a box from 1 pixel left of the list with "Remove" at its left and "+"
// at its right, their middles 12 pixels below the row's top.
constexpr int kAddX = 9 + 60;
constexpr int kAddY = kPageTop + 15;
constexpr int kListTop = kPageTop + 40;
constexpr int kRowPitch = 26;
constexpr int kRemoveX = 3 + (5 + 63) / 2;
constexpr int kPlusX = 3 + (320 + 343) / 2;
int row_middle(int row)
{
    return kListTop + 12 + kRowPitch * row;
}
// A row shows when its band of the list is no longer white.
bool row_shown(const Picture& picture, int row)
{
    return picture.Count(8, kListTop + 2 + kRowPitch * row, 330, 20, kPanel) > 1000;
}

// The Effects page's preset fields, in the reverb box at (8, 8) and the chorus box at (195, 8).
constexpr int kReverbPresetX = 8 + 12 + 70;
constexpr int kChorusPresetX = 195 + 17 + 70;
constexpr int kPresetY = kPageTop + 8 + 228;
const SliderBar kVoicesBar =
    SliderBar::Of(195 + 17, kPageTop + 8 + 24, 195 + 164, true, true, 1, 16);

// The Setup page's box is at (4, 4): the priority field's menu starts 105 pixels into it, the
// two-ports check box is its sixth row.
constexpr int kPriorityX = 4 + 20 + 105 + 60;
constexpr int kPriorityY = kPageTop + 4 + 120;
constexpr int kPortsX = 4 + 20 + 7;
constexpr int kPortsY = kPageTop + 4 + 180;

// The Main page's quality menu, right of the field's 92-pixel label.
constexpr int kQualityX = 6 + 7 + 92 + 60;
constexpr int kQualityY = kPageTop + 149 + 25;

// Places whose pixels must come back the same after a restart: the parts of each page that
// show a choice, clear of the dotted focus marks that clicked controls wear.
struct Place
{
    const char* what;
    int tab;
    int left;
    int top;
    int width;
    int height;
};
const Place kPlaces[] = {
    {"quality shown", 0, 6 + 7 + 92 + 5, kPageTop + 149 + 18, 110, 14},
    {"polyphony slider", 0, 6 + 8, kPageTop + 149 + 58, 248, 22},
    {"list of files", 1, 8, kListTop, 330, 226},
    {"reverb sliders", 2, 8, kPageTop + 8, 176, 210},
    {"chorus sliders", 2, 195, kPageTop + 8, 176, 210},
    {"sample rate and timing", 3, 4 + 20, kPageTop + 4 + 53, 251, 51},
    {"priority shown", 3, 4 + 20 + 110, kPageTop + 4 + 113, 110, 14},
    {"polyphony reduction box", 3, 4 + 22, kPageTop + 4 + 145, 14, 14},
    {"two ports box", 3, 4 + 22, kPageTop + 4 + 173, 14, 14},
};

struct Heard
{
    double pitch = 0;
    double level = 0;
};

class WholeProgram : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(x.ServersRunning()); }

    // Plays a key for 0.6 s after the messages that choose its sound, on the first or second
    // MIDI input, and measures what comes out.
    Heard Play(const std::vector<std::vector<unsigned char>>& choose, int key, int port = 0)
    {
        Heard heard;
        // A cycle the recorder missed, the machine being busy elsewhere, leaves a gap in what
        // it heard: then the key is played again.
        for (int attempt = 0; attempt < 3; attempt++)
        {
            JackRig rig(x.JackName());
            EXPECT_TRUE(rig.Open());
            EXPECT_TRUE(
                rig.RecordFrom(rig.FindPort("Harmoloom:left"), rig.FindPort("Harmoloom:right")));
            EXPECT_TRUE(
                rig.ConnectMidiTo(rig.FindPort(":MIDI In " + std::to_string(port + 1)), port));
            const auto rate = static_cast<jack_nframes_t>(rig.SampleRate());
            jack_nframes_t at = rig.Now() + rate / 5;
            for (const auto& message : choose)
                rig.Send(at, message, port);
            auto note = static_cast<unsigned char>(key);
            rig.Send(at + rate / 20, {0x90, note, 100}, port);
            rig.Send(at + rate / 20 + rate * 6 / 10, {0x80, note, 0}, port);
            rig.WaitUntil(at + rate);
            std::vector<float> mono = Channel(rig.Recorded(at + rate / 5, rate * 3 / 10), 2);
            heard = {FundamentalFrequency(mono, rate), Rms(mono, 0, mono.size())};
            if (rig.Xruns() == 0)
                break;
        }
        return heard;
    }

    ::testing::AssertionResult Shows(const char* what,
                                     const std::function<bool(const Picture&)>& condition)
    {
        Picture last;
        if (x.WaitForPicture(condition, &last))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the window does not show " << what;
    }

    // Chooses each tab in turn and keeps the places that show the choices.
    std::vector<std::vector<Rgb>> Look()
    {
        std::vector<std::vector<Rgb>> seen;
        for (int tab = 0; tab < 4; tab++)
        {
            EXPECT_TRUE(x.ChooseTab(tab));
            Picture picture = x.Take();
            for (const Place& place : kPlaces)
            {
                if (place.tab == tab)
                    seen.push_back(
                        picture.Region(place.left, place.top, place.width, place.height));
            }
        }
        return seen;
    }

    ProgramUnderX x;
};

TEST_F(WholeProgram, ChoicesMadeInTheWindowAreHeardSavedAndShownAgainAfterARestart)
{
    std::string recording = x.Home().File("tone-300.wav");
    ASSERT_EQ(RunProcess({"/usr/bin/sox", "-n", "-r", "44100", "-b", "16", "-c", "1", recording,
                          "synth", "1.5", "sine", "300", "vol", "0.5"},
                         {})
                  .exit_status,
              0);
    // Last time a file on a drive that is gone now was in use.
    WriteFile(x.SettingsPath(),
              SettingsFile(DefaultSettings(), {{0, {4, x.Home().File("unplugged/drive.sf2")}}}));
    x.environment["HARMOLOOM_ALERT_ANSWERS"] = "2";
    x.environment["HARMOLOOM_FILE_PANEL_ANSWERS"] =
        std::string(TIMGM6MB_SOUNDFONT) + "\n" + recording;
    ASSERT_TRUE(x.Launch());
    EXPECT_NE(x.Output().find("DEBUG: Finished initial loading, failed_to_load_something = 1"),
              std::string::npos);
    EXPECT_NE(x.Errors().find("Alert \"noload\" (info):"), std::string::npos) << x.Errors();
    EXPECT_NE(x.Errors().find("Answered [2] \"Continue without them\""), std::string::npos);

    // Soundfonts: the list starts empty; a General MIDI SoundFont is added through the panel.
    ASSERT_TRUE(x.ChooseTab(1));
    EXPECT_TRUE(Shows("an empty list", [](const Picture& p)
                      { return p.Count(8, kListTop, 330, 226, kWhite) == 330 * 226; }));
    x.Click(kAddX, kAddY);
    ASSERT_TRUE(
        Eventually([&] { return x.CountInOutput("DEBUG: Finished adding soundfont") == 1; }, 30))
        << x.Output();
    EXPECT_EQ(x.CountInOutput("DEBUG: File selected"), 1u);
    EXPECT_TRUE(
        Shows("one row", [](const Picture& p) { return row_shown(p, 0) && !row_shown(p, 1); }));
    Heard lead = Play({{0xC0, 80}}, 69);
    EXPECT_GT(lead.level, 0.002);
    EXPECT_NEAR(lead.pitch, 440.0, 4.4) << "the square lead of the SoundFont";

    // A recording added on top of it takes over program 0 of bank 0.
    x.Click(kAddX, kAddY);
    ASSERT_TRUE(
        Eventually([&] { return x.CountInOutput("DEBUG: Finished adding soundfont") == 2; }, 30))
        << x.Output() << x.Errors();
    EXPECT_TRUE(Shows("two rows", [](const Picture& p) { return row_shown(p, 1); }));
    EXPECT_NEAR(Play({{0xB0, 0, 0}, {0xC0, 0}}, 60).pitch, kRecording, 3.0) << "the recording";

    // "+" moves the recording to bank 1: bank 0 has the SoundFont's piano again.
    Picture before = x.Take();
    x.Click(kPlusX, row_middle(0));
    EXPECT_TRUE(Shows("a changed bank",
                      [&](const Picture& p)
                      {
                          return p.Region(290, row_middle(0) - 8, 24, 16) !=
                                 before.Region(290, row_middle(0) - 8, 24, 16);
                      }));
    EXPECT_NEAR(Play({{0xB0, 0, 0}, {0xC0, 0}}, 60).pitch, kMiddleC, 0.02 * kMiddleC)
        << "the piano";
    EXPECT_NEAR(Play({{0xB0, 0, 1}, {0xC0, 0}}, 60).pitch, kRecording, 3.0) << "bank 1";

    // Removed, the recording is heard no more: bank 1 falls back to the piano of bank 0.
    size_t rebuilt = x.CountInOutput("DEBUG: Leaving ReAttach");
    x.Click(kRemoveX, row_middle(0));
    ASSERT_TRUE(
        Eventually([&] { return x.CountInOutput("DEBUG: Leaving ReAttach") > rebuilt; }, 10));
    EXPECT_TRUE(Shows("one row again",
                      [](const Picture& p) { return row_shown(p, 0) && !row_shown(p, 1); }));
    EXPECT_NEAR(Play({{0xB0, 0, 1}, {0xC0, 0}}, 60).pitch, kMiddleC, 0.02 * kMiddleC);

    // Effects: the "Bathroom" reverb and the "Tremelo" chorus.
    ASSERT_TRUE(x.ChooseTab(2));
    ASSERT_TRUE(x.ChooseMenuItem(kReverbPresetX, kPresetY, 12, 14));
    EXPECT_TRUE(Shows("the room size of the preset",
                      [](const Picture& p) { return kRoomSizeBar.Shown(p) == 2; }));
    ASSERT_TRUE(x.ChooseMenuItem(kChorusPresetX, kPresetY, 7, 9));
    EXPECT_TRUE(
        Shows("one chorus voice", [](const Picture& p) { return kVoicesBar.Shown(p) == 1; }));

    // Setup: two MIDI ports and the high priority, for the next start.
    ASSERT_TRUE(x.ChooseTab(3));
    before = x.Take();
    x.Click(kPortsX, kPortsY);
    EXPECT_TRUE(Shows("the box checked",
                      [&](const Picture& p)
                      {
                          return p.Region(kPortsX - 5, kPortsY - 5, 10, 10) !=
                                 before.Region(kPortsX - 5, kPortsY - 5, 10, 10);
                      }));
    ASSERT_TRUE(x.ChooseMenuItem(kPriorityX, kPriorityY, 2, 3));
    EXPECT_TRUE(Shows("another priority",
                      [&](const Picture& p)
                      {
                          return p.Region(kPriorityX - 50, kPriorityY - 6, 110, 12) !=
                                 before.Region(kPriorityX - 50, kPriorityY - 6, 110, 12);
                      }));

    // Main: the high quality.
    ASSERT_TRUE(x.ChooseTab(0));
    before = x.Take();
    ASSERT_TRUE(x.ChooseMenuItem(kQualityX, kQualityY, 2, 3));
    EXPECT_TRUE(Shows("another quality",
                      [&](const Picture& p)
                      {
                          return p.Region(kQualityX - 50, kQualityY - 6, 110, 12) !=
                                 before.Region(kQualityX - 50, kQualityY - 6, 110, 12);
                      }));
    std::vector<std::vector<Rgb>> seen = Look();

    ProcessResult first = x.CloseWindow();
    ASSERT_EQ(first.exit_status, 0) << first.errors;
    std::vector<int32_t> expected = DefaultSettings();
    expected[5] = 2;  // quality "High"
    expected[8] = 2;  // priority "High (glitch-free audio)"
    expected[10] = 1; // two MIDI ports
    const int32_t bathroom[] = {2, 0, 30};
    const int32_t tremelo[] = {1, 30, 30};
    for (int n = 0; n < 3; n++)
    {
        expected[11 + n] = bathroom[n];
        expected[15 + n] = tremelo[n];
    }
    std::string saved = ReadFile(x.SettingsPath());
    EXPECT_EQ(SettingsFields(saved), expected);
    EXPECT_EQ(SettingsSlots(saved), (SlotList{{0, {0, TIMGM6MB_SOUNDFONT}}}))
        << "the missing file and the removed recording are gone";

    // The next start asks nothing, listens on two ports and shows every choice as it was.
    x.environment["HARMOLOOM_ALERT_ANSWERS"] = "";
    x.environment["HARMOLOOM_FILE_PANEL_ANSWERS"] = "";
    ASSERT_TRUE(x.Launch());
    EXPECT_NE(x.Output().find("DEBUG: Finished initial loading, failed_to_load_something = 0"),
              std::string::npos);
    EXPECT_EQ(x.Errors().find("Alert"), std::string::npos) << x.Errors();
    std::vector<std::vector<Rgb>> seen_again = Look();
    ASSERT_EQ(seen_again.size(), seen.size());
    for (size_t place = 0; place < seen.size(); place++)
        EXPECT_TRUE(seen_again[place] == seen[place]) << kPlaces[place].what << " changed";
    Heard second_port = Play({{0xC0, 80}}, 69, 1);
    EXPECT_NEAR(second_port.pitch, 440.0, 4.4) << "the SoundFont on the second port";

    ProcessResult second = x.CloseWindow();
    EXPECT_EQ(second.exit_status, 0) << second.errors;
    EXPECT_EQ(ReadFile(x.SettingsPath()), saved) << "kept as it was";
}

} // namespace
