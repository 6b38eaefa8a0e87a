// How the desktop knows our windows: the class the desktop entry names (StartupWMClass), so that
// docks and task bars group every window of the program under its entry, and the icon.
//
// Window thread only (it touches toolkit windows), before the window is shown; not real-time
// safe.
#pragma once

class Fl_Window;

// FLTK writes WM_CLASS as this name and the same with a capital first letter ("Harmoloom"),
// which is what the desktop entry's StartupWMClass says.
inline constexpr char kWindowClass[] = "harmoloom";

// Gives the window the program's class, and with icon also its icon (_NET_WM_ICON).
void give_desktop_identity(Fl_Window* window, bool icon);
