// The screen the windows are on.
#pragma once

#include "platform/interface/InterfaceDefs.h"

enum screen_id
{
    B_MAIN_SCREEN_ID,
};

struct display_mode
{
    uint16 virtual_width;
    uint16 virtual_height;
};

class BScreen
{
public:
    explicit BScreen(screen_id id = B_MAIN_SCREEN_ID);
    // The whole screen, from (0, 0); 1024 x 768 when there is no display.
    BRect Frame() const { return frame_; }
    status_t GetMode(display_mode* mode) const;

private:
    BRect frame_;
};
