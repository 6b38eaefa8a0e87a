// The "Loading" window that asks the user to wait: during start-up and while a file is added.
#pragma once

#include "platform/interface/Box.h"
#include "platform/interface/Window.h"

// Null while no status window is shown.
extern BWindow* statuswindow;
extern BView* statusview;
extern BStringView* statusstring;

// Shows the status window, centred on the main window (or on where it will be), unless one is
// shown. On the thread doing the slow work.
void OpenStatusWindow();
// Closes it, if one is shown.
void CloseStatusWindow();

// Where the status window goes, from the main window's frame on the screen.
BRect StatusWindowFrame(BRect main_window_frame);
