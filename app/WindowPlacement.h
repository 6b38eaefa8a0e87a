// Where the main window goes: the stored position, kept on the screen.
#pragma once

#include "platform/interface/InterfaceDefs.h"

// Keeps the stored position (settings fields 1 and 2) where the title bar can be reached on a
// screen of the given size, and stores it back.
void ClampWindowPosition(int screen_width, int screen_height);

// The main window's frame at the stored position: 380 x 300 pixels.
BRect MainWindowFrame();
