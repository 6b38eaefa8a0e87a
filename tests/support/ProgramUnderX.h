// The built program as a person meets it: its window on an X server of the test's own (Xvfb),
// its sound on a JACK server of the test's own, driven with xdotool's real mouse and keyboard
// events and looked at through ImageMagick's screen grabs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

struct _XDisplay;

struct Rgb
{
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& colour);

// A picture of the window, in the window's own coordinates.
class Picture
{
public:
    Picture() = default;
    // Parses a binary PPM ("P6") as ImageMagick writes it.
    explicit Picture(const std::string& ppm);

    bool Valid() const { return width_ > 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb At(int x, int y) const;
    // The pixels of a rectangle, for comparing one place in two pictures.
    std::vector<Rgb> Region(int left, int top, int width, int height) const;
    // How many pixels of a rectangle have the colour.
    int Count(int left, int top, int width, int height, Rgb colour) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> rgb_;
};

class ProgramUnderX
{
public:
    ProgramUnderX();
    ~ProgramUnderX();
    ProgramUnderX(const ProgramUnderX&) = delete;
    ProgramUnderX& operator=(const ProgramUnderX&) = delete;

    bool ServersRunning() const { return connection_ != nullptr && jack_.Running(); }
    const std::string& JackName() const { return jack_.Name(); }
    std::string SettingsPath() const { return config_.File("Harmoloom Settings"); }
    // A folder for the test's own files (the program's HOME).
    const TemporaryFolder& Home() const { return home_; }
    // What the program is started with; tests add to it before Launch.
    std::map<std::string, std::string> environment;
    // The program file started (an installed copy, say); the built one when empty.
    std::string program;

    // Starts the program with "--debug" and waits until its start-up is complete and its window
    // is on the screen.
    ::testing::AssertionResult Launch();
    std::string Output() const;
    std::string Errors() const;
    // How often text appears in the output so far.
    size_t CountInOutput(const std::string& text) const;

    // Closes the window as a window manager does for the close button (WM_DELETE_WINDOW) and
    // waits for the program to end.
    ProcessResult CloseWindow();
    // Ends it with a signal and waits.
    ProcessResult Stop(int signal_number);

    // The window's place on the screen; false when it cannot be read.
    bool WindowPosition(int* x, int* y) const;
    // A property of the main window as xprop prints it without its type ("WM_CLASS = ...").
    std::string WindowProperty(const std::string& name) const;
    // Moves the window as a window manager would.
    void MoveWindow(int x, int y);

    // Pointer and keyboard, at coordinates in the window.
    void Click(int x, int y);
    void Drag(int from_x, int from_y, int to_x, int to_y);
    // A turn of the wheel: X's button 4 up, 5 down, 6 left, 7 right (a touchpad's sideways).
    void Wheel(int x, int y, int button);
    void Key(const std::string& name);
    // Clicks a tab of the strip (0 Main ... 3 Setup) and waits until the strip shows it chosen.
    ::testing::AssertionResult ChooseTab(int index);
    // The tab the strip shows chosen, -1 when none is.
    static int ChosenTab(const Picture& picture);
    // Opens the menu of the field at (x, y) with a click and clicks item index of its count
    // items in the menu that drops down.
    ::testing::AssertionResult ChooseMenuItem(int x, int y, int index, int count);

    Picture Take() const;
    // Takes pictures until one satisfies the condition; false after timeout_seconds. The last
    // picture taken is left in last.
    bool WaitForPicture(const std::function<bool(const Picture&)>& condition, Picture* last,
                        double timeout_seconds = 10);

private:
    ProcessResult Xdotool(std::vector<std::string> arguments) const;
    std::vector<std::string> VisibleWindows() const;
    bool ToScreen(int* x, int* y) const;

    VirtualDisplay display_;
    // A server resets when its last client leaves, and turns away whoever connects meanwhile,
    // a program starting just after another ended, for one: this connection stays.
    _XDisplay* connection_ = nullptr;
    JackServer jack_{48000, 256};
    TemporaryFolder config_;
    TemporaryFolder home_;
    std::unique_ptr<BackgroundProcess> program_;
    std::string window_;
};

// Places in the window. The pages start at y = 28, below the 4-pixel pad and the kit's 24-pixel
// tab strip; the rest follows from the pages' frames.
constexpr int kPageTop = 28;

// A slider's bar as the kit draws it: 6 pixels in from the slider's sides, below its label (15
// pixels, when it has one) and its upper hash marks (6 pixels) or else the thumb's 4-pixel
// overhang, and filled in blue from the left up to the thumb, whose 9-pixel box hides the last
// 5 filled pixels.
struct SliderBar
{
    int left;
    int right;
    int row; // a row through the middle of the bar
    int minimum;
    int maximum;

    static SliderBar Of(int frame_left, int frame_top, int frame_right, bool label,
                        bool upper_marks, int minimum, int maximum);
    int ThumbX(int value) const;
    // The value whose thumb stands where the picture shows the fill ending.
    int Shown(const Picture& picture) const;
};
const Rgb kSliderFill = {0, 128, 255};

// Main page: output box at (6, 4), second box at (6, 149).
extern const SliderBar kLevelBar;
extern const SliderBar kPolyphonyBar;
// Effects page: the reverb box at (8, 8).
extern const SliderBar kRoomSizeBar;
