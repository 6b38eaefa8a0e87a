#include "tests/support/ProgramUnderX.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "tests/support/AudioAnalysis.h"

Rgb Picture::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= columns || y >= rows)
        return {-1, -1, -1};
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(columns) + static_cast<size_t>(x)];
}

int Picture::Where(int left, int top, int width, int height,
                   const std::function<bool(int x, int y)>& condition) const
{
    int count = 0;
    for (int y = top; y < top + height; y++)
    {
        for (int x = left; x < left + width; x++)
            count += condition(x, y) ? 1 : 0;
    }
    return count;
}

int Picture::Ink(int left, int top, int width, int height) const
{
    auto dark = [this](int x, int y)
    { return At(x, y).red >= 0 && At(x, y).red + At(x, y).green + At(x, y).blue < 300; };
    return Where(left, top, width, height, dark);
}

bool Picture::Like(const Picture& other, int left, int top, int width, int height, int shift) const
{
    auto differs = [&](int x, int y)
    {
        Rgb a = At(x, y), b = other.At(x, y + shift);
        return std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue) >
               48;
    };
    return Where(left, top, width, height, differs) <= width * height / 500;
}

int SliderBar::ThumbX(int value) const
{
    return left + static_cast<int>(std::lround(static_cast<double>(value - minimum) *
                                               (right - left) / (maximum - minimum)));
}

int SliderBar::Shown(const Picture& picture) const
{
    int fill_end = -1;
    for (int x = left; x <= right; x++)
        fill_end = picture.At(x, row) == Rgb{0, 128, 255} ? x : fill_end;
    int nearest = minimum; // also where the thumb hides what little fill there is
    for (int value = minimum; value <= maximum && fill_end >= 0; value++)
    {
        if (std::abs(ThumbX(value) - (fill_end + 5)) < std::abs(ThumbX(nearest) - (fill_end + 5)))
            nearest = value;
    }
    return nearest;
}

ProgramUnderX::ProgramUnderX()
{
    // A window gone between two requests is no reason to end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (display_.Running())
        connection_ = XOpenDisplay(display_.Name().c_str());
    env.variables["DISPLAY"] = display_.Name();
}

ProgramUnderX::~ProgramUnderX()
{
    if (program_ != nullptr)
        program_->Stop(SIGTERM, 30); // a program killed would leave its JACK server waiting
    if (connection_ != nullptr)
        XCloseDisplay(connection_);
}

::testing::AssertionResult ProgramUnderX::Launch()
{
    if (!ServersRunning())
        return ::testing::AssertionFailure() << "Xvfb or jackd could not be started";
    program_ = env.Start({"--debug"});
    if (!program_->WaitForOutput("DEBUG: End of application constructor", 60))
        return ::testing::AssertionFailure() << "start-up did not end\n"
                                             << program_->Output() << program_->Errors();
    std::vector<unsigned long> shown;
    if (!Eventually([&] { return (shown = Windows("Harmoloom 1.1")).size() == 1; }, 20))
        return ::testing::AssertionFailure() << shown.size() << " main windows";
    window_ = shown[0];
    // Pointer events go to whatever is on top: the status window must be gone first.
    if (!Eventually([this] { return Windows("Loading").empty(); }, 20))
        return ::testing::AssertionFailure() << "the status window stays";
    return Shows("the Main tab", [](const Picture& picture) { return ChosenTab(picture) == 0; });
}

ProcessResult ProgramUnderX::CloseWindow()
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(connection_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection_, "WM_DELETE_WINDOW", False));
    XSendEvent(connection_, window_, False, NoEventMask, &event);
    XSync(connection_, False);
    window_ = 0;
    return program_ != nullptr ? std::exchange(program_, nullptr)->Wait(30) : ProcessResult{};
}

ProcessResult ProgramUnderX::LoseDisplay()
{
    XCloseDisplay(std::exchange(connection_, nullptr));
    display_.Stop();
    window_ = 0;
    return program_ != nullptr ? std::exchange(program_, nullptr)->Wait(30) : ProcessResult{};
}

std::vector<unsigned long> ProgramUnderX::Windows(const std::string& title) const
{
    std::vector<unsigned long> found;
    Window root = DefaultRootWindow(connection_), parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(connection_, root, &root, &parent, &children, &count);
    for (unsigned index = 0; index < count; index++)
    {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(connection_, children[index], &attributes) != 0 &&
            attributes.map_state == IsViewable &&
            (title.empty() ||
             (XFetchName(connection_, children[index], &name) != 0 && name == title)))
            found.push_back(children[index]);
        XFree(name);
    }
    XFree(children);
    return found;
}

Frame ProgramUnderX::FrameOf(unsigned long window) const
{
    XWindowAttributes attributes;
    if (window == 0 || XGetWindowAttributes(connection_, window, &attributes) == 0)
        return {};
    return {attributes.x, attributes.y, attributes.width, attributes.height};
}

void ProgramUnderX::MoveWindow(int x, int y)
{
    XMoveWindow(connection_, window_, x, y);
    XSync(connection_, False);
}

void ProgramUnderX::Pointer(int x, int y, const std::vector<std::string>& then) const
{
    Frame frame = WindowFrame();
    std::vector<std::string> command = {"/usr/bin/xdotool", "mousemove",
                                        std::to_string(frame.x + x), std::to_string(frame.y + y)};
    command.insert(command.end(), then.begin(), then.end());
    Run(command);
}

void ProgramUnderX::Drag(int from_x, int from_y, int to_x, int to_y)
{
    Frame frame = WindowFrame();
    std::vector<std::string> steps = {"mousedown", "1"};
    // In steps, as a hand moves: the toolkit sees a drag and not a jump.
    for (int step = 1; step <= 4; step++)
        steps.insert(steps.end(), {"sleep", "0.05", "mousemove",
                                   std::to_string(frame.x + from_x + (to_x - from_x) * step / 4),
                                   std::to_string(frame.y + from_y + (to_y - from_y) * step / 4)});
    steps.insert(steps.end(), {"sleep", "0.05", "mouseup", "1"});
    Pointer(from_x, from_y, steps);
}

void ProgramUnderX::Key(const std::string& name)
{
    // There is no window manager to give the window the focus.
    XSetInputFocus(connection_, window_, RevertToParent, CurrentTime);
    XSync(connection_, False);
    Run({"/usr/bin/xdotool", "key", name});
}

// The tab strip as the kit draws it, in the 24 pixels below the 4-pixel pad: five tabs of equal
// width from x = 6, the widest label's, which here is more than their share of the width,
// (380 - 2 x 6) / 5 = 73 pixels. The chosen tab is lighter above its label.
int ProgramUnderX::ChosenTab(const Picture& picture)
{
    for (int tab = 0; tab < 5; tab++)
    {
        if (picture.At(6 + kTabWidth * tab + 4, 8) == Rgb{232, 232, 232})
            return tab;
    }
    return -1;
}

::testing::AssertionResult ProgramUnderX::ChooseTab(int index)
{
    Click(6 + kTabWidth * index + kTabWidth / 2, 16);
    return Shows("tab " + std::to_string(index) + " chosen",
                 [index](const Picture& picture) { return ChosenTab(picture) == index; });
}

::testing::AssertionResult ProgramUnderX::ChooseMenuItem(int x, int y, int index, int count)
{
    // The menu is a window of its own on top, under the field or wherever the screen has room.
    unsigned long menu = 0;
    auto top = [this] { return Windows("").empty() ? 0 : Windows("").back(); };
    Click(x, y);
    if (!Eventually([&] { return (menu = top()) != window_; }, 10))
        return ::testing::AssertionFailure() << "no menu opened at " << x << ", " << y;
    // Items are of equal height; the border is a few pixels against some 18 per item.
    Frame frame = FrameOf(menu);
    Run({"/usr/bin/xdotool", "mousemove", std::to_string(frame.x + frame.width / 2),
         std::to_string(frame.y + frame.height * (2 * index + 1) / (2 * count)), "sleep", "0.1",
         "click", "1"});
    if (!Eventually([&] { return top() == window_; }, 10))
        return ::testing::AssertionFailure() << "the menu stays open";
    return ::testing::AssertionSuccess();
}

Picture ProgramUnderX::Take() const
{
    // Only what is on the screen can be read: the rest of a window partly off it is unknown.
    Frame frame = WindowFrame();
    Screen* screen = DefaultScreenOfDisplay(connection_);
    int left = std::max(frame.x, 0), right = std::min(frame.x + frame.width, WidthOfScreen(screen));
    int top = std::max(frame.y, 0),
        bottom = std::min(frame.y + frame.height, HeightOfScreen(screen));
    XImage* image = right <= left || bottom <= top
                        ? nullptr
                        : XGetImage(connection_, RootWindowOfScreen(screen), left, top,
                                    right - left, bottom - top, AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    // Xvfb's 24-bit screen keeps red, green and blue in the bytes 2, 1 and 0 of a pixel.
    std::vector<Rgb> pixels(static_cast<size_t>(frame.width * frame.height), Rgb{-1, -1, -1});
    for (int y = top; y < bottom; y++)
    {
        for (int x = left; x < right; x++)
        {
            unsigned long pixel = XGetPixel(image, x - left, y - top);
            pixels[static_cast<size_t>((y - frame.y) * frame.width + x - frame.x)] = {
                int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255)};
        }
    }
    XDestroyImage(image);
    return {frame.width, frame.height, std::move(pixels)};
}

bool ProgramUnderX::WaitForPicture(const std::function<bool(const Picture&)>& condition,
                                   Picture* last, double timeout_seconds)
{
    return Eventually([&] { return (*last = Take()).Valid() && condition(*last); },
                      timeout_seconds);
}

::testing::AssertionResult
ProgramUnderX::Shows(const std::string& what, const std::function<bool(const Picture&)>& condition)
{
    Picture last;
    return WaitForPicture(condition, &last)
               ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << "the window does not show " << what;
}

Heard ProgramUnderX::Play(const std::vector<std::vector<unsigned char>>& choose, int key, int port)
{
    Heard heard;
    // A cycle the recorder missed, the machine being busy elsewhere, leaves a gap in what it
    // heard: then the key is played again.
    for (int attempt = 0; attempt < 3; attempt++)
    {
        JackRig rig(env.JackName());
        if (!rig.Open() || !rig.Attach(port + 1))
            return {};
        const auto rate = static_cast<jack_nframes_t>(rig.SampleRate());
        jack_nframes_t at = rig.Now() + rate / 5;
        for (const auto& message : choose)
            rig.Send(at, message, port);
        auto note = static_cast<unsigned char>(key);
        rig.Send(at + rate / 20, {0x90, note, 100}, port);
        rig.Send(at + rate / 20 + rate * 6 / 10, {0x80, note, 0}, port);
        rig.WaitUntil(at + rate);
        heard = {FundamentalFrequency(rig.Mono(at + rate / 5, rate * 3 / 10), rate),
                 rig.Level(at + rate / 5, rate * 3 / 10)};
        if (rig.Xruns() == 0)
            break;
    }
    return heard;
}
