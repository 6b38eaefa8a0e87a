// The alert dialog and the main window on a real X server, used with a real mouse and keyboard
// (xdotool) and checked by their pixels, by the sound the program makes and by the settings it
// saves when it closes; and the whole program as a person uses it, across a restart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "tests/support/AlertTexts.h"
#include "tests/support/ProgramUnderX.h"

namespace
{

class AlertDialog : public ::testing::Test
{
protected:
    // Shows an alert in a process of its own, types keys into it, returns the button pressed.
    int Answer(const std::vector<std::string>& buttons, const std::vector<std::string>& keys)
    {
        std::vector<std::string> arguments = {ALERT_PROBE, "noload", "Something happened."};
        arguments.insert(arguments.end(), buttons.begin(), buttons.end());
        const std::map<std::string, std::string> on_display = {{"DISPLAY", display.Name()}};
        BackgroundProcess alert(arguments, on_display);
        // Focus goes to the alert once it is mapped; there is no window manager to give it.
        EXPECT_EQ(RunProcess({"/usr/bin/xdotool", "search", "--sync", "--onlyvisible", "--name",
                              "^noload$", "windowfocus", "--sync"},
                             on_display)
                      .exit_status,
                  0);
        // Grouped by docks with the program's other windows, under its desktop entry.
        EXPECT_EQ(
            RunProcess({"/usr/bin/xprop", "-notype", "-name", "noload", "WM_CLASS"}, on_display)
                .output,
            "WM_CLASS = \"harmoloom\", \"Harmoloom\"\n");
        std::vector<std::string> typing = {"/usr/bin/xdotool", "key", "--delay", "50"};
        typing.insert(typing.end(), keys.begin(), keys.end());
        EXPECT_EQ(RunProcess(typing, on_display).exit_status, 0);
        ProcessResult result = alert.Wait(20);
        EXPECT_EQ(result.errors, "") << "a shown alert writes nothing";
        return result.exit_status;
    }

    VirtualDisplay display;
};

TEST_F(AlertDialog, ReturnAndEscapeTakeTheLastButtonAndButtonsAreNumberedFromTheLeft)
{
    ASSERT_TRUE(display.Running());
    const std::vector<std::string> three = {"Exit application", "Try again",
                                            "Continue without them"};
    const std::vector<std::string> reset = {"Restore to defaults", "OK"};
    EXPECT_EQ(Answer(three, {"Return"}), 2);
    EXPECT_EQ(Answer(reset, {"Return"}), 1) << "never the destructive first button";
    EXPECT_EQ(Answer(reset, {"Escape"}), 1);
    EXPECT_EQ(Answer(three, {"space"}), 0);
    EXPECT_EQ(Answer(three, {"Tab", "space"}), 1);
}

// The Soundfonts list (from (4, 40) on the page, 226 pixels high, less its right edge where the
// scroll bar's neighbour may be redrawn), whose rows are 26 pixels apart, each a box from 1 pixel
// left of the list with "Remove" at its left and "+" at its right, 12 pixels below its top.
constexpr int kListLeft = 8, kListTop = kPageTop + 40, kListWidth = 330, kListHeight = 226;
constexpr int kRemoveX = 3 + (5 + 63) / 2, kPlusX = 3 + (320 + 343) / 2;
constexpr int row_middle(int row)
{
    return kListTop + 12 + 26 * row;
}
// A row shows when its band of the list is no longer white.
bool row_shown(const Picture& picture, int row)
{
    return picture.Count(kListLeft, kListTop + 2 + 26 * row, kListWidth, 20, kPanel) > 1000;
}

// The meter's two bars in the Main page's output box, (11, 24) to (358, 29) and (11, 34) to
// (358, 39), and the colours of their lit cells.
int lit_pixels(const Picture& picture)
{
    int lit = 0;
    for (Rgb colour : {Rgb{104, 200, 104}, Rgb{23, 184, 23}, Rgb{232, 160, 160}, Rgb{255, 0, 0}})
        lit += picture.Count(6 + 11, kPageTop + 4 + 24, 348, 6, colour) +
               picture.Count(6 + 11, kPageTop + 4 + 34, 348, 6, colour);
    return lit;
}

// How many columns (or, across, rows) lie between the first and the last that hold ink in a
// band of rows (columns).
int ink_width(const Picture& picture, int left, int top, int width, int height, bool across = false)
{
    int first = across ? top + height : left + width, last = 0;
    for (int at = across ? top : left; at < (across ? top + height : left + width); at++)
    {
        if (across ? picture.Ink(left, at, width, 1) > 0 : picture.Ink(at, top, 1, height) > 0)
            first = std::min(first, last = at);
    }
    return last - first + 1;
}

// Centres of controls, from their frames: Panic and Clear Peak on the Main page, the quality
// menu right of its 92-pixel label, the add button of the Soundfonts page, the preset fields
// of the Effects page, the priority menu and the two-ports check box of the Setup page.
constexpr int kPanicX = 6 + (275 + 357) / 2, kPanicY = kPageTop + 149 + (14 + 94) / 2;
constexpr int kClearPeakY = kPageTop + 4 + (97 + 121) / 2;
constexpr int kQualityX = 6 + 7 + 92 + 60, kQualityY = kPageTop + 149 + 25;
constexpr int kAddX = 9 + 60, kAddY = kPageTop + 15;
// The Channels page: the middle of a row, its preset field and its "Lock" box.
constexpr int channel_row(int row)
{
    return kPageTop + 20 + 15 * row + 7;
}
constexpr int kChannelPresetX = 160, kLockX = 336;
constexpr int kReverbPresetX = 8 + 12 + 70, kChorusPresetX = 195 + 17 + 70;
constexpr int kPresetY = kPageTop + 8 + 228;
constexpr int kPriorityX = 4 + 20 + 105 + 60, kPriorityY = kPageTop + 4 + 120;
constexpr int kPortsX = 4 + 20 + 7, kPortsY = kPageTop + 4 + 180;

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(x.ServersRunning()); }
    std::vector<int32_t> Saved() const { return SettingsFields(x.env.Settings()); }

    ProgramUnderX x;
};

// Each page's texts fit their frames: the polyphony slider, (8, 58) to (255, 79) in the Main
// page's second box, takes the 43 pixels its parts need (its label clear of the thumb, the limit
// labels "16" and "256" below its hash marks); "Add Soundfont or wave file...", (9, 9) to
// (176, 28), stays within its border; a row of panel lies between the "Damping:" slider's label
// and its hash marks; in the Setup box at (4, 4) "Timing Accuracy:" stops short of its menu at
// 105, the check box's label before its frame's right edge at 340, and the notice's two lines
// end at 376, just inside the box's border, and are of one size: the second's ink is 0.69 as
// wide as the first's so, 0.76 were it a size larger.
void expect_texts_inside(const Picture& page, int tab)
{
    const int slider = kPageTop + 149 + 58;
    const std::vector<bool> fits[] = {
        {page.Count(14, slider, 248, 15, {224, 224, 224}) == 0,
         page.Ink(14, slider + 30, 30, 13) > 10, page.Ink(232, slider + 30, 30, 13) > 10,
         page.Ink(14, slider + 43, 248, 10) == 0},
        {page.Ink(12, kPageTop + 12, 162, 14) > 100, page.Ink(3, kPageTop + 9, 6, 20) == 0,
         page.Ink(177, kPageTop + 9, 6, 20) == 0},
        {page.Count(8 + 12, kPageTop + 8 + 72 + 15, 156, 1, kPanel) == 156},
        {page.Ink(4 + 20 + 102, kPageTop + 4 + 81, 3, 23) == 0,
         page.Ink(4 + 341, kPageTop + 4 + 141, 20, 23) == 0,
         page.Count(372, kPageTop + 204, 3, 38, kPanel) == 3 * 38,
         ink_width(page, 101, kPageTop + 228, 276, 8) <
             0.73 * ink_width(page, 26, kPageTop + 204, 351, 12)}};
    for (size_t check = 0; check < fits[tab].size(); check++)
        EXPECT_TRUE(fits[tab][check]) << "page " << tab << ", check " << check;
}

TEST_F(MainWindow, WheelAndKeysScrollTheListEachTabShowsItsPageAndPanicSilencesAHangingNote)
{
    // The General MIDI SoundFont and fifteen small recordings of different names, out of its
    // banks' way: 417 pixels of rows in a 226-pixel list. One name is too wide for its label.
    SlotList slots = {{0, {0, TIMGM6MB_SOUNDFONT}}};
    for (int slot = 1; slot < 16; slot++)
    {
        std::string name = "tone-" + std::to_string(100 + slot) + (slot == 2 ? "-WWWWWWWWWW" : "");
        slots[slot] = {1, Tone(x.env.Home().File(name + ".wav"), {"-r", "22050"},
                               {"0.05", "sine", std::to_string(200 + 20 * slot)})};
    }
    x.env.WriteSettings(DefaultSettings(), slots);
    ASSERT_TRUE(x.Launch());
    ASSERT_TRUE(x.ChooseTab(1));
    Picture top;
    ASSERT_TRUE(x.WaitForPicture([](const Picture& p) { return row_shown(p, 8); }, &top));
    // The names of a list are of one size: the digits of "tone-101.wav" as tall as those of the
    // name too wide for its label, which is cut.
    auto name_height = [&top](int row)
    { return ink_width(top, 3 + 67, row_middle(row) - 8, 182, 18, true); };
    EXPECT_EQ(name_height(1), name_height(2));
    EXPECT_GE(name_height(1), 7);
    auto scrolled_by = [&](int offset)
    {
        return [&top, offset](const Picture& p)
        { return p.Like(top, kListLeft, kListTop, kListWidth, kListHeight - offset, offset); };
    };
    // A sideways scroll leaves the list where it is, as the next step shows; away and back, the
    // list is at the top again.
    const std::pair<std::string, int> steps[] = {{"5", 12},     {"7", 12}, {"Down", 24},
                                                 {"Next", 108}, {"4", 96}, {"Prior", 12},
                                                 {"Up", 0},     {"5", 12}, {"tabs", 0}};
    for (const auto& [action, offset] : steps)
    {
        if (action == "tabs")
        {
            // Ctrl+Page Up and Ctrl+Page Down switch tabs, and scroll no list.
            x.Key("ctrl+Prior");
            EXPECT_TRUE(
                x.Shows("Main", [](const Picture& p) { return ProgramUnderX::ChosenTab(p) == 0; }));
            x.Key("ctrl+Next");
            EXPECT_TRUE(x.Shows("Soundfonts",
                                [](const Picture& p) { return ProgramUnderX::ChosenTab(p) == 1; }));
        }
        else if (action.size() == 1)
            x.Wheel(150, kListTop + 100, std::stoi(action));
        else
            x.Key(action);
        EXPECT_TRUE(x.Shows("the list at " + std::to_string(offset), scrolled_by(offset)))
            << "after " << action;
    }
    // A typed bank is shown whole: "127" three digits wide where "7" is one (not "27").
    auto bank_width = [](const Picture& p)
    { return ink_width(p, 3 + 280, row_middle(0) - 7, 32, 14); };
    auto type_bank = [&](const std::vector<std::string>& keys)
    {
        x.Click(3 + 300, row_middle(0));
        for (const std::string& key : keys)
            x.Key(key);
    };
    Picture seven;
    type_bank({"ctrl+a", "7", "Return"});
    ASSERT_TRUE(x.WaitForPicture([&](const Picture& p)
                                 { return !p.Like(top, 3 + 280, row_middle(0) - 8, 32, 16); },
                                 &seven));
    type_bank({"ctrl+a", "1", "2", "7", "Return"});
    EXPECT_TRUE(x.Shows("bank 127",
                        [&](const Picture& p) { return bank_width(p) > 2.8 * bank_width(seven); }));
    type_bank({"ctrl+a", "0", "Return"}); // the General MIDI sounds back in bank 0

    std::vector<Picture> pages;
    for (int tab : {0, 1, 2, 3, 0})
    {
        ASSERT_TRUE(x.ChooseTab(tab));
        // The meter goes on drawing into the Main page while it is hidden; for half a second
        // every picture must show the chosen page whole, with many pixels that are not panel.
        Picture picture;
        for (int look = 0; look < 10; look++, usleep(50000))
        {
            picture = x.Take();
            ASSERT_EQ(ProgramUnderX::ChosenTab(picture), tab);
            ASSERT_LT(picture.Count(0, kPageTop + 4, picture.columns, 130, kPanel),
                      picture.columns * 130 - 4000)
                << "page " << tab << ", look " << look;
        }
        expect_texts_inside(picture, tab);
        pages.push_back(picture);
    }
    for (size_t one = 0; one < pages.size(); one++)
    {
        for (size_t other = one + 1; other < pages.size(); other++)
            EXPECT_EQ(pages[one].Like(pages[other], 0, kPageTop + 150, pages[0].columns, 120),
                      one == 0 && other == 4)
                << "pages " << one << " and " << other << ": only the Main page comes back";
    }

    JackRig rig(x.env.JackName());
    ASSERT_TRUE(rig.Open() && rig.Attach(1));
    const auto rate = static_cast<jack_nframes_t>(rig.SampleRate());

    // A church organ holds its note for as long as the key is down, and the key never comes up.
    jack_nframes_t on = rig.Now() + rate / 10;
    rig.Send(on, {0xC0, 19});
    rig.Send(on + 10, {0x90, 60, 110});
    rig.WaitUntil(on + rate);
    ASSERT_TRUE(x.Shows("the note", [](const Picture& p) { return lit_pixels(p) > 60; }));
    jack_nframes_t before_panic = rig.Now();
    double held = rig.Level(before_panic - rate / 5, rate / 5);
    ASSERT_GT(held, 0.005) << "the note still sounds";
    x.Click(kPanicX, kPanicY);
    EXPECT_TRUE(
        Eventually([&] { return rig.Level(rig.Now() - rate / 10, rate / 10) < 0.001 * held; }, 10));
    EXPECT_GT(rig.Level(before_panic - rate / 10, rate / 10), 0.5 * held) << "it was the button";

    // The bars fall; the peak marks stay (five lit pixels in each of the six rows of both
    // bars) until the button clears them.
    Picture picture;
    EXPECT_TRUE(
        x.WaitForPicture([](const Picture& p) { return lit_pixels(p) == 2 * 6 * 5; }, &picture, 15))
        << lit_pixels(picture) << " pixels lit";
    x.Click(kPanicX, kClearPeakY);
    EXPECT_TRUE(x.WaitForPicture([](const Picture& p) { return lit_pixels(p) == 0; }, &picture))
        << lit_pixels(picture) << " pixels still lit";
    EXPECT_EQ(x.CloseWindow().exit_status, 0);
}

TEST_F(MainWindow, StoredValuesAndPlaceShowAndWhatIsDraggedChosenOrMovedIsSavedAtClose)
{
    // Level, polyphony and room size as stored (fields 3, 4, 11); polyphony as dragged and keyed,
    // quality (field 5) as chosen. The window's stored place (fields 1, 2) is kept on the 1024 x
    // 768 screen; one that opens partly off it is moved by hand, so that its sliders can be seen.
    struct Case
    {
        int32_t level, polyphony, room_size, dragged, quality, left, top;
        int opens_x, opens_y, moved_x, moved_y;
    };
    for (Case c : {Case{-30, 8, 6, 20, 2, 0, 0, 8, 24, 8, 24},
                   {6, 25, 27, 6, 0, 5000, 5000, 944, 688, 230, 170},
                   {-30, 8, 6, 20, 2, -300, 700, 8, 688, 100, 100},
                   {6, 25, 27, 6, 0, 100, 100, 100, 100, 100, 100}})
    {
        std::vector<int32_t> fields = DefaultsWith(
            {{1, c.left}, {2, c.top}, {3, c.level}, {4, c.polyphony}, {11, c.room_size}});
        x.env.WriteSettings(fields);
        ASSERT_TRUE(x.Launch());
        EXPECT_EQ(x.WindowFrame().x, c.opens_x) << "stored " << c.left << ", " << c.top;
        EXPECT_EQ(x.WindowFrame().y, c.opens_y) << "stored " << c.left << ", " << c.top;
        if (c.moved_x != c.opens_x)
            x.MoveWindow(c.moved_x, c.moved_y);
        EXPECT_TRUE(Eventually([&] { return x.WindowFrame().x == c.moved_x; }, 10));
        EXPECT_TRUE(x.Shows(
            "the stored level and polyphony", [&](const Picture& p)
            { return kLevelBar.Shown(p) == c.level && kPolyphonyBar.Shown(p) == c.polyphony; }));
        x.Drag(kPolyphonyBar.ThumbX(c.polyphony), kPolyphonyBar.row,
               kPolyphonyBar.ThumbX(c.dragged), kPolyphonyBar.row);
        Picture dragged;
        EXPECT_TRUE(x.WaitForPicture(
            [&](const Picture& p) { return kPolyphonyBar.Shown(p) == c.dragged; }, &dragged));
        // Dragged, the slider has the focus and wears its mark down its left edge, which the
        // level slider does not; Home takes it to its least, 16 voices.
        EXPECT_GT(dragged.Ink(6 + 8, kPageTop + 149 + 58, 1, 40), 10);
        EXPECT_EQ(dragged.Ink(6 + 4, kPageTop + 4 + 75, 1, 16), 0);
        x.Key("Home");
        EXPECT_TRUE(
            x.Shows("16 voices", [&](const Picture& p) { return kPolyphonyBar.Shown(p) == 0; }));
        // Tab goes on in reading order, to "Panic" beside the slider, then round to the first.
        x.Key("Tab");
        x.Key("Tab");
        EXPECT_TRUE(x.Shows("the level slider's focus",
                            [](const Picture& p)
                            {
                                return p.Ink(6 + 4, kPageTop + 4 + 75, 1, 16) > 4 &&
                                       p.Ink(6 + 8, kPageTop + 149 + 58, 1, 40) == 0;
                            }));
        ASSERT_TRUE(x.ChooseMenuItem(kQualityX, kQualityY, c.quality, 3));
        ASSERT_TRUE(x.ChooseTab(2));
        EXPECT_EQ(kRoomSizeBar.Shown(x.Take()), c.room_size);
        ProcessResult closed = x.CloseWindow();
        EXPECT_EQ(closed.exit_status, 0) << closed.errors;
        EXPECT_TRUE(InOrder(closed.output, {"Quit requested\n", "Stopping audio\n",
                                            "Saving settings\n", "Deleting synth\n"}));
        // Saved where it was left, though maybe never moved.
        fields[1] = c.moved_x;
        fields[2] = c.moved_y;
        fields[4] = 0;
        fields[5] = c.quality;
        EXPECT_EQ(Saved(), fields);
    }
}

// Places that show a choice, clear of the dotted focus marks that clicked controls wear.
struct Place
{
    const char* what;
    int tab, left, top, width, height;
};
const Place kPlaces[] = {
    {"quality shown", 0, 6 + 7 + 92 + 5, kPageTop + 149 + 18, 110, 14},
    {"polyphony slider", 0, 6 + 8, kPageTop + 149 + 58, 248, 22},
    {"list of files", 1, kListLeft, kListTop, kListWidth, kListHeight},
    {"reverb sliders", 2, 8, kPageTop + 8, 176, 210},
    {"chorus sliders", 2, 195, kPageTop + 8, 176, 210},
    {"sample rate and timing", 3, 4 + 20, kPageTop + 4 + 53, 251, 51},
    {"priority shown", 3, 4 + 20 + 110, kPageTop + 4 + 113, 110, 14},
    {"polyphony reduction box", 3, 4 + 22, kPageTop + 4 + 145, 14, 14},
    {"two ports box", 3, 4 + 22, kPageTop + 4 + 173, 14, 14},
    {"locks", 4, 330, kPageTop + 20 + 15, 14, 15 * 15}, // row 1's box wears the focus mark
};

// Chooses each tab in turn and keeps a picture of each page.
std::vector<Picture> pages_of(ProgramUnderX& x)
{
    std::vector<Picture> pages;
    for (int tab = 0; tab < 5; tab++)
    {
        EXPECT_TRUE(x.ChooseTab(tab));
        pages.push_back(x.Take());
    }
    return pages;
}

// Clicks at (x, y), or chooses the item of a menu there, and waits until the rectangle
// around it changes.
::testing::AssertionResult changes(ProgramUnderX& x, int left, int top, int width, int height,
                                   const std::function<void()>& action)
{
    Picture before = x.Take();
    action();
    return x.Shows("a change",
                   [&](const Picture& p) { return !p.Like(before, left, top, width, height); });
}

TEST(WholeProgram, ChoicesMadeInTheWindowAreHeardSavedAndShownAgainAndALostDisplaySavesToo)
{
    ProgramUnderX x;
    ASSERT_TRUE(x.ServersRunning());
    const double middle_c = 261.63;
    const double recorded = 300.0; // the pitch of the WAV file played at its own key, 60
    std::string recording = Tone(x.env.Home().File("tone-300.wav"), {"-r", "44100"},
                                 {"1.5", "sine", "300", "vol", "0.5"});
    // Last time a file on a drive that is gone now was in use.
    x.env.WriteSettings(DefaultSettings(), {{0, {4, x.env.Home().File("unplugged/drive.sf2")}}});
    x.env.variables["HARMOLOOM_ALERT_ANSWERS"] = "2";
    x.env.variables["HARMOLOOM_FILE_PANEL_ANSWERS"] =
        std::string(TIMGM6MB_SOUNDFONT) + "\n" + recording;
    ASSERT_TRUE(x.Launch());
    EXPECT_TRUE(InOrder(x.Output(), {"failed_to_load_something = 1\n"}));
    EXPECT_TRUE(InOrder(x.Errors(),
                        {AlertOnStderr("noload", alert_text::kNotLoaded, "info"), "Answered [2]"}));

    // Soundfonts: the list starts empty; a General MIDI SoundFont is added through the panel.
    ASSERT_TRUE(x.ChooseTab(1));
    EXPECT_TRUE(x.Shows("an empty list",
                        [](const Picture& p)
                        {
                            return p.Count(kListLeft, kListTop, kListWidth, kListHeight, kWhite) ==
                                   kListWidth * kListHeight;
                        }));
    const std::string added = "DEBUG: Finished adding soundfont";
    x.Click(kAddX, kAddY);
    ASSERT_TRUE(Eventually([&] { return InOrder(x.Output(), {added}); }, 30)) << x.Errors();
    EXPECT_TRUE(
        x.Shows("one row", [](const Picture& p) { return row_shown(p, 0) && !row_shown(p, 1); }));
    Heard lead = x.Play({{0xC0, 80}}, 69);
    EXPECT_GT(lead.level, 0.002);
    EXPECT_NEAR(lead.pitch, 440.0, 4.4) << "the square lead of the SoundFont";

    // A recording added on top of it takes over program 0 of bank 0.
    x.Click(kAddX, kAddY);
    ASSERT_TRUE(Eventually([&] { return InOrder(x.Output(), {added, added}); }, 30)) << x.Errors();
    EXPECT_TRUE(x.Shows("two rows", [](const Picture& p) { return row_shown(p, 1); }));
    EXPECT_NEAR(x.Play({{0xB0, 0, 0}, {0xC0, 0}}, 60).pitch, recorded, 3.0) << "the recording";

    // "+" moves the recording to bank 1: bank 0 has the SoundFont's piano again.
    EXPECT_TRUE(changes(x, 290, row_middle(0) - 8, 24, 16, [&] { x.Click(kPlusX, row_middle(0)); }))
        << "the bank shown";
    EXPECT_NEAR(x.Play({{0xB0, 0, 0}, {0xC0, 0}}, 60).pitch, middle_c, 0.02 * middle_c);
    EXPECT_NEAR(x.Play({{0xB0, 0, 1}, {0xC0, 0}}, 60).pitch, recorded, 3.0) << "bank 1";

    // Channels: a note on channel 5 lights its row alone. A program change to 19 there shows
    // what row 4 shows once its menu chose the organ (item 22: below the recording's heading and
    // preset, the SoundFont's heading and 19 presets; nothing is highlighted at first), and not
    // what row 3 shows.
    ASSERT_TRUE(x.ChooseTab(4));
    auto lit = [](const Picture& p, int row) {
        return p.At(26, channel_row(row)) == Rgb{40, 200, 40};
    };
    auto choose = [&](int row, const char* key, int presses)
    {
        x.Click(kChannelPresetX, channel_row(row));
        for (int press = 0; press < presses; press++)
            x.Key(key);
        x.Key("Return");
    };
    {
        JackRig rig(x.env.JackName());
        ASSERT_TRUE(rig.Open() && rig.Attach(1));
        jack_nframes_t at = rig.Now() + static_cast<jack_nframes_t>(rig.SampleRate() / 5);
        rig.Send(at, {0xC4, 19});
        rig.Send(at, {0x94, 60, 100});
        EXPECT_TRUE(x.Shows("row 5 alone lit", [&](const Picture& p)
                            { return lit(p, 4) && !lit(p, 3) && !lit(p, 0); }));
        rig.Send(rig.Now() + 100, {0x84, 60, 0});
        EXPECT_TRUE(x.Shows("row 5 dark", [&](const Picture& p) { return !lit(p, 4); }));
    }
    choose(3, "Down", 23);
    // Inside the fields: the one clicked wears a dotted focus mark at its edges.
    auto alike = [](const Picture& p, int row)
    {
        return p.Like(p, 106, channel_row(row) - 4, 130, 8, 15) &&
               p.Like(p, 250, channel_row(row) - 7, 78, 14, 15);
    };
    EXPECT_TRUE(x.Shows(
        "the organ and its SoundFont on rows 4 and 5", [&](const Picture& p)
        { return alike(p, 3) && !alike(p, 2) && p.Ink(250, channel_row(3) - 7, 78, 14) > 20; }));
    // The menu on row 1 chooses the piano of bank 0 (item 3) instead of the recording; the
    // row locked, bank 1 and program 0 go unheard. Row 3 stays locked for the next start.
    choose(0, "Down", 4);
    EXPECT_NEAR(x.Play({}, 60).pitch, middle_c, 0.02 * middle_c) << "chosen from the menu";
    x.Click(kLockX, channel_row(0));
    x.Click(kLockX, channel_row(2));
    EXPECT_NEAR(x.Play({{0xB0, 0, 1}, {0xC0, 0}}, 60).pitch, middle_c, 0.02 * middle_c) << "locked";
    x.Click(kLockX, channel_row(0));
    ASSERT_TRUE(x.ChooseTab(1));

    // Removed, the recording is heard no more: bank 1 falls back to the piano of bank 0.
    x.Click(kRemoveX, row_middle(0));
    EXPECT_TRUE(x.Shows("one row again", [](const Picture& p) { return !row_shown(p, 1); }));
    EXPECT_NEAR(x.Play({{0xB0, 0, 1}, {0xC0, 0}}, 60).pitch, middle_c, 0.02 * middle_c);

    // Effects: the "Bathroom" reverb and the "Tremelo" chorus.
    ASSERT_TRUE(x.ChooseTab(2));
    ASSERT_TRUE(x.ChooseMenuItem(kReverbPresetX, kPresetY, 12, 14));
    EXPECT_TRUE(x.Shows("the room size of the preset",
                        [](const Picture& p) { return kRoomSizeBar.Shown(p) == 2; }));
    ASSERT_TRUE(x.ChooseMenuItem(kChorusPresetX, kPresetY, 7, 9));
    EXPECT_TRUE(
        x.Shows("one chorus voice", [](const Picture& p) { return kVoicesBar.Shown(p) == 1; }));

    // Setup: two MIDI ports and the high priority, for the next start; Main: the high quality.
    ASSERT_TRUE(x.ChooseTab(3));
    EXPECT_TRUE(changes(x, kPortsX - 5, kPortsY - 5, 10, 10, [&] { x.Click(kPortsX, kPortsY); }));
    EXPECT_TRUE(changes(x, kPriorityX - 50, kPriorityY - 6, 110, 12,
                        [&] { ASSERT_TRUE(x.ChooseMenuItem(kPriorityX, kPriorityY, 2, 3)); }));
    ASSERT_TRUE(x.ChooseTab(0));
    EXPECT_TRUE(changes(x, kQualityX - 50, kQualityY - 6, 110, 12,
                        [&] { ASSERT_TRUE(x.ChooseMenuItem(kQualityX, kQualityY, 2, 3)); }));
    std::vector<Picture> seen = pages_of(x);

    ProcessResult first = x.CloseWindow();
    ASSERT_EQ(first.exit_status, 0) << first.errors;
    // Quality and priority "High", two MIDI ports, Bathroom's and Tremelo's first three values.
    std::string saved = x.env.Settings();
    EXPECT_EQ(
        SettingsFields(saved),
        DefaultsWith(
            {{5, 2}, {8, 2}, {10, 1}, {11, 2}, {12, 0}, {13, 30}, {15, 1}, {16, 30}, {17, 30}}));
    EXPECT_EQ(SettingsSlots(saved), (SlotList{{0, {0, TIMGM6MB_SOUNDFONT}}}))
        << "the missing file and the removed recording are gone";

    // The next start asks nothing, listens on two ports and shows every choice as it was.
    x.env.variables["HARMOLOOM_ALERT_ANSWERS"] = "";
    x.env.variables["HARMOLOOM_FILE_PANEL_ANSWERS"] = "";
    ASSERT_TRUE(x.Launch());
    EXPECT_TRUE(InOrder(x.Output(), {"failed_to_load_something = 0\n"}));
    EXPECT_EQ(x.Errors().find("Alert"), std::string::npos) << x.Errors();
    std::vector<Picture> seen_again = pages_of(x);
    for (const Place& place : kPlaces)
        EXPECT_TRUE(seen_again[place.tab].Like(seen[place.tab], place.left, place.top, place.width,
                                               place.height))
            << place.what << " changed";
    EXPECT_NEAR(x.Play({{0xC0, 80}}, 69, 1).pitch, 440.0, 4.4)
        << "the SoundFont on the second port";

    // The window moved, polyphony dragged to 20 and the second port unchecked, the display is
    // lost: the program saves what a quit would and ends with status 1.
    std::vector<int32_t> fields = SettingsFields(saved);
    x.MoveWindow(230, 170);
    EXPECT_TRUE(Eventually([&] { return x.WindowFrame().x == 230; }, 10));
    ASSERT_TRUE(x.ChooseTab(0));
    x.Drag(kPolyphonyBar.ThumbX(fields[4]), kPolyphonyBar.row, kPolyphonyBar.ThumbX(20),
           kPolyphonyBar.row);
    EXPECT_TRUE(x.Shows("the thumb dragged",
                        [](const Picture& p) { return kPolyphonyBar.Shown(p) == 20; }));
    ASSERT_TRUE(x.ChooseTab(3));
    x.Click(kPortsX, kPortsY);
    ProcessResult ended = x.LoseDisplay();
    EXPECT_EQ(ended.exit_status, 1) << "signal " << ended.signal << "\n" << ended.errors;
    EXPECT_TRUE(InOrder(ended.errors, {"Harmoloom: the display was lost; settings saved\n"}));
    fields[1] = 230;
    fields[2] = 170;
    fields[4] = 20;
    fields[10] = 0;
    EXPECT_EQ(SettingsFields(x.env.Settings()), fields);
    EXPECT_EQ(SettingsSlots(x.env.Settings()), SettingsSlots(saved));
}

// Closed while an added file loads: the program does not wait for it, and keeps its row.
TEST(ClosedDuringALoad, TheProgramEndsWithoutWaitingAndTheFileIsSaved)
{
    ProgramUnderX x;
    ASSERT_TRUE(x.ServersRunning());
    const char* compressed = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
    x.env.WriteSettings(DefaultSettings(), {{0, {3, TIMGM6MB_SOUNDFONT}}});
    x.env.variables["HARMOLOOM_FILE_PANEL_ANSWERS"] = compressed;
    ASSERT_TRUE(x.Launch());
    ASSERT_TRUE(x.ChooseTab(1));
    x.Click(kAddX, kAddY);
    ASSERT_TRUE(Eventually([&] { return InOrder(x.Output(), {"DEBUG: Adding soundfont"}); }, 30));
    ProcessResult closed = x.CloseWindow();
    EXPECT_EQ(closed.exit_status, 0) << closed.errors;
    EXPECT_TRUE(InOrder(closed.output, {"DEBUG: Quitting during a load"}));
    EXPECT_EQ(SettingsSlots(x.env.Settings()),
              (SlotList{{0, {0, compressed}}, {1, {3, TIMGM6MB_SOUNDFONT}}}));
}

} // namespace
