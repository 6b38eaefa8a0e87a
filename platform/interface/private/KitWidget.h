// Inside the kit: what every toolkit widget that shows a view carries, and helpers shared by the
// widgets. Only platform/ includes this.
#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Group.H>

#include <atomic>
#include <functional>

#include "platform/interface/InterfaceDefs.h"

class BView;
class BWindow;

// The view a widget shows. Cleared (under the window's lock) when the view leaves the window,
// so that a widget waiting to be deleted by the window thread draws and reports nothing. The
// window is set when the widget is made and stays: its lock is what guards the view, so it must
// be known without reading the view, which another thread may be taking out of the window.
struct KitLink
{
    std::atomic<BView*> view{nullptr};
    std::atomic<BWindow*> window{nullptr};
};

// The widget's link, for widgets made by the kit (their user data).
KitLink* kit_link(Fl_Widget* widget);

namespace BPrivate
{

// A toolkit widget made by the kit, as the public headers know it (they name no toolkit type):
// each derives from its FLTK class and from this, which leads back to the FLTK widget.
class ToolkitWidget
{
public:
    explicit ToolkitWidget(Fl_Widget* widget) : widget_(widget) {}
    ToolkitWidget(const ToolkitWidget&) = delete;
    ToolkitWidget& operator=(const ToolkitWidget&) = delete;

    Fl_Widget* Toolkit() const { return widget_; }
    // The group that the widgets of a view's children go into.
    Fl_Group* Group() const { return static_cast<Fl_Group*>(widget_); }

private:
    Fl_Widget* widget_;
};

} // namespace BPrivate

// A widget of the FLTK class T that shows a view, its link as its user data.
template <typename T> class KitWidget : public T, public BPrivate::ToolkitWidget
{
public:
    KitWidget(int x, int y, int width, int height) : T(x, y, width, height), ToolkitWidget(this)
    {
        this->user_data(&link);
    }

    KitLink link;
};

// A widget that, while it has the focus, takes the keys the window otherwise keeps for itself
// (the arrows and the page keys, which scroll the list): a slider moves with them.
class KitKeyTaker
{
public:
    virtual ~KitKeyTaker() = default;
};

// Holds the window lock of the view a widget shows, for drawing or reporting; empty when the
// widget shows no view any more.
class KitHold
{
public:
    explicit KitHold(const KitLink& link);
    ~KitHold();
    KitHold(const KitHold&) = delete;
    KitHold& operator=(const KitHold&) = delete;
    BView* View() const { return view_; }

private:
    BWindow* window_ = nullptr;
    BView* view_ = nullptr;
};

// FLTK's colour for a view colour.
Fl_Color kit_color(rgb_color color);

// Draws a view's kept drawing, with the view's (0, 0) at x, y.
void kit_draw_paintings(const BView* view, int x, int y);

Fl_Font kit_font(const BFont& font);
int kit_font_size(const BFont& font);

// The fonts here run wider than the ones the layouts were made for: a text that would not fit
// its room is drawn a size or two smaller instead, and stays whole. Sets the font to the size
// it returns, from size down to 9 at the least. Drawing only (the font needs the display).
int kit_fitted_size(Fl_Font font, int size, const char* text, int room);

// A view's text and the room it has to fit in; no text for a view that is not fitted with it.
struct KitText
{
    const char* text = nullptr;
    int room = 0;
};

// Views of one kind stacked in a column of one parent (the lines of a notice, a column of
// labels) keep one size: the smallest any of them needs to fit. Sets the font to it. On the
// window thread while drawing, with the window's lock held: it reads the other views.
int kit_column_fitted_size(const BView* view, Fl_Font font, int size,
                           const std::function<KitText(const BView*)>& text_of);

// A view's rectangle in window coordinates, as FLTK's x, y, width and height.
struct KitBox
{
    int x;
    int y;
    int w;
    int h;
};
KitBox kit_box(BRect rect, float origin_x, float origin_y);

// Whether a child of the group reaches outside it (a scrolled list, say). Only then does the
// group clip its children: FLTK keeps ten nested clip regions at most, fewer than a list row
// inside a scroll view inside a tab has parents.
bool kit_children_overflow(const Fl_Group* group);

// A widget that shows a view with children: the view's own drawing when the widget itself is
// damaged, then the children, clipped only when they reach outside it.
class KitGroupWidget : public KitWidget<Fl_Group>
{
public:
    KitGroupWidget(int x, int y, int width, int height);
    void draw() override;

protected:
    // Draws the view itself (background, border, its drawing); the window's lock is held.
    virtual void DrawView(BView* view) = 0;
};
