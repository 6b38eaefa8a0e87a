#include "platform/interface/private/DesktopIdentity.h"

#include <FL/Fl_Image.H>
#include <FL/Fl_Window.H>

#include "platform/interface/private/DesktopIconPixels.h"

void give_desktop_identity(Fl_Window* window, bool icon)
{
    window->xclass(kWindowClass);
    if (!icon)
        return;
    // The window keeps its own copy of the image, so this one may be a local.
    Fl_RGB_Image image(kDesktopIconPixels, kDesktopIconSize, kDesktopIconSize, 4);
    const Fl_RGB_Image* images[] = {&image};
    window->icons(images, 1);
}
