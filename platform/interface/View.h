// Views: rectangles of a window, nested, each with its own coordinates. A view keeps its state
// (frame, colours, text, value...) itself; the toolkit's widgets that show it are made when its
// window is shown and brought up to date on the window thread, so that views can be built and
// used without a display, and any thread that holds the window's lock may change them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/interface/InterfaceDefs.h"

class BBitmap;
class BWindow;

namespace BPrivate
{
// The toolkit's widget that shows a view or a window (platform/interface/private/KitWidget.h).
class ToolkitWidget;
} // namespace BPrivate

class BView
{
public:
    BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
    // Deletes the children it still has.
    virtual ~BView();

    BView(const BView&) = delete;
    BView& operator=(const BView&) = delete;

    void AddChild(BView* child);
    bool RemoveChild(BView* child);
    int32 CountChildren() const { return static_cast<int32>(children_.size()); }
    BView* ChildAt(int32 index) const;
    BView* Parent() const { return parent_; }
    BWindow* Window() const { return window_; }
    // The first view of that name among this view's descendants.
    BView* FindView(const char* name) const;

    const char* Name() const { return name_.c_str(); }
    uint32 ResizingMode() const { return resizing_mode_; }
    uint32 Flags() const { return flags_; }

    // In the parent's coordinates.
    BRect Frame() const { return frame_; }
    // In the view's own coordinates: its size, moved by how far it is scrolled.
    BRect Bounds() const;
    void MoveTo(float x, float y);
    void ResizeTo(float width, float height);
    void ScrollTo(BPoint where);

    void SetViewColor(rgb_color color);
    void SetViewColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color ViewColor() const { return view_color_; }
    bool HasViewColor() const { return has_view_color_; }
    // The colour FillRect paints with, and a string view's text colour.
    void SetHighColor(rgb_color color);
    rgb_color HighColor() const { return high_color_; }
    void SetFont(const BFont* font, uint32 properties = B_FONT_ALL);
    void SetFontSize(float size);
    const BFont& Font() const { return font_; }

    // Drawing is kept: each rectangle drawn stays drawn (a later drawing of the same rectangle
    // replaces it) until the view is redrawn by the window thread, which shows it.
    void FillRect(BRect rect, pattern fill = B_SOLID_HIGH);
    void DrawBitmap(const BBitmap* bitmap, BRect source, BRect destination);
    void Invalidate();

    void Hide();
    void Show();
    // Whether the view, or a view it is in, is hidden.
    bool IsHidden() const;

    // Shown when the pointer rests on the view ("" for none).
    void SetToolTip(const char* text);
    const char* ToolTipText() const { return tooltip_.c_str(); }

    // A view's drawing: one rectangle of pixels (0x00RRGGBB), drawn over the background.
    struct Painting
    {
        BRect rect;
        std::vector<uint32> pixels; // rect's width x height, row by row
    };
    const std::vector<Painting>& Paintings() const { return paintings_; }

    // Toolkit side, on the window thread.
    void Realize(BPrivate::ToolkitWidget* parent, float origin_x, float origin_y);
    void Unrealize();
    void Place(float origin_x, float origin_y);
    void SyncTree();
    BPrivate::ToolkitWidget* Widget() const { return widget_; }
    void SetWindow(BWindow* window);

protected:
    // Marks the view as changed, so that the window thread brings its widget up to date.
    void Changed();
    // Makes the widget that shows the view, at the position and size given (window
    // coordinates). Children go into ChildGroup().
    virtual BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height);
    virtual BPrivate::ToolkitWidget* ChildGroup() const;
    // Brings the widget up to date with the view.
    virtual void UpdateWidget();
    // The least height the toolkit's widget needs to show the view (0: the frame's).
    virtual int MinimumWidgetHeight() const { return 0; }

private:
    void Paint(BRect rect, std::vector<uint32> pixels);
    void ShowOrHide();
    void ShowToolTip();

    std::string name_;
    BRect frame_;
    BPoint scroll_;
    uint32 resizing_mode_;
    uint32 flags_;
    rgb_color view_color_;
    bool has_view_color_ = false;
    bool hidden_ = false;
    std::string tooltip_;
    rgb_color high_color_ = {0, 0, 0, 255};
    BFont font_;
    std::vector<Painting> paintings_;

    BView* parent_ = nullptr;
    BWindow* window_ = nullptr;
    std::vector<BView*> children_;

    BPrivate::ToolkitWidget* widget_ = nullptr;
    float origin_x_ = 0; // where the parent's coordinate (0, 0) is, in window coordinates
    float origin_y_ = 0;
    std::atomic<bool> changed_{false};
};
