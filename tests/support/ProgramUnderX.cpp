#include "tests/support/ProgramUnderX.h"

#include <X11/Xlib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace
{

// The tab strip as the kit draws it, in the 24 pixels below the 4-pixel pad: four tabs of equal
// width from x = 6, the widest label's, which here is more than their share of the width,
// (380 - 2 x 6) / 4 = 92 pixels. The chosen tab is lighter.
constexpr int kTabLeft = 6;
constexpr int kTabWidth = 92;
constexpr int kTabMiddle = 16;
const Rgb kChosenTab = {232, 232, 232};

// The value of NAME=value in xdotool's --shell output.
int shell_value(const std::string& text, const std::string& name)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        if (line.rfind(name + "=", 0) == 0)
            return std::stoi(line.substr(name.size() + 1));
    }
    return -1;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const Rgb& colour)
{
    return out << "(" << colour.red << ", " << colour.green << ", " << colour.blue << ")";
}

Picture::Picture(const std::string& ppm)
{
    std::istringstream in(ppm);
    std::string magic;
    int width = 0;
    int height = 0;
    int maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get(); // the one blank before the pixels
    if (magic != "P6" || width <= 0 || height <= 0 || maximum <= 0 || maximum > 65535)
        return;
    size_t bytes_per_sample = maximum > 255 ? 2 : 1;
    size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    auto start = static_cast<size_t>(in.tellg());
    if (ppm.size() < start + samples * bytes_per_sample)
        return;
    rgb_.resize(samples);
    for (size_t sample = 0; sample < samples; sample++)
    {
        // Sixteen-bit samples are big-endian; their high byte is the 8-bit value.
        rgb_[sample] = static_cast<uint8_t>(ppm[start + sample * bytes_per_sample]);
    }
    width_ = width;
    height_ = height;
}

Rgb Picture::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return {-1, -1, -1};
    size_t at = 3 * (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x));
    return {rgb_[at], rgb_[at + 1], rgb_[at + 2]};
}

std::vector<Rgb> Picture::Region(int left, int top, int width, int height) const
{
    std::vector<Rgb> pixels;
    for (int y = top; y < top + height; y++)
    {
        for (int x = left; x < left + width; x++)
            pixels.push_back(At(x, y));
    }
    return pixels;
}

int Picture::Count(int left, int top, int width, int height, Rgb colour) const
{
    int count = 0;
    for (const Rgb& pixel : Region(left, top, width, height))
        count += pixel == colour ? 1 : 0;
    return count;
}

SliderBar SliderBar::Of(int frame_left, int frame_top, int frame_right, bool label,
                        bool upper_marks, int minimum, int maximum)
{
    int bar_top = frame_top + (label ? 15 : 0) + (upper_marks ? 6 : 4);
    return {frame_left + 6, frame_right - 6, bar_top + 2, minimum, maximum};
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
    {
        if (picture.At(x, row) == kSliderFill)
            fill_end = x;
    }
    if (fill_end < 0)
        return minimum; // the thumb hides the little fill there is
    int nearest = minimum;
    for (int value = minimum; value <= maximum; value++)
    {
        if (std::abs(ThumbX(value) - (fill_end + 5)) < std::abs(ThumbX(nearest) - (fill_end + 5)))
            nearest = value;
    }
    return nearest;
}

const SliderBar kLevelBar = SliderBar::Of(6 + 4, kPageTop + 4 + 75, 6 + 364, false, true, -40, 17);
const SliderBar kPolyphonyBar =
    SliderBar::Of(6 + 8, kPageTop + 149 + 58, 6 + 255, true, false, 0, 30);
const SliderBar kRoomSizeBar = SliderBar::Of(8 + 12, kPageTop + 8 + 24, 8 + 167, true, true, 0, 30);

ProgramUnderX::ProgramUnderX()
{
    std::filesystem::create_directories(config_.Path());
    if (display_.Running())
        connection_ = XOpenDisplay(display_.Name().c_str());
}

ProgramUnderX::~ProgramUnderX()
{
    if (program_ != nullptr)
        Stop(SIGTERM);
    if (connection_ != nullptr)
        XCloseDisplay(connection_);
}

::testing::AssertionResult ProgramUnderX::Launch()
{
    if (!ServersRunning())
        return ::testing::AssertionFailure() << "Xvfb or jackd could not be started";
    std::map<std::string, std::string> settings = {
        {"DISPLAY", display_.Name()},    {"XDG_CONFIG_HOME", config_.Path()},
        {"HOME", home_.Path()},          {"JACK_DEFAULT_SERVER", jack_.Name()},
        {"HARMOLOOM_AUDIO", "jack"},     {"HARMOLOOM_MIDI", "jack"},
        {"HARMOLOOM_ALERT_ANSWERS", ""}, {"HARMOLOOM_FILE_PANEL_ANSWERS", ""},
    };
    for (const auto& [name, value] : environment)
        settings[name] = value;
    program_ = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{program.empty() ? HARMOLOOM_BINARY : program, "--debug"},
        settings);
    if (!program_->WaitForOutput("DEBUG: End of application constructor", 60))
    {
        ProcessResult screen = Xdotool({"getdisplaygeometry"});
        return ::testing::AssertionFailure() << "start-up did not end\n"
                                             << program_->Output() << program_->Errors()
                                             << "the display says: " << screen.exit_status << " "
                                             << screen.output << screen.errors;
    }

    ProcessResult found =
        Xdotool({"search", "--sync", "--onlyvisible", "--name", "^Harmoloom 1\\.1$"});
    std::vector<std::string> windows = words(found.output);
    if (windows.size() != 1)
        return ::testing::AssertionFailure() << "not one main window: " << found.output;
    window_ = windows[0];
    // Pointer events go to whatever is on top: the status window must be gone first.
    if (!Eventually(
            [this] {
                return Xdotool({"search", "--onlyvisible", "--name", "^Loading$"}).exit_status != 0;
            },
            20))
        return ::testing::AssertionFailure() << "the status window stays";
    Picture drawn;
    if (!WaitForPicture([](const Picture& picture) { return ChosenTab(picture) == 0; }, &drawn))
        return ::testing::AssertionFailure() << "the window shows no Main tab";
    return ::testing::AssertionSuccess();
}

std::string ProgramUnderX::Output() const
{
    return program_ != nullptr ? program_->Output() : "";
}

std::string ProgramUnderX::Errors() const
{
    return program_ != nullptr ? program_->Errors() : "";
}

size_t ProgramUnderX::CountInOutput(const std::string& text) const
{
    std::string output = Output();
    size_t count = 0;
    for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1))
        count++;
    return count;
}

ProcessResult ProgramUnderX::CloseWindow()
{
    Window window = std::stoul(window_);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(connection_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection_, window, False, NoEventMask, &event);
    XSync(connection_, False);
    return Stop(0); // no signal: wait for the end
}

ProcessResult ProgramUnderX::Stop(int signal_number)
{
    if (program_ == nullptr)
        return {};
    ProcessResult result = program_->Stop(signal_number, 30);
    program_.reset();
    window_.clear();
    return result;
}

ProcessResult ProgramUnderX::Xdotool(std::vector<std::string> arguments) const
{
    arguments.insert(arguments.begin(), "/usr/bin/xdotool");
    return RunProcess(arguments, {{"DISPLAY", display_.Name()}}, 20);
}

std::string ProgramUnderX::WindowProperty(const std::string& name) const
{
    return RunProcess({"/usr/bin/xprop", "-notype", "-id", window_, name},
                      {{"DISPLAY", display_.Name()}}, 20)
        .output;
}

bool ProgramUnderX::WindowPosition(int* x, int* y) const
{
    ProcessResult geometry = Xdotool({"getwindowgeometry", "--shell", window_});
    *x = shell_value(geometry.output, "X");
    *y = shell_value(geometry.output, "Y");
    return geometry.exit_status == 0 && *x >= 0 && *y >= 0;
}

void ProgramUnderX::MoveWindow(int x, int y)
{
    Xdotool({"windowmove", "--sync", window_, std::to_string(x), std::to_string(y)});
}

bool ProgramUnderX::ToScreen(int* x, int* y) const
{
    int left = 0;
    int top = 0;
    if (!WindowPosition(&left, &top))
        return false;
    *x += left;
    *y += top;
    return true;
}

void ProgramUnderX::Click(int x, int y)
{
    if (ToScreen(&x, &y))
        Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

void ProgramUnderX::Drag(int from_x, int from_y, int to_x, int to_y)
{
    if (!ToScreen(&from_x, &from_y) || !ToScreen(&to_x, &to_y))
        return;
    std::vector<std::string> arguments = {"mousemove", std::to_string(from_x),
                                          std::to_string(from_y), "mousedown", "1"};
    // In steps, as a hand moves: the toolkit sees a drag and not a jump.
    for (int step = 1; step <= 4; step++)
    {
        arguments.insert(arguments.end(), {"sleep", "0.05", "mousemove",
                                           std::to_string(from_x + (to_x - from_x) * step / 4),
                                           std::to_string(from_y + (to_y - from_y) * step / 4)});
    }
    arguments.insert(arguments.end(), {"sleep", "0.05", "mouseup", "1"});
    Xdotool(arguments);
}

void ProgramUnderX::Wheel(int x, int y, int button)
{
    if (ToScreen(&x, &y))
        Xdotool(
            {"mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
}

void ProgramUnderX::Key(const std::string& name)
{
    // There is no window manager to give the window the focus.
    Xdotool({"windowfocus", window_});
    Xdotool({"key", name});
}

int ProgramUnderX::ChosenTab(const Picture& picture)
{
    for (int tab = 0; tab < 4; tab++)
    {
        if (picture.At(kTabLeft + kTabWidth * tab + 4, kTabMiddle) == kChosenTab)
            return tab;
    }
    return -1;
}

::testing::AssertionResult ProgramUnderX::ChooseTab(int index)
{
    Click(kTabLeft + kTabWidth * index + kTabWidth / 2, kTabMiddle);
    Picture last;
    if (WaitForPicture([index](const Picture& picture) { return ChosenTab(picture) == index; },
                       &last))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "tab " << index << " not chosen; the strip shows " << ChosenTab(last);
}

std::vector<std::string> ProgramUnderX::VisibleWindows() const
{
    return words(Xdotool({"search", "--onlyvisible", "--name", ""}).output);
}

::testing::AssertionResult ProgramUnderX::ChooseMenuItem(int x, int y, int index, int count)
{
    std::vector<std::string> before = VisibleWindows();
    Click(x, y);
    // The menu is a window of its own, under the field or wherever the screen has room.
    std::string menu;
    auto is_open = [&]
    {
        std::vector<std::string> now = VisibleWindows();
        for (const std::string& id : now)
        {
            if (id != window_ && std::find(before.begin(), before.end(), id) == before.end())
                menu = id;
        }
        return !menu.empty() && std::find(now.begin(), now.end(), menu) != now.end();
    };
    if (!Eventually(is_open, 10))
        return ::testing::AssertionFailure() << "no menu opened at " << x << ", " << y;
    ProcessResult geometry = Xdotool({"getwindowgeometry", "--shell", menu});
    int left = shell_value(geometry.output, "X");
    int top = shell_value(geometry.output, "Y");
    int width = shell_value(geometry.output, "WIDTH");
    int height = shell_value(geometry.output, "HEIGHT");
    // Items are of equal height; the border is a few pixels against some 18 per item.
    int item_x = left + width / 2;
    int item_y = top + height * (2 * index + 1) / (2 * count);
    Xdotool({"mousemove", std::to_string(item_x), std::to_string(item_y), "sleep", "0.1", "click",
             "1"});
    if (!Eventually([&] { return !is_open(); }, 10))
        return ::testing::AssertionFailure() << "the menu stays open";
    return ::testing::AssertionSuccess();
}

Picture ProgramUnderX::Take() const
{
    ProcessResult grab =
        RunProcess({"/usr/bin/import", "-silent", "-window", window_, "-depth", "8", "ppm:-"},
                   {{"DISPLAY", display_.Name()}}, 20);
    return Picture(grab.output);
}

bool ProgramUnderX::WaitForPicture(const std::function<bool(const Picture&)>& condition,
                                   Picture* last, double timeout_seconds)
{
    return Eventually(
        [&]
        {
            *last = Take();
            return last->Valid() && condition(*last);
        },
        timeout_seconds);
}
