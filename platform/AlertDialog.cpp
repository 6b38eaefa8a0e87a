// The toolkit's side of BAlert: an FLTK message box with the buttons in the alert's order.
#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_ask.H>
#include <X11/Xlib.h>

#include <cstdlib>

#include "platform/Alert.h"

bool display_available()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0')
        return false;
    // FLTK ends the process when it cannot open the display, so ask X first.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    XCloseDisplay(display);
    return true;
}

int32 run_alert_dialog(const char* title, const char* text, const std::string* buttons,
                       int32 button_count, alert_type type)
{
    // fl_choice puts its first button at the right; the alert numbers its buttons from the
    // left, so they go in backwards and the answer is turned round.
    const char* reversed[3] = {nullptr, nullptr, nullptr};
    for (int32 index = 0; index < button_count; index++)
        reversed[index] = buttons[button_count - 1 - index].c_str();

    Fl_Widget* icon = fl_message_icon();
    icon->label(type == B_STOP_ALERT ? "!" : (type == B_WARNING_ALERT ? "!" : "i"));
    icon->color(type == B_STOP_ALERT ? FL_RED : FL_WHITE);
    icon->labelcolor(type == B_STOP_ALERT ? FL_WHITE : FL_BLUE);
    fl_message_title(title);
    int pressed = fl_choice("%s", reversed[0], reversed[1], reversed[2], text);
    if (pressed < 0 || pressed >= button_count)
        pressed = 0;
    return button_count - 1 - pressed;
}
