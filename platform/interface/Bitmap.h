// An image in memory, 32 bits a pixel (0x00RRGGBB), that views can draw.
#pragma once

#include <vector>

#include "platform/interface/InterfaceDefs.h"
#include "platform/support/Locker.h"

class BBitmap
{
public:
    BBitmap(BRect bounds, color_space space);

    BRect Bounds() const { return bounds_; }
    void* Bits() { return pixels_.data(); }
    const uint32* Pixels() const { return pixels_.data(); }
    int32 PixelWidth() const { return width_; }
    int32 PixelHeight() const { return height_; }

    bool Lock() { return lock_.Lock(); }
    void Unlock() { lock_.Unlock(); }

private:
    BRect bounds_;
    int32 width_;
    int32 height_;
    std::vector<uint32> pixels_;
    BLocker lock_;
};
