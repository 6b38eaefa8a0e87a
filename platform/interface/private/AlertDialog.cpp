// The toolkit's side of BAlert: a small modal FLTK window laid out as the program's alerts
// expect. Buttons run left to right in their index order, and the last one is the default:
// Return and closing the window both choose it, as in the original design, where the last
// button is the safe one ("OK" after "Restore to defaults").
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/interface/Alert.h"
#include "platform/interface/private/DesktopIdentity.h"

namespace
{

constexpr int kMargin = 12;
constexpr int kIconSize = 48;
constexpr int kTextWidth = 360;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 10;
constexpr int kTextSize = 13;

// FLTK reads '@' in any label as a symbol and '&' in a button's as a shortcut mark.
std::string literal_label(const std::string& text, bool button)
{
    std::string out;
    for (char c : text)
    {
        out += c;
        if (c == '@' || (button && c == '&'))
            out += c;
    }
    return out;
}

struct Answer
{
    int pressed;
    Fl_Window* window;
};

struct ButtonChoice
{
    Answer* answer;
    int index;
};

void button_pressed(Fl_Widget*, void* data)
{
    auto* choice = static_cast<ButtonChoice*>(data);
    choice->answer->pressed = choice->index;
    choice->answer->window->hide();
}

void window_closed(Fl_Widget* window, void*)
{
    window->hide(); // the answer is already the last button
}

} // namespace

bool display_available()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0')
        return false;
    // FLTK ends the process when it cannot open the display, so ask X first. The connection
    // stays open: were it the server's only client, closing it would make the server reset,
    // and FLTK, connecting a moment later, would find no display. (Nor is an earlier one
    // closed when the display changes: closing a connection to a server that has gone away
    // ends the process.)
    static std::mutex mutex;
    static std::string kept_name;
    static auto* kept = new std::vector<Display*>; // never freed, as they are never closed
    std::lock_guard<std::mutex> hold(mutex);
    if (kept_name == name)
        return true;
    Display* display = XOpenDisplay(name);
    if (display == nullptr)
        return false;
    kept->push_back(display);
    kept_name = name;
    return true;
}

int32 run_alert_dialog(const char* title, const char* text, const std::string* buttons,
                       int32 button_count, alert_type type)
{
    fl_open_display();
    std::string message = literal_label(text, false);
    fl_font(FL_HELVETICA, kTextSize);
    int text_width = kTextWidth;
    int text_height = 0;
    fl_measure(message.c_str(), text_width, text_height, 0);

    std::string labels[3];
    int widths[3] = {};
    int buttons_width = kButtonGap * (button_count - 1);
    for (int32 index = 0; index < button_count; index++)
    {
        labels[index] = literal_label(buttons[index], true);
        bool last = index == button_count - 1; // it also shows the Return key's mark
        widths[index] =
            std::max(80, static_cast<int>(fl_width(buttons[index].c_str())) + (last ? 48 : 28));
        buttons_width += widths[index];
    }

    int body_height = std::max(kIconSize, text_height);
    int width = std::max(3 * kMargin + kIconSize + kTextWidth, 2 * kMargin + buttons_width);
    int height = 3 * kMargin + body_height + kButtonHeight;

    Fl_Double_Window window(width, height);
    window.copy_label(title);
    give_desktop_identity(&window, false);
    window.set_modal();
    Answer answer{button_count - 1, &window};
    window.callback(window_closed);

    Fl_Box icon(kMargin, kMargin, kIconSize, kIconSize);
    icon.box(FL_THIN_UP_BOX);
    icon.labelfont(FL_HELVETICA_BOLD);
    icon.labelsize(30);
    bool stop = type == B_STOP_ALERT || type == B_WARNING_ALERT;
    icon.label(stop ? "!" : "i");
    icon.color(type == B_STOP_ALERT ? FL_RED : (stop ? FL_YELLOW : FL_WHITE));
    icon.labelcolor(type == B_STOP_ALERT ? FL_WHITE : (stop ? FL_BLACK : FL_BLUE));

    Fl_Box body(2 * kMargin + kIconSize, kMargin, kTextWidth, body_height);
    body.copy_label(message.c_str());
    body.labelsize(kTextSize);
    body.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);

    ButtonChoice choices[3];
    std::unique_ptr<Fl_Button> controls[3];
    int x = width - kMargin - buttons_width;
    int y = height - kMargin - kButtonHeight;
    for (int32 index = 0; index < button_count; index++)
    {
        bool last = index == button_count - 1;
        if (last)
            controls[index] =
                std::make_unique<Fl_Return_Button>(x, y, widths[index], kButtonHeight);
        else
            controls[index] = std::make_unique<Fl_Button>(x, y, widths[index], kButtonHeight);
        controls[index]->copy_label(labels[index].c_str());
        controls[index]->labelsize(kTextSize);
        choices[index] = {&answer, index};
        controls[index]->callback(button_pressed, &choices[index]);
        x += widths[index] + kButtonGap;
    }
    window.end();
    window.hotspot(&window);
    // One modal window in front at a time: a window that asks the user to wait ("Loading...")
    // would stay drawn over the window behind the alert. It comes back once this is answered,
    // unless it was closed meanwhile.
    std::vector<std::unique_ptr<Fl_Widget_Tracker>> waiting;
    for (Fl_Window* other = Fl::first_window(); other != nullptr; other = Fl::next_window(other))
    {
        if (other->modal() && other->shown())
            waiting.push_back(std::make_unique<Fl_Widget_Tracker>(other));
    }
    for (auto& other : waiting)
        other->widget()->hide();
    window.show();
    while (window.shown())
        Fl::wait();
    for (auto& other : waiting)
    {
        if (!other->deleted())
            other->widget()->show();
    }
    for (auto& control : controls)
    {
        if (control)
            window.remove(control.get());
    }
    window.remove(&icon);
    window.remove(&body);
    return answer.pressed;
}
