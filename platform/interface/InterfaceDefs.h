// Geometry, colours and the constants of the interface kit.
#pragma once

#include <algorithm>

#include "platform/support/SupportDefs.h"

struct BPoint
{
    float x = 0;
    float y = 0;
    BPoint() = default;
    BPoint(float x_, float y_) : x(x_), y(y_) {}
};

// A rectangle given by its edges, all of them inside it: a rectangle from 0 to 9 is 10 pixels
// wide, and Width() is 9.
struct BRect
{
    float left = 0;
    float top = 0;
    float right = -1;
    float bottom = -1;

    BRect() = default;
    BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}

    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
    int32 IntegerWidth() const { return static_cast<int32>(right - left); }
    int32 IntegerHeight() const { return static_cast<int32>(bottom - top); }
    bool IsValid() const { return left <= right && top <= bottom; }

    BRect& InsetBy(float dx, float dy)
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    BRect& OffsetBy(float dx, float dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    BRect& OffsetTo(float x, float y) { return OffsetBy(x - left, y - top); }
    bool operator==(const BRect& other) const
    {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
    bool operator!=(const BRect& other) const { return !(*this == other); }
};

struct rgb_color
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    bool operator==(const rgb_color& other) const
    {
        return red == other.red && green == other.green && blue == other.blue &&
               alpha == other.alpha;
    }
};

inline rgb_color make_color(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255)
{
    return rgb_color{red, green, blue, alpha};
}

// How a view follows its parent's edges when the parent is resized (recorded; windows here
// do not resize).
enum : uint32
{
    B_FOLLOW_NONE = 0,
    B_FOLLOW_LEFT = 1u << 0,
    B_FOLLOW_RIGHT = 1u << 1,
    B_FOLLOW_TOP = 1u << 2,
    B_FOLLOW_BOTTOM = 1u << 3,
    B_FOLLOW_ALL = B_FOLLOW_LEFT | B_FOLLOW_RIGHT | B_FOLLOW_TOP | B_FOLLOW_BOTTOM,
};

// View flags.
enum : uint32
{
    B_WILL_DRAW = 1u << 0,
    B_NAVIGABLE = 1u << 1,
    B_FRAME_EVENTS = 1u << 2,
};

enum border_style
{
    B_PLAIN_BORDER,
    B_FANCY_BORDER,
    B_NO_BORDER,
};

enum orientation
{
    B_HORIZONTAL,
    B_VERTICAL,
};

enum hash_mark_location
{
    B_HASH_MARKS_NONE = 0,
    B_HASH_MARKS_TOP = 1,
    B_HASH_MARKS_BOTTOM = 2,
    B_HASH_MARKS_BOTH = 3,
};

enum thumb_style
{
    B_BLOCK_THUMB,
    B_TRIANGLE_THUMB,
};

// How a text too wide for its view is cut.
enum : uint32
{
    B_NO_TRUNCATION = ~0u,
    B_TRUNCATE_END = 0,
};

enum alignment
{
    B_ALIGN_LEFT,
    B_ALIGN_RIGHT,
    B_ALIGN_CENTER,
};

enum button_width
{
    B_WIDTH_AS_USUAL,
    B_WIDTH_FROM_WIDEST,
    B_WIDTH_FROM_LABEL,
};

enum pattern
{
    B_SOLID_HIGH,
};

enum color_space
{
    B_RGB32,
};

enum window_type
{
    B_TITLED_WINDOW,
    B_MODAL_WINDOW,
};

// Window flags.
enum : uint32
{
    B_NOT_RESIZABLE = 1u << 0,
    B_NOT_ZOOMABLE = 1u << 1,
    B_NOT_CLOSABLE = 1u << 2,
    B_NOT_MINIMIZABLE = 1u << 3,
};

constexpr uint32 B_CURRENT_WORKSPACE = 0;

enum : int32
{
    B_CONTROL_OFF = 0,
    B_CONTROL_ON = 1,
};

// Font properties for SetFont.
enum : uint32
{
    B_FONT_ALL = 0xFFFFFFFF,
};

class BFont
{
public:
    BFont() = default;
    BFont(bool bold, float size) : bold_(bold), size_(size) {}
    void SetSize(float size) { size_ = size; }
    float Size() const { return size_; }
    bool IsBold() const { return bold_; }

private:
    bool bold_ = false;
    float size_ = 12.0f;
};

extern const BFont* be_plain_font;
extern const BFont* be_bold_font;
