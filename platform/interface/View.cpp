#include "platform/interface/View.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "platform/app/EventLoop.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/Window.h"
#include "platform/interface/private/KitWidget.h"

static const BFont plain_font(false, 12.0f);
static const BFont bold_font(true, 12.0f);
const BFont* be_plain_font = &plain_font;
const BFont* be_bold_font = &bold_font;

namespace
{

// A plain view: its background and its drawing.
class KitViewWidget : public KitGroupWidget
{
public:
    using KitGroupWidget::KitGroupWidget;

protected:
    void DrawView(BView* view) override
    {
        if (view->HasViewColor())
            fl_rectf(x(), y(), w(), h(), kit_color(view->ViewColor()));
        kit_draw_paintings(view, x() - static_cast<int>(view->Bounds().left),
                           y() - static_cast<int>(view->Bounds().top));
    }
};

} // namespace

void kit_draw_paintings(const BView* view, int x, int y)
{
    for (const BView::Painting& painting : view->Paintings())
    {
        int width = painting.rect.IntegerWidth() + 1;
        int height = painting.rect.IntegerHeight() + 1;
        std::vector<uchar> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        for (size_t index = 0; index < painting.pixels.size(); index++)
        {
            uint32 pixel = painting.pixels[index];
            rgb[3 * index] = static_cast<uchar>(pixel >> 16);
            rgb[3 * index + 1] = static_cast<uchar>(pixel >> 8);
            rgb[3 * index + 2] = static_cast<uchar>(pixel);
        }
        fl_draw_image(rgb.data(), x + static_cast<int>(painting.rect.left),
                      y + static_cast<int>(painting.rect.top), width, height, 3);
    }
}

KitLink* kit_link(Fl_Widget* widget)
{
    return widget != nullptr ? static_cast<KitLink*>(widget->user_data()) : nullptr;
}

KitHold::KitHold(const KitLink& link)
{
    BView* view = link.view.load();
    if (view == nullptr || view->Window() == nullptr)
        return;
    window_ = view->Window();
    window_->Lock();
    view_ = link.view.load(); // it may have left the window while we waited
    if (view_ == nullptr)
    {
        window_->Unlock();
        window_ = nullptr;
    }
}

KitHold::~KitHold()
{
    if (window_ != nullptr)
        window_->Unlock();
}

Fl_Font kit_font(const BFont& font)
{
    return font.IsBold() ? FL_HELVETICA_BOLD : FL_HELVETICA;
}

int kit_font_size(const BFont& font)
{
    return static_cast<int>(std::lround(font.Size()));
}

int kit_fitted_size(Fl_Font font, int size, const char* text, int room)
{
    constexpr int kSmallestFittedSize = 9;
    fl_font(font, size);
    while (size > kSmallestFittedSize && fl_width(text) > room)
        fl_font(font, --size);
    return size;
}

int kit_column_fitted_size(const BView* view, Fl_Font font, int size,
                           const std::function<KitText(const BView*)>& text_of)
{
    int fitted = size;
    BRect frame = view->Frame();
    const BView* parent = view->Parent();
    for (int32 index = -1; index < (parent != nullptr ? parent->CountChildren() : 0); index++)
    {
        const BView* line = index < 0 ? view : parent->ChildAt(index);
        BRect other = line->Frame();
        bool stacked = index < 0 || (typeid(*line) == typeid(*view) && other.top != frame.top &&
                                     other.left <= frame.right && other.right >= frame.left);
        KitText text = stacked ? text_of(line) : KitText();
        if (text.text != nullptr)
            fitted = std::min(fitted, kit_fitted_size(font, size, text.text, text.room));
    }
    fl_font(font, fitted);
    return fitted;
}

KitBox kit_box(BRect rect, float origin_x, float origin_y)
{
    return KitBox{static_cast<int>(std::lround(origin_x + rect.left)),
                  static_cast<int>(std::lround(origin_y + rect.top)), rect.IntegerWidth() + 1,
                  rect.IntegerHeight() + 1};
}

KitGroupWidget::KitGroupWidget(int x, int y, int width, int height) : Fl_Group(x, y, width, height)
{
    end();
    user_data(&link);
}

void KitGroupWidget::draw()
{
    bool clip = kit_children_overflow(this);
    if (clip)
        fl_push_clip(x(), y(), w(), h());
    // When only a child changed, the rest stays on the screen as it is: painting the background
    // would cover the children that are not drawn again.
    if ((damage() & ~FL_DAMAGE_CHILD) != 0)
    {
        KitHold hold(link);
        if (BView* view = hold.View())
            DrawView(view);
    }
    draw_children();
    if (clip)
        fl_pop_clip();
}

bool kit_children_overflow(const Fl_Group* group)
{
    for (int index = 0; index < group->children(); index++)
    {
        const Fl_Widget* child = group->child(index);
        if (!child->visible())
            continue;
        if (child->x() < group->x() || child->y() < group->y() ||
            child->x() + child->w() > group->x() + group->w() ||
            child->y() + child->h() > group->y() + group->h())
            return true;
    }
    return false;
}

unsigned kit_color(rgb_color color)
{
    return fl_rgb_color(color.red, color.green, color.blue);
}

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
        widget_->redraw();
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
            widget_->redraw();
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

Fl_Widget* BView::CreateWidget(int x, int y, int width, int height)
{
    auto* widget = new KitViewWidget(x, y, width, height);
    widget->link.view = this;
    return widget;
}

Fl_Group* BView::ChildGroup() const
{
    return static_cast<Fl_Group*>(widget_);
}

void BView::UpdateWidget()
{
    widget_->redraw();
}

void BView::Realize(Fl_Group* parent, float origin_x, float origin_y)
{
    origin_x_ = origin_x;
    origin_y_ = origin_y;
    KitBox box = kit_box(frame_, origin_x, origin_y);
    box.h = std::max(box.h, MinimumWidgetHeight());
    Fl_Group* current = Fl_Group::current();
    Fl_Group::current(nullptr);
    widget_ = CreateWidget(box.x, box.y, box.w, box.h);
    Fl_Group::current(current);
    if (parent != nullptr)
        parent->add(widget_);
    changed_ = false;
    UpdateWidget();
    ShowOrHide();
    for (BView* child : children_)
        child->Realize(ChildGroup(), origin_x + frame_.left - scroll_.x,
                       origin_y + frame_.top - scroll_.y);
}

void BView::ShowOrHide()
{
    if (hidden_ && widget_->visible())
        widget_->hide();
    else if (!hidden_ && !widget_->visible())
        widget_->show();
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

void BView::Unrealize()
{
    for (BView* child : children_)
    {
        if (child->widget_ != nullptr)
            child->Unrealize();
    }
    if (widget_ == nullptr)
        return;
    if (KitLink* link = kit_link(widget_))
        link->view = nullptr;
    Fl_Widget* widget = widget_;
    widget_ = nullptr;
    if (on_event_loop_thread() || !event_loop_running())
    {
        if (Fl_Group* parent = widget->parent())
            parent->remove(widget);
        delete widget;
    }
    else
    {
        // Deleted on the window thread, which may be drawing it now.
        run_on_event_loop(
            [widget]
            {
                if (Fl_Group* parent = widget->parent())
                {
                    parent->remove(widget);
                    parent->redraw();
                }
                delete widget;
            },
            false);
    }
}

void BView::Place(float origin_x, float origin_y)
{
    origin_x_ = origin_x;
    origin_y_ = origin_y;
    if (widget_ == nullptr)
        return;
    KitBox box = kit_box(frame_, origin_x, origin_y);
    box.h = std::max(box.h, MinimumWidgetHeight());
    if (widget_->x() != box.x || widget_->y() != box.y || widget_->w() != box.w ||
        widget_->h() != box.h)
    {
        // Children are placed below, one by one: FLTK's group resizing would move them too.
        widget_->Fl_Widget::resize(box.x, box.y, box.w, box.h);
        UpdateWidget();
    }
    for (BView* child : children_)
        child->Place(origin_x + frame_.left - scroll_.x, origin_y + frame_.top - scroll_.y);
}

void BView::SyncTree()
{
    if (widget_ == nullptr)
        return;
    if (changed_.exchange(false))
    {
        Place(origin_x_, origin_y_);
        UpdateWidget();
        ShowOrHide();
    }
    for (BView* child : children_)
    {
        if (child->widget_ == nullptr)
        {
            child->Realize(ChildGroup(), origin_x_ + frame_.left - scroll_.x,
                           origin_y_ + frame_.top - scroll_.y);
            widget_->redraw();
        }
        else
        {
            child->SyncTree();
        }
    }
}
