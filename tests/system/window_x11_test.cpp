// The main window on a real X server, used with a real mouse and keyboard (xdotool) and checked
// by its pixels, by the sound the program makes and by the settings it saves when it closes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"
#include "tests/support/ProgramUnderX.h"

namespace
{

const Rgb kPanel = {216, 216, 216};

// The Soundfonts list (the scroll view's holder at (4, 40) on the page, 226 pixels high), less
// its right edge where the scroll bar's neighbour may be redrawn.
constexpr int kListLeft = 8;
constexpr int kListTop = kPageTop + 40;
constexpr int kListWidth = 330;
constexpr int kListHeight = 226;

// The meter's two bars in the output box: (11, 24) to (358, 29) and (11, 34) to (358, 39).
constexpr int kMeterLeft = 6 + 11;
constexpr int kMeterWidth = 348;
constexpr int kLeftBarTop = kPageTop + 4 + 24;
constexpr int kRightBarTop = kPageTop + 4 + 34;
const Rgb kLitCells[] = {{104, 200, 104}, {23, 184, 23}, {232, 160, 160}, {255, 0, 0}};

// Centres of controls, from their frames.
constexpr int kPanicX = 6 + (275 + 357) / 2;
constexpr int kPanicY = kPageTop + 149 + (14 + 94) / 2;
constexpr int kClearPeakX = 6 + (275 + 357) / 2;
constexpr int kClearPeakY = kPageTop + 4 + (97 + 121) / 2;
// The quality field's menu, right of its 92-pixel label.
constexpr int kQualityMenuX = 6 + 7 + 92 + 60;
constexpr int kQualityMenuY = kPageTop + 149 + (14 + 36) / 2;

int lit_pixels(const Picture& picture)
{
    int lit = 0;
    for (const Rgb& colour : kLitCells)
    {
        lit += picture.Count(kMeterLeft, kLeftBarTop, kMeterWidth, 6, colour) +
               picture.Count(kMeterLeft, kRightBarTop, kMeterWidth, 6, colour);
    }
    return lit;
}

// Pixels of the upper part of the page, where the Main page's output box would be, that are
// not plain panel: a page whose controls are drawn has many.
int drawn_pixels_above(const Picture& picture)
{
    return picture.Width() * 130 - picture.Count(0, kPageTop + 4, picture.Width(), 130, kPanel);
}

// Whether the list shows the rows scrolled by offset pixels, against a picture of it at the top.
bool list_scrolled_by(const Picture& now, const Picture& top, int offset)
{
    return now.Region(kListLeft, kListTop, kListWidth, kListHeight - offset) ==
           top.Region(kListLeft, kListTop + offset, kListWidth, kListHeight - offset);
}

// Pixels dark enough to be text in a rectangle.
int ink_pixels(const Picture& picture, int left, int top, int width, int height)
{
    int ink = 0;
    for (const Rgb& pixel : picture.Region(left, top, width, height))
        ink += pixel.red + pixel.green + pixel.blue < 300 ? 1 : 0;
    return ink;
}

// How many columns lie between the first and the last of a band of rows that hold ink.
int ink_width(const Picture& picture, int left, int top, int width, int height)
{
    int first = left;
    int last = left + width - 1;
    while (first <= last && ink_pixels(picture, first, top, 1, height) == 0)
        first++;
    while (last >= first && ink_pixels(picture, last, top, 1, height) == 0)
        last--;
    return last - first + 1;
}

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(x.ServersRunning()); }

    void Settings(const std::vector<int32_t>& fields, const SlotList& slots = {})
    {
        WriteFile(x.SettingsPath(), SettingsFile(fields, slots));
    }

    std::vector<int32_t> SavedFields() const { return SettingsFields(ReadFile(x.SettingsPath())); }

    // Closes the window and checks that the program ended in its order.
    void Close()
    {
        ProcessResult result = x.CloseWindow();
        EXPECT_EQ(result.exit_status, 0) << result.errors;
        EXPECT_NE(result.output.find("DEBUG: Quit requested\nDEBUG: Stopping audio\n"),
                  std::string::npos)
            << result.output;
        EXPECT_NE(result.output.find("DEBUG: Saving settings\nDEBUG: Deleting synth\n"),
                  std::string::npos);
    }

    ProgramUnderX x;
};

TEST_F(MainWindow, EachTabShowsItsPageWhenClicked)
{
    ASSERT_TRUE(x.Launch());
    Picture main_page = x.Take();
    EXPECT_EQ(ProgramUnderX::ChosenTab(main_page), 0);
    std::vector<std::vector<Rgb>> pages = {
        main_page.Region(0, kPageTop + 150, main_page.Width(), 120)};
    for (int tab : {1, 2, 3, 0})
    {
        ASSERT_TRUE(x.ChooseTab(tab));
        // The meter goes on drawing into the Main page while it is hidden; for half a second
        // every picture must show the chosen page whole.
        for (int look = 0; look < 10; look++)
        {
            Picture picture = x.Take();
            ASSERT_EQ(ProgramUnderX::ChosenTab(picture), tab);
            ASSERT_GT(drawn_pixels_above(picture), 4000) << "page " << tab << ", look " << look;
            if (look == 9 && tab != 0)
                pages.push_back(picture.Region(0, kPageTop + 150, picture.Width(), 120));
            if (look == 9 && tab == 3)
            {
                // The Setup notice's two lines end at 376 on the page, just inside the box's
                // border: the last pixels before it are plain panel, no letter cut in half.
                EXPECT_EQ(picture.Count(372, kPageTop + 204, 3, 38, kPanel), 3 * 38);
            }
            if (look == 9 && tab == 0)
            {
                EXPECT_TRUE(picture.Region(0, kPageTop + 150, picture.Width(), 120) == pages[0])
                    << "back to the same Main page";
            }
            usleep(50000);
        }
    }
    for (size_t one = 0; one < pages.size(); one++)
    {
        for (size_t other = one + 1; other < pages.size(); other++)
            EXPECT_TRUE(pages[one] != pages[other]) << "pages " << one << " and " << other;
    }
}

TEST_F(MainWindow, TextsAreDrawnWholeInsideTheirFrames)
{
    ASSERT_TRUE(x.Launch());
    // The polyphony slider, (8, 58) to (255, 79) in the second box, takes the 43 pixels its
    // parts need: its label clear of the thumb, the limit labels below its hash marks.
    constexpr int kSliderLeft = 6 + 8;
    constexpr int kSliderTop = kPageTop + 149 + 58;
    Picture picture = x.Take();
    EXPECT_EQ(picture.Count(kSliderLeft, kSliderTop, 248, 15, {224, 224, 224}), 0) << "thumb";
    EXPECT_GT(ink_pixels(picture, kSliderLeft, kSliderTop + 30, 30, 13), 10) << "\"16\"";
    EXPECT_GT(ink_pixels(picture, kSliderLeft + 218, kSliderTop + 30, 30, 13), 10) << "\"256\"";
    EXPECT_EQ(ink_pixels(picture, kSliderLeft, kSliderTop + 43, 248, 10), 0);

    // A row of panel between the "Damping:" slider's label and its hash marks.
    ASSERT_TRUE(x.ChooseTab(2));
    EXPECT_EQ(x.Take().Count(8 + 12, kPageTop + 8 + 72 + 15, 156, 1, kPanel), 156);

    // "Add Soundfont or wave file...", (9, 9) to (176, 28), within its border.
    ASSERT_TRUE(x.ChooseTab(1));
    picture = x.Take();
    EXPECT_GT(ink_pixels(picture, 12, kPageTop + 12, 162, 14), 100);
    EXPECT_EQ(ink_pixels(picture, 3, kPageTop + 9, 6, 20), 0);
    EXPECT_EQ(ink_pixels(picture, 177, kPageTop + 9, 6, 20), 0);

    // In the Setup box at (4, 4): "Timing Accuracy:" stops short of its menu at 105, the check
    // box's label before its frame's right edge at 340, and the notice's two lines are of one
    // size: the second's ink is 0.69 as wide as the first's so, 0.76 were it a size larger.
    ASSERT_TRUE(x.ChooseTab(3));
    picture = x.Take();
    EXPECT_EQ(ink_pixels(picture, 4 + 20 + 102, kPageTop + 4 + 81, 3, 23), 0);
    EXPECT_EQ(ink_pixels(picture, 4 + 341, kPageTop + 4 + 141, 20, 23), 0);
    double first = ink_width(picture, 26, kPageTop + 204, 351, 12);
    EXPECT_LT(ink_width(picture, 101, kPageTop + 228, 276, 8) / first, 0.73) << first;
    Close();
}

TEST_F(MainWindow, SlidersStandWhereTheSettingsPutThem)
{
    struct Case
    {
        int32_t level;
        int32_t polyphony;
        int32_t room_size;
    };
    for (Case c : {Case{-30, 8, 6}, Case{6, 25, 27}})
    {
        std::vector<int32_t> fields = DefaultSettings();
        fields[3] = c.level;
        fields[4] = c.polyphony;
        fields[11] = c.room_size;
        Settings(fields);
        ASSERT_TRUE(x.Launch());
        Picture main_page = x.Take();
        EXPECT_EQ(kLevelBar.Shown(main_page), c.level);
        EXPECT_EQ(kPolyphonyBar.Shown(main_page), c.polyphony);
        ASSERT_TRUE(x.ChooseTab(2));
        EXPECT_EQ(kRoomSizeBar.Shown(x.Take()), c.room_size);
        Close();
        EXPECT_EQ(SavedFields(), fields) << "nothing moved, nothing changed";
    }
}

TEST_F(MainWindow, DraggedSliderAndChosenQualityAreSavedAtClose)
{
    ASSERT_TRUE(x.Launch());
    Picture picture = x.Take();
    ASSERT_EQ(kPolyphonyBar.Shown(picture), 14);
    x.Drag(kPolyphonyBar.ThumbX(14), kPolyphonyBar.row, kPolyphonyBar.ThumbX(6), kPolyphonyBar.row);
    EXPECT_TRUE(
        x.WaitForPicture([](const Picture& p) { return kPolyphonyBar.Shown(p) == 6; }, &picture))
        << "the thumb shows " << kPolyphonyBar.Shown(picture);

    ASSERT_TRUE(x.ChooseMenuItem(kQualityMenuX, kQualityMenuY, 0, 3)); // "Low"
    Close();
    std::vector<int32_t> expected = DefaultSettings();
    expected[4] = 6;
    expected[5] = 0;
    EXPECT_EQ(SavedFields(), expected);
}

TEST_F(MainWindow, WindowIsKeptOnTheScreenAndItsPlaceSaved)
{
    struct Case
    {
        int32_t left;
        int32_t top;
        int opens_x;
        int opens_y;
    };
    // The screen is 1024 x 768.
    for (Case c : {Case{0, 0, 8, 24}, Case{5000, 5000, 944, 688}, Case{-300, 700, 8, 688}})
    {
        std::vector<int32_t> fields = DefaultSettings();
        fields[1] = c.left;
        fields[2] = c.top;
        Settings(fields);
        ASSERT_TRUE(x.Launch());
        int shown_x = -1;
        int shown_y = -1;
        ASSERT_TRUE(x.WindowPosition(&shown_x, &shown_y));
        EXPECT_EQ(shown_x, c.opens_x) << "stored " << c.left << ", " << c.top;
        EXPECT_EQ(shown_y, c.opens_y) << "stored " << c.left << ", " << c.top;
        Close();
        std::vector<int32_t> saved = SavedFields();
        ASSERT_EQ(saved.size(), 19u);
        EXPECT_EQ(saved[1], c.opens_x) << "saved as it opened, though never moved";
        EXPECT_EQ(saved[2], c.opens_y);
    }

    // Moved by hand, it is saved where it was left.
    Settings(DefaultSettings());
    ASSERT_TRUE(x.Launch());
    x.MoveWindow(230, 170);
    int moved_x = -1;
    int moved_y = -1;
    ASSERT_TRUE(Eventually(
        [&] { return x.WindowPosition(&moved_x, &moved_y) && moved_x == 230 && moved_y == 170; },
        10));
    Close();
    std::vector<int32_t> expected = DefaultSettings();
    expected[1] = 230;
    expected[2] = 170;
    EXPECT_EQ(SavedFields(), expected);
}

TEST_F(MainWindow, WheelAndKeysScrollTheSoundfontList)
{
    // Sixteen small recordings of different names: 417 pixels of rows in a 226-pixel list.
    SlotList slots;
    for (int slot = 0; slot < 16; slot++)
    {
        std::string path = x.Home().File("tone-" + std::to_string(100 + slot) + ".wav");
        ASSERT_EQ(RunProcess({"/usr/bin/sox", "-n", "-r", "22050", "-b", "16", "-c", "1", path,
                              "synth", "0.05", "sine", std::to_string(200 + 20 * slot)},
                             {})
                      .exit_status,
                  0);
        slots[slot] = {0, path};
    }
    Settings(DefaultSettings(), slots);
    ASSERT_TRUE(x.Launch());
    ASSERT_TRUE(x.ChooseTab(1));
    Picture top;
    ASSERT_TRUE(x.WaitForPicture(
        [](const Picture& p)
        {
            return p.Count(kListLeft, kListTop, kListWidth, kListHeight, kPanel) >
                   kListWidth * kListHeight / 2;
        },
        &top))
        << "the rows fill the list";

    struct Step
    {
        std::string action;
        int offset; // where the list stands afterwards
    };
    // A sideways scroll leaves the list where it is, as the next step shows.
    const Step steps[] = {{"wheel down", 12}, {"wheel right", 12}, {"Down", 24},
                          {"Next", 108},      {"wheel up", 96},    {"Prior", 12},
                          {"Up", 0},          {"wheel down", 12}};
    const std::map<std::string, int> wheel_buttons = {
        {"wheel up", 4}, {"wheel down", 5}, {"wheel right", 7}};
    for (const Step& step : steps)
    {
        if (wheel_buttons.count(step.action) != 0)
            x.Wheel(150, kListTop + 100, wheel_buttons.at(step.action));
        else
            x.Key(step.action);
        Picture now;
        EXPECT_TRUE(x.WaitForPicture(
            [&](const Picture& p) { return list_scrolled_by(p, top, step.offset); }, &now))
            << step.action << " should leave the list at " << step.offset;
    }

    // Away and back: the list is at the top again.
    ASSERT_TRUE(x.ChooseTab(0));
    ASSERT_TRUE(x.ChooseTab(1));
    Picture back;
    EXPECT_TRUE(
        x.WaitForPicture([&](const Picture& p) { return list_scrolled_by(p, top, 0); }, &back))
        << "scrolled back to the top";

    Close();
}

TEST_F(MainWindow, PanicSilencesAHangingNoteAndClearPeakDropsThePeakMark)
{
    Settings(DefaultSettings(), {{0, {0, TIMGM6MB_SOUNDFONT}}});
    ASSERT_TRUE(x.Launch());
    JackRig rig(x.JackName());
    ASSERT_TRUE(rig.Open());
    ASSERT_TRUE(rig.RecordFrom(rig.FindPort("Harmoloom:left"), rig.FindPort("Harmoloom:right")));
    ASSERT_TRUE(rig.ConnectMidiTo(rig.FindPort(":MIDI In 1")));
    const auto rate = static_cast<jack_nframes_t>(rig.SampleRate());
    auto level_over = [&](jack_nframes_t end, double seconds)
    {
        auto frames = static_cast<jack_nframes_t>(seconds * rate);
        std::vector<float> mono = Channel(rig.Recorded(end - frames, frames), 2);
        return Rms(mono, 0, mono.size());
    };

    // A church organ holds its note for as long as the key is down, and the key never comes up.
    jack_nframes_t on = rig.Now() + rate / 10;
    rig.Send(on, {0xC0, 19});
    rig.Send(on + 10, {0x90, 60, 110});
    rig.WaitUntil(on + rate);
    Picture picture;
    ASSERT_TRUE(x.WaitForPicture([](const Picture& p) { return lit_pixels(p) > 60; }, &picture))
        << "the meter shows the note";
    jack_nframes_t before_panic = rig.Now();
    double held = level_over(before_panic, 0.2);
    ASSERT_GT(held, 0.005) << "the note still sounds";

    x.Click(kPanicX, kPanicY);
    EXPECT_TRUE(Eventually([&] { return level_over(rig.Now(), 0.1) < 0.001 * held; }, 10))
        << "silenced";
    EXPECT_GT(level_over(before_panic, 0.1), 0.5 * held) << "it was the button";

    // The bars fall; the peak marks stay (five lit pixels in each of the six rows of both
    // bars) until the button clears them.
    EXPECT_TRUE(
        x.WaitForPicture([](const Picture& p) { return lit_pixels(p) == 2 * 6 * 5; }, &picture, 15))
        << lit_pixels(picture) << " pixels lit";
    x.Click(kClearPeakX, kClearPeakY);
    EXPECT_TRUE(x.WaitForPicture([](const Picture& p) { return lit_pixels(p) == 0; }, &picture))
        << lit_pixels(picture) << " pixels still lit";
    Close();
}

} // namespace
