#include "platform/interface/Bitmap.h"

BBitmap::BBitmap(BRect bounds, color_space)
    : bounds_(bounds), width_(bounds.IntegerWidth() + 1), height_(bounds.IntegerHeight() + 1),
      pixels_(static_cast<size_t>(width_ > 0 ? width_ : 0) *
                  static_cast<size_t>(height_ > 0 ? height_ : 0),
              0)
{
}
