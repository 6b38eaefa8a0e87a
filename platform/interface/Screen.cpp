#include "platform/interface/Screen.h"

#include <FL/Fl.H>

#include "platform/app/EventLoop.h"
#include "platform/interface/Alert.h"

BScreen::BScreen(screen_id) : frame_(0, 0, 1023, 767)
{
    if (!event_loop_has_display())
        return;
    int width = 0;
    int height = 0;
    run_on_event_loop(
        [&]
        {
            width = Fl::w();
            height = Fl::h();
        },
        true);
    if (width > 0 && height > 0)
        frame_ = BRect(0, 0, static_cast<float>(width - 1), static_cast<float>(height - 1));
}

status_t BScreen::GetMode(display_mode* mode) const
{
    mode->virtual_width = static_cast<uint16>(frame_.IntegerWidth() + 1);
    mode->virtual_height = static_cast<uint16>(frame_.IntegerHeight() + 1);
    return B_OK;
}
