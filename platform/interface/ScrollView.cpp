#include "platform/interface/ScrollView.h"

#include <FL/Fl.H>
#include <FL/Fl_Scrollbar.H>

#include <algorithm>
#include <cmath>

#include "platform/interface/private/KitWidget.h"

namespace
{

class KitScrollBarWidget : public KitWidget<Fl_Scrollbar>
{
public:
    KitScrollBarWidget(int x, int y, int width, int height) : KitWidget(x, y, width, height)
    {
        callback(moved, &link);
    }

    static void moved(Fl_Widget* widget, void* data)
    {
        KitHold hold(*static_cast<KitLink*>(data));
        if (auto* bar = static_cast<BScrollBar*>(hold.View()))
            bar->UserMoved(static_cast<float>(static_cast<Fl_Scrollbar*>(widget)->value()));
    }
};

BRect around(BRect frame, bool horizontal, bool vertical, border_style border)
{
    float inset = border == B_NO_BORDER ? 0 : 1;
    BRect outer = frame;
    outer.InsetBy(-inset, -inset);
    if (vertical)
        outer.right += B_V_SCROLL_BAR_WIDTH;
    if (horizontal)
        outer.bottom += B_V_SCROLL_BAR_WIDTH;
    return outer;
}

} // namespace

BScrollBar::BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
                       orientation direction)
    : BView(frame, name, B_FOLLOW_NONE, B_WILL_DRAW), target_(target), min_(min), max_(max),
      orientation_(direction)
{
}

void BScrollBar::SetValue(float value)
{
    value = std::clamp(value, min_, std::max(min_, max_));
    value = std::round(value);
    if (value == value_)
        return;
    value_ = value;
    ValueChanged(value);
    Changed();
}

void BScrollBar::ValueChanged(float value)
{
    if (target_ == nullptr)
        return;
    if (orientation_ == B_VERTICAL)
        target_->ScrollTo(BPoint(target_->Bounds().left, value));
    else
        target_->ScrollTo(BPoint(value, target_->Bounds().top));
}

void BScrollBar::SetRange(float min, float max)
{
    min_ = min;
    max_ = max;
    float clamped = std::clamp(value_, min_, std::max(min_, max_));
    if (clamped != value_)
        SetValue(clamped);
    Changed();
}

void BScrollBar::GetRange(float* min, float* max) const
{
    *min = min_;
    *max = max_;
}

void BScrollBar::SetProportion(float proportion)
{
    proportion_ = std::clamp(proportion, 0.0f, 1.0f);
    Changed();
}

void BScrollBar::SetSteps(float smallStep, float largeStep)
{
    small_step_ = smallStep;
    large_step_ = largeStep;
    Changed();
}

void BScrollBar::GetSteps(float* smallStep, float* largeStep) const
{
    *smallStep = small_step_;
    *largeStep = large_step_;
}

void BScrollBar::UserMoved(float value)
{
    SetValue(value);
}

BPrivate::ToolkitWidget* BScrollBar::CreateWidget(int x, int y, int width, int height)
{
    auto* widget = new KitScrollBarWidget(x, y, width, height);
    widget->type(orientation_ == B_VERTICAL ? FL_VERTICAL : FL_HORIZONTAL);
    return widget;
}

void BScrollBar::UpdateWidget()
{
    auto* widget = static_cast<KitScrollBarWidget*>(Widget());
    widget->bounds(min_, max_);
    widget->linesize(static_cast<int>(small_step_));
    widget->slider_size(max_ > min_ ? std::max(0.08f, proportion_) : 1.0f);
    widget->Fl_Valuator::value(static_cast<double>(value_));
    if (max_ > min_)
        widget->activate();
    else
        widget->deactivate();
    widget->redraw();
}

BScrollView::BScrollView(const char* name, BView* target, uint32 resizingMode, uint32 flags,
                         bool horizontal, bool vertical, border_style border)
    : BView(around(target != nullptr ? target->Frame() : BRect(0, 0, 0, 0), horizontal, vertical,
                   border),
            name, resizingMode, flags),
      target_(target)
{
    float inset = border == B_NO_BORDER ? 0 : 1;
    if (target_ != nullptr)
    {
        BRect inner = target_->Frame();
        target_->MoveTo(inset, inset);
        AddChild(target_);
        if (vertical)
        {
            BRect bar(inset + inner.Width() + 1, inset,
                      inset + inner.Width() + B_V_SCROLL_BAR_WIDTH, inset + inner.Height());
            vertical_ = new BScrollBar(bar, "_VSB_", target_, 0, 0, B_VERTICAL);
            AddChild(vertical_);
        }
        if (horizontal)
        {
            BRect bar(inset, inset + inner.Height() + 1, inset + inner.Width(),
                      inset + inner.Height() + B_V_SCROLL_BAR_WIDTH);
            horizontal_ = new BScrollBar(bar, "_HSB_", target_, 0, 0, B_HORIZONTAL);
            AddChild(horizontal_);
        }
    }
    if (border != B_NO_BORDER)
        SetViewColor(make_color(152, 152, 152));
}

BScrollBar* BScrollView::ScrollBar(orientation direction) const
{
    return direction == B_VERTICAL ? vertical_ : horizontal_;
}
