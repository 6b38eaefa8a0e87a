#include "platform/interface/View.h"

#include <FL/Fl_Widget.H>

#include <algorithm>

#include "platform/app/EventLoop.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/Window.h"
#include "platform/interface/private/KitWidget.h"

static const BFont plain_font(false, 12.0f);
static const BFont bold_font(true, 12.0f);
const BFont* be_plain_font = &plain_font;
const BFont* be_bold_font = &bold_font;

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : name_(name != nullptr ? name : ""), frame_(frame), resizing_mode_(resizingMode),
      flags_(flags), font_(*be_plain_font)
{
}

BView::~BView()
{
    if (parent_ != nullptr)
        parent_->RemoveChild(this);
    while (!children_.empty())
    {
        BView* child = children_.back();
        RemoveChild(child);
        delete child;
    }
    if (widget_ != nullptr)
        Unrealize();
}

void BView::SetWindow(BWindow* window)
{
    window_ = window;
    for (BView* child : children_)
        child->SetWindow(window);
}

void BView::AddChild(BView* child)
{
    if (child == nullptr || child->parent_ != nullptr)
        return;
    child->parent_ = this;
    children_.push_back(child);
    child->SetWindow(window_);
    if (widget_ != nullptr && on_event_loop_thread())
    {
        child->Realize(ChildGroup(), origin_x_ + frame_.left - scroll_.x,
                       origin_y_ + frame_.top - scroll_.y);
        widget_->Toolkit()->redraw();
    }
    else
    {
        Changed();
    }
}

bool BView::RemoveChild(BView* child)
{
    auto found = std::find(children_.begin(), children_.end(), child);
    if (found == children_.end())
        return false;
    children_.erase(found);
    if (child->widget_ != nullptr)
    {
        child->Unrealize();
        if (widget_ != nullptr && on_event_loop_thread())
            widget_->Toolkit()->redraw();
    }
    child->parent_ = nullptr;
    child->SetWindow(nullptr);
    Changed();
    return true;
}

BView* BView::ChildAt(int32 index) const
{
    return index >= 0 && static_cast<size_t>(index) < children_.size()
               ? children_[static_cast<size_t>(index)]
               : nullptr;
}

BView* BView::FindView(const char* name) const
{
    for (BView* child : children_)
    {
        if (child->name_ == name)
            return child;
        if (BView* found = child->FindView(name))
            return found;
    }
    return nullptr;
}

BRect BView::Bounds() const
{
    return BRect(scroll_.x, scroll_.y, scroll_.x + frame_.Width(), scroll_.y + frame_.Height());
}

void BView::MoveTo(float x, float y)
{
    frame_.OffsetTo(x, y);
    Changed();
}

void BView::ResizeTo(float width, float height)
{
    frame_.right = frame_.left + width;
    frame_.bottom = frame_.top + height;
    Changed();
}

void BView::ScrollTo(BPoint where)
{
    scroll_ = where;
    Changed();
}

void BView::SetViewColor(rgb_color color)
{
    view_color_ = color;
    has_view_color_ = true;
    Changed();
}

void BView::SetViewColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetViewColor(make_color(red, green, blue, alpha));
}

void BView::SetFont(const BFont* font, uint32)
{
    if (font != nullptr)
        font_ = *font;
    Changed();
}

void BView::SetFontSize(float size)
{
    font_.SetSize(size);
    Changed();
}

void BView::Paint(BRect rect, std::vector<uint32> pixels)
{
    for (Painting& painting : paintings_)
    {
        if (painting.rect == rect)
        {
            painting.pixels = std::move(pixels);
            Changed();
            return;
        }
    }
    paintings_.push_back(Painting{rect, std::move(pixels)});
    Changed();
}

void BView::SetHighColor(rgb_color color)
{
    high_color_ = color;
    Changed();
}

void BView::FillRect(BRect rect, pattern)
{
    if (!rect.IsValid())
        return;
    size_t count = static_cast<size_t>(rect.IntegerWidth() + 1) *
                   static_cast<size_t>(rect.IntegerHeight() + 1);
    uint32 pixel = static_cast<uint32>(high_color_.red) << 16 |
                   static_cast<uint32>(high_color_.green) << 8 | high_color_.blue;
    Paint(rect, std::vector<uint32>(count, pixel));
}

void BView::DrawBitmap(const BBitmap* bitmap, BRect source, BRect destination)
{
    if (bitmap == nullptr || !source.IsValid() || !destination.IsValid())
        return;
    int width = destination.IntegerWidth() + 1;
    int height = destination.IntegerHeight() + 1;
    int source_width = source.IntegerWidth() + 1;
    int source_height = source.IntegerHeight() + 1;
    std::vector<uint32> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    const uint32* bits = bitmap->Pixels();
    // Stretched to fit, nearest pixel.
    for (int row = 0; row < height; row++)
    {
        int from_row = static_cast<int>(source.top) + row * source_height / height;
        for (int column = 0; column < width; column++)
        {
            int from_column = static_cast<int>(source.left) + column * source_width / width;
            if (from_row < 0 || from_row >= bitmap->PixelHeight() || from_column < 0 ||
                from_column >= bitmap->PixelWidth())
                continue;
            pixels[static_cast<size_t>(row * width + column)] =
                bits[static_cast<size_t>(from_row * bitmap->PixelWidth() + from_column)];
        }
    }
    Paint(destination, std::move(pixels));
}

void BView::Invalidate()
{
    Changed();
}

void BView::Changed()
{
    changed_ = true;
    if (window_ != nullptr)
        window_->ViewChanged();
}

void BView::SetToolTip(const char* text)
{
    tooltip_ = text != nullptr ? text : "";
    Changed();
}

void BView::Hide()
{
    hidden_ = true;
    Changed();
}

void BView::Show()
{
    hidden_ = false;
    Changed();
}

bool BView::IsHidden() const
{
    for (const BView* view = this; view != nullptr; view = view->parent_)
    {
        if (view->hidden_)
            return true;
    }
    return false;
}
