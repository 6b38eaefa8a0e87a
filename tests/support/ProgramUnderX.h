// The built program as a person meets it: its window on an X server of the test's own (Xvfb),
// its sound on a JACK server of its own, driven with xdotool's real mouse and keyboard events,
// looked at through the rig's own X connection and listened to through a JACK recorder.
#pragma once

#include <functional>

#include "tests/support/ProgramEnvironment.h"

struct _XDisplay;

struct Rgb
{
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};
const Rgb kPanel = {216, 216, 216};
const Rgb kWhite = {255, 255, 255};

// A picture of the window, in the window's own coordinates; pixels off the screen are unknown.
struct Picture
{
    bool Valid() const { return columns > 0; }
    Rgb At(int x, int y) const;
    // Pixels of a rectangle that satisfy the condition, have the colour, are dark as text.
    int Where(int left, int top, int width, int height,
              const std::function<bool(int x, int y)>& condition) const;
    int Count(int left, int top, int width, int height, Rgb colour) const
    {
        return Where(left, top, width, height, [&](int x, int y) { return At(x, y) == colour; });
    }
    int Ink(int left, int top, int width, int height) const;
    // Whether a rectangle looks as the one shift pixels lower in other: all but one pixel in
    // 500 of the same colour, give or take a little of a text's smoothing.
    bool Like(const Picture& other, int left, int top, int width, int height, int shift = 0) const;

    int columns = 0, rows = 0;
    std::vector<Rgb> pixels; // row by row
};

struct Frame
{
    int x = -1, y = -1, width = 0, height = 0;
};
struct Heard
{
    double pitch = 0, level = 0;
};

class ProgramUnderX
{
public:
    ProgramUnderX();
    ~ProgramUnderX();

    bool ServersRunning() const { return connection_ != nullptr && env.Ready(); }
    ProgramEnvironment env{256}; // tests change it before Launch

    ::testing::AssertionResult Launch(); // with "--debug", until its window is on the screen
    std::string Output() const { return program_ != nullptr ? program_->Output() : ""; }
    std::string Errors() const { return program_ != nullptr ? program_->Errors() : ""; }
    // Both wait for the program's end: the close button's WM_DELETE_WINDOW, the X server ended.
    ProcessResult CloseWindow();
    ProcessResult LoseDisplay();

    Frame WindowFrame() const { return FrameOf(window_); }
    // A property as xprop prints it ("WM_CLASS = ...").
    std::string WindowProperty(const std::string& name) const
    {
        return Run({"/usr/bin/xprop", "-notype", "-id", std::to_string(window_), name}).output;
    }
    void MoveWindow(int x, int y); // as a window manager would

    // Pointer and keyboard, at coordinates in the window. Wheel buttons: X's 4 up, 5 down, 6
    // left, 7 right (a touchpad's sideways).
    void Click(int x, int y) { Pointer(x, y, {"click", "1"}); }
    void Wheel(int x, int y, int button) { Pointer(x, y, {"click", std::to_string(button)}); }
    void Drag(int from_x, int from_y, int to_x, int to_y);
    void Key(const std::string& name);
    // Clicks a tab of the strip (0 Main ... 4 Channels) and waits until the strip shows it chosen.
    static constexpr int kTabWidth = 73; // five from x = 6
    ::testing::AssertionResult ChooseTab(int index);
    static int ChosenTab(const Picture& picture); // -1 when none is
    // Opens the menu of the field at (x, y) and clicks item index of its count items.
    ::testing::AssertionResult ChooseMenuItem(int x, int y, int index, int count);

    Picture Take() const;
    // Takes pictures until one satisfies the condition (left in last).
    bool WaitForPicture(const std::function<bool(const Picture&)>& condition, Picture* last,
                        double timeout_seconds = 10);
    ::testing::AssertionResult Shows(const std::string& what,
                                     const std::function<bool(const Picture&)>& condition);

    // Plays a key for 0.6 s on a MIDI input after the messages that choose its sound, and
    // measures what comes out.
    Heard Play(const std::vector<std::vector<unsigned char>>& choose, int key, int port = 0);

private:
    std::vector<unsigned long> Windows(const std::string& title) const; // "" any; top last
    Frame FrameOf(unsigned long window) const;
    ProcessResult Run(const std::vector<std::string>& command) const
    {
        return RunProcess(command, {{"DISPLAY", display_.Name()}}, 20);
    }
    // Moves the pointer to (x, y) in the window, then goes on with the xdotool commands.
    void Pointer(int x, int y, const std::vector<std::string>& then) const;

    VirtualDisplay display_;
    // A server resets when its last client leaves, and turns away whoever connects meanwhile,
    // a program starting just after another ended, for one: this connection stays.
    _XDisplay* connection_ = nullptr;
    std::unique_ptr<BackgroundProcess> program_;
    unsigned long window_ = 0;
};

// Places in the window. The pages start at y = 28, below the 4-pixel pad and the kit's 24-pixel
// tab strip; the rest follows from the pages' frames.
constexpr int kPageTop = 28;

// A slider's bar as the kit draws it, from the slider's frame: 6 pixels in from its sides, below
// its label (15 pixels, when it has one) and its upper hash marks (6 pixels) or else the thumb's
// 4-pixel overhang, and filled in blue from the left up to the thumb, whose 9-pixel box hides
// the last 5 filled pixels.
struct SliderBar
{
    SliderBar(int frame_left, int frame_top, int frame_right, bool label, bool upper_marks, int low,
              int high)
        : left(frame_left + 6), right(frame_right - 6),
          row(frame_top + (label ? 15 : 0) + (upper_marks ? 6 : 4) + 2), minimum(low), maximum(high)
    {
    }
    int ThumbX(int value) const;
    // The value whose thumb stands where the picture shows the fill ending.
    int Shown(const Picture& picture) const;

    int left, right, row, minimum, maximum; // row: one through the middle of the bar
};

// Main page: output box at (6, 4), second box at (6, 149); Effects page: reverb box at (8, 8),
// chorus box at (195, 8).
const SliderBar kLevelBar(6 + 4, kPageTop + 4 + 75, 6 + 364, false, true, -40, 17);
const SliderBar kPolyphonyBar(6 + 8, kPageTop + 149 + 58, 6 + 255, true, false, 0, 30);
const SliderBar kRoomSizeBar(8 + 12, kPageTop + 8 + 24, 8 + 167, true, true, 0, 30);
const SliderBar kVoicesBar(195 + 17, kPageTop + 8 + 24, 195 + 164, true, true, 1, 16);
