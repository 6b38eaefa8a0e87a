#include "app/WindowPlacement.h"

#include "app/Settings.h"

void ClampWindowPosition(int screen_width, int screen_height)
{
    int32_t& left = settings[setting::window_left];
    int32_t& top = settings[setting::window_top];
    // Far edges first, so that a tiny screen still ends with the window's corner visible.
    if (left > screen_width - 80)
        left = screen_width - 80;
    if (top > screen_height - 80)
        top = screen_height - 80;
    if (left < 8)
        left = 8;
    if (top < 24)
        top = 24;
}

BRect MainWindowFrame()
{
    auto left = static_cast<float>(settings[setting::window_left]);
    auto top = static_cast<float>(settings[setting::window_top]);
    return BRect(left, top, left + 380, top + 300);
}
