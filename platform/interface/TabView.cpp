#include "platform/interface/TabView.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "platform/interface/Box.h"
#include "platform/interface/private/KitWidget.h"

BTab::BTab(BView* view) : view_(view) {}

void BTab::Select(BView*)
{
    if (view_ != nullptr)
        view_->Show();
}

void BTab::Deselect()
{
    if (view_ != nullptr)
        view_->Hide();
}

const char* BTab::Label() const
{
    return view_ != nullptr ? view_->Name() : "";
}

namespace
{

constexpr int kTabPadding = 16;
constexpr int kUsualTabWidth = 100;

class KitTabViewWidget : public KitWidget<Fl_Group>
{
public:
    KitTabViewWidget(int x, int y, int width, int height) : KitWidget(x, y, width, height)
    {
        end();
        clip_children(1);
    }

    // Each tab's left edge and width.
    static std::vector<std::pair<int, int>> TabPlaces(BTabView* view)
    {
        std::vector<std::pair<int, int>> places;
        fl_font(FL_HELVETICA, 12);
        int widest = 0;
        for (int32 index = 0; index < view->CountTabs(); index++)
            widest = std::max(widest, static_cast<int>(fl_width(view->TabAt(index)->Label())));
        int left = 6;
        // Tabs never reach past the view's right edge: they shrink to share it.
        int count = std::max<int>(1, static_cast<int>(view->CountTabs()));
        int fitting = (static_cast<int>(view->Bounds().Width()) - 2 * left) / count;
        for (int32 index = 0; index < view->CountTabs(); index++)
        {
            int width = kUsualTabWidth;
            if (view->TabWidth() == B_WIDTH_FROM_WIDEST)
                width = widest + kTabPadding;
            else if (view->TabWidth() == B_WIDTH_FROM_LABEL)
                width = static_cast<int>(fl_width(view->TabAt(index)->Label())) + kTabPadding;
            width = std::min(width, fitting);
            places.emplace_back(left, width);
            left += width;
        }
        return places;
    }

    // A tab's label without the blanks around it, which only widen its tab: in a tab narrowed
    // to share the strip, they would push the word itself past the tab's edges.
    static std::string Word(BTabView* view, size_t index)
    {
        std::string label = view->TabAt(static_cast<int32>(index))->Label();
        label.erase(0, label.find_first_not_of(' '));
        label.erase(label.find_last_not_of(' ') + 1);
        return label;
    }

    // One size for every label of the strip: 12 points, or less (down to 9) until each word
    // fits inside its tab's borders.
    static int LabelSize(BTabView* view, const std::vector<std::pair<int, int>>& places)
    {
        int size = 12;
        for (; size > 9; size--)
        {
            fl_font(FL_HELVETICA, size);
            bool fits = true;
            for (size_t index = 0; index < places.size(); index++)
                fits = fits && fl_width(Word(view, index).c_str()) <= places[index].second - 6;
            if (fits)
                break;
        }
        return size;
    }

    void draw() override
    {
        {
            KitHold hold(link);
            auto* view = static_cast<BTabView*>(hold.View());
            // Damage to children alone leaves the strip and the background as they are: a
            // child of a hidden page marks its area too, and painting the background there
            // would blank the page shown in its place, which nothing then redraws.
            if (view != nullptr && (damage() & ~FL_DAMAGE_CHILD) != 0)
            {
                int strip = static_cast<int>(view->TabHeight());
                fl_rectf(x(), y(), w(), h(), kit_color(background_of(view)));
                std::vector<std::pair<int, int>> places = TabPlaces(view);
                fl_font(FL_HELVETICA, LabelSize(view, places));
                for (size_t index = 0; index < places.size(); index++)
                {
                    bool selected = static_cast<int32>(index) == view->Selection();
                    int left = x() + places[index].first;
                    int top = y() + (selected ? 2 : 5);
                    fl_draw_box(FL_UP_BOX, left, top, places[index].second, strip - top + y() + 2,
                                selected ? fl_rgb_color(232, 232, 232)
                                         : fl_rgb_color(200, 200, 200));
                    fl_color(FL_BLACK);
                    fl_draw(Word(view, index).c_str(), left, top, places[index].second,
                            strip - (top - y()), FL_ALIGN_CENTER, nullptr, 0);
                }
                fl_color(fl_rgb_color(152, 152, 152));
                fl_xyline(x(), y() + strip - 1, x() + w() - 1);
            }
        }
        draw_children();
    }

    int handle(int event) override
    {
        if (event == FL_PUSH)
        {
            KitHold hold(link);
            auto* view = static_cast<BTabView*>(hold.View());
            if (view != nullptr && Fl::event_y() < y() + static_cast<int>(view->TabHeight()))
            {
                std::vector<std::pair<int, int>> places = TabPlaces(view);
                for (size_t index = 0; index < places.size(); index++)
                {
                    int left = x() + places[index].first;
                    if (Fl::event_x() >= left && Fl::event_x() < left + places[index].second)
                    {
                        view->Select(static_cast<int32>(index));
                        redraw();
                        return 1;
                    }
                }
                return 1;
            }
        }
        return Fl_Group::handle(event);
    }
};

} // namespace

BTabView::BTabView(BRect frame, const char* name, button_width width, uint32 resizingMode,
                   uint32 flags)
    : BView(frame, name, resizingMode, flags), tab_width_(width),
      container_(new BView(BRect(0, TabHeight(), frame.Width(), frame.Height()), "view container",
                           B_FOLLOW_ALL, B_WILL_DRAW))
{
    AddChild(container_);
}

BTabView::~BTabView()
{
    for (BTab* tab : tabs_)
        delete tab;
}

void BTabView::AddTab(BView* target, BTab* tab)
{
    if (target == nullptr)
        return;
    if (tab == nullptr)
        tab = new BTab(target);
    tab->view_ = target;
    tabs_.push_back(tab);
    target->Hide();
    container_->AddChild(target);
    if (selection_ < 0)
        Select(0);
    Changed();
}

BTab* BTabView::TabAt(int32 index) const
{
    return index >= 0 && static_cast<size_t>(index) < tabs_.size()
               ? tabs_[static_cast<size_t>(index)]
               : nullptr;
}

void BTabView::Select(int32 index)
{
    BTab* tab = TabAt(index);
    if (tab == nullptr || index == selection_)
        return;
    if (BTab* old = TabAt(selection_))
        old->Deselect();
    selection_ = index;
    tab->Select(container_);
    Changed();
}

void BTabView::SetTabWidth(button_width width)
{
    tab_width_ = width;
    Changed();
}

BPrivate::ToolkitWidget* BTabView::CreateWidget(int x, int y, int width, int height)
{
    return new KitTabViewWidget(x, y, width, height);
}
