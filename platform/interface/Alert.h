// A modal alert that returns the index of the button the user pressed.
//
// Alerts can be answered without a person: when HARMOLOOM_ALERT_ANSWERS holds a comma-separated
// list of button indexes, successive alerts take their answers from it in order (an index that
// the alert does not have takes its last button). Without a display the alert is written to
// standard error and takes its last button. In both cases the alert's title, text and buttons
// are written to standard error, so that an unattended run still shows what it was asked.
#pragma once

#include <string>

#include "platform/interface/InterfaceDefs.h"
#include "platform/support/SupportDefs.h"

enum alert_type
{
    B_EMPTY_ALERT,
    B_INFO_ALERT,
    B_IDEA_ALERT,
    B_WARNING_ALERT,
    B_STOP_ALERT,
};

class BAlert
{
public:
    // Buttons are numbered from 0, left to right; a null button and those after it are absent.
    BAlert(const char* title, const char* text, const char* button0, const char* button1 = nullptr,
           const char* button2 = nullptr, button_width width = B_WIDTH_AS_USUAL,
           alert_type type = B_INFO_ALERT);

    // Shows the alert, waits for an answer, deletes the alert and returns the button's index.
    // Run it on the thread that may use the toolkit (the main thread while no window runs).
    int32 Go();

private:
    ~BAlert() = default;

    std::string title_;
    std::string text_;
    std::string buttons_[3];
    int32 button_count_;
    alert_type type_;
};

// The FLTK dialog behind BAlert::Go when a display is there; returns the button index.
int32 run_alert_dialog(const char* title, const char* text, const std::string* buttons,
                       int32 button_count, alert_type type);

// Whether an X display can be opened.
bool display_available();
