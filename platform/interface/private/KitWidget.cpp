#include "platform/interface/private/KitWidget.h"

#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "platform/interface/View.h"
#include "platform/interface/Window.h"

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
    // Widgets are drawn and deleted on the window thread only, so the window outlives this.
    BWindow* window = link.window.load();
    if (link.view.load() == nullptr || window == nullptr)
        return;
    window_ = window;
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

KitGroupWidget::KitGroupWidget(int x, int y, int width, int height)
    : KitWidget<Fl_Group>(x, y, width, height)
{
    end();
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

Fl_Color kit_color(rgb_color color)
{
    return fl_rgb_color(color.red, color.green, color.blue);
}
