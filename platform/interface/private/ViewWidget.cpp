// The toolkit's side of BView: the widgets that show views, made, placed and brought up to date
// on the window thread.
#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "platform/app/EventLoop.h"
#include "platform/interface/View.h"
#include "platform/interface/private/KitWidget.h"

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

// Whether a comes before b in reading order: a wholly above b, or beside it and to its left. A
// tall control beside two rows comes after both (a "Panic" button right of a menu and a slider
// below it).
bool reads_before(const Fl_Widget* a, const Fl_Widget* b)
{
    if (a->y() + a->h() <= b->y())
        return true;
    if (b->y() + b->h() <= a->y())
        return false;
    return a->x() < b->x();
}

// Adds the widget to the group in reading order, which the toolkit's Tab key follows (and
// which the drawing follows too: siblings seldom overlap).
void add_in_reading_order(Fl_Group* group, Fl_Widget* widget)
{
    for (int index = 0; index < group->children(); index++)
    {
        if (reads_before(widget, group->child(index)))
        {
            group->insert(*widget, index);
            return;
        }
    }
    group->add(widget);
}

} // namespace

BPrivate::ToolkitWidget* BView::CreateWidget(int x, int y, int width, int height)
{
    return new KitViewWidget(x, y, width, height);
}

BPrivate::ToolkitWidget* BView::ChildGroup() const
{
    return widget_;
}

void BView::UpdateWidget()
{
    widget_->Toolkit()->redraw();
}

void BView::Realize(BPrivate::ToolkitWidget* parent, float origin_x, float origin_y)
{
    origin_x_ = origin_x;
    origin_y_ = origin_y;
    KitBox box = kit_box(frame_, origin_x, origin_y);
    box.h = std::max(box.h, MinimumWidgetHeight());
    Fl_Group* current = Fl_Group::current();
    Fl_Group::current(nullptr);
    widget_ = CreateWidget(box.x, box.y, box.w, box.h);
    Fl_Group::current(current);
    if (KitLink* link = kit_link(widget_->Toolkit()))
    {
        link->view = this;
        link->window = window_;
    }
    if (parent != nullptr)
        add_in_reading_order(parent->Group(), widget_->Toolkit());
    changed_ = false;
    UpdateWidget();
    ShowOrHide();
    ShowToolTip();
    for (BView* child : children_)
        child->Realize(ChildGroup(), origin_x + frame_.left - scroll_.x,
                       origin_y + frame_.top - scroll_.y);
}

void BView::ShowOrHide()
{
    Fl_Widget* widget = widget_->Toolkit();
    if (hidden_ && widget->visible())
        widget->hide();
    else if (!hidden_ && !widget->visible())
        widget->show();
}

void BView::ShowToolTip()
{
    // Only when it changed: the toolkit may be showing the text it has.
    Fl_Widget* widget = widget_->Toolkit();
    const char* shown = widget->tooltip() != nullptr ? widget->tooltip() : "";
    if (tooltip_ != shown)
        widget->copy_tooltip(tooltip_.empty() ? nullptr : tooltip_.c_str());
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
    Fl_Widget* widget = widget_->Toolkit();
    if (KitLink* link = kit_link(widget))
        link->view = nullptr;
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
    Fl_Widget* widget = widget_->Toolkit();
    if (widget->x() != box.x || widget->y() != box.y || widget->w() != box.w ||
        widget->h() != box.h)
    {
        // Children are placed below, one by one: FLTK's group resizing would move them too.
        widget->Fl_Widget::resize(box.x, box.y, box.w, box.h);
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
        ShowToolTip();
    }
    for (BView* child : children_)
    {
        if (child->widget_ == nullptr)
        {
            child->Realize(ChildGroup(), origin_x_ + frame_.left - scroll_.x,
                           origin_y_ + frame_.top - scroll_.y);
            widget_->Toolkit()->redraw();
        }
        else
        {
            child->SyncTree();
        }
    }
}
