#include "platform/interface/Slider.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

#include "platform/interface/Box.h"
#include "platform/interface/private/KitWidget.h"

namespace
{

constexpr int kLabelSize = 12;
constexpr int kLabelLine = 15; // the label's line in the toolkit's font, descenders included
constexpr int kLimitSize = 10;
constexpr int kLimitLine = 13;
constexpr int kBarHeight = 5;
constexpr int kMarkLength = 3;
constexpr int kThumbWidth = 9;
constexpr int kThumbOverhang = 4; // above and below the bar
constexpr int kInset = 6;

// Where a slider's parts go, down from its top: the label's line, then the hash marks above
// the bar or the thumb's overhang (a row apart from the label's descenders), the bar, the
// marks below or the overhang, and a row apart the limit labels' line.
struct Parts
{
    int bar_top;
    int labels_top;
    int height;
};

Parts parts_of(const BSlider& slider)
{
    Parts parts;
    bool above = (slider.HashMarks() & B_HASH_MARKS_TOP) != 0;
    bool below = (slider.HashMarks() & B_HASH_MARKS_BOTTOM) != 0;
    parts.bar_top =
        (slider.Label()[0] != '\0' ? kLabelLine : 0) + (above ? kMarkLength + 3 : kThumbOverhang);
    int bar_end = parts.bar_top + kBarHeight + (below ? kMarkLength + 2 : kThumbOverhang);
    parts.labels_top = bar_end + 1;
    bool limits = slider.MinLimitLabel()[0] != '\0' || slider.MaxLimitLabel()[0] != '\0';
    parts.height = limits ? parts.labels_top + kLimitLine : bar_end;
    return parts;
}

// The step of a key: the arrows one, the page keys a tenth of the range, Home and End to the
// ends; 0 for another key.
int32 key_step(int key, int32 minimum, int32 maximum)
{
    int32 page = std::max<int32>(1, static_cast<int32>(std::lround((maximum - minimum) / 10.0)));
    switch (key)
    {
    case FL_Left:
    case FL_Down:
        return -1;
    case FL_Right:
    case FL_Up:
        return 1;
    case FL_Page_Down:
        return -page;
    case FL_Page_Up:
        return page;
    case FL_Home:
        return minimum - maximum;
    case FL_End:
        return maximum - minimum;
    default:
        return 0;
    }
}

class KitSliderWidget : public KitWidget<Fl_Widget>, public KitKeyTaker
{
public:
    using KitWidget::KitWidget;

    struct Layout
    {
        int left;
        int right;
        int bar_top;
    };

    Layout LayOut(BSlider* slider) const
    {
        Layout layout;
        layout.left = x() + kInset;
        layout.right = x() + w() - 1 - kInset;
        layout.bar_top = y() + parts_of(*slider).bar_top;
        return layout;
    }

    static int Position(const Layout& layout, BSlider* slider, int32 value)
    {
        int32 minimum;
        int32 maximum;
        slider->GetLimits(&minimum, &maximum);
        if (maximum <= minimum)
            return layout.left;
        return layout.left +
               static_cast<int>(std::lround(static_cast<double>(value - minimum) *
                                            (layout.right - layout.left) / (maximum - minimum)));
    }

    void draw() override
    {
        KitHold hold(link);
        auto* slider = static_cast<BSlider*>(hold.View());
        if (slider == nullptr)
            return;
        fl_push_clip(x(), y(), w(), h());
        fl_rectf(x(), y(), w(), h(), kit_color(background_of(slider)));
        Fl_Color ink = slider->IsEnabled() ? FL_BLACK : fl_rgb_color(128, 128, 128);
        if (slider->Label()[0] != '\0')
        {
            kit_fitted_size(FL_HELVETICA, kLabelSize, slider->Label(), w() - 4);
            fl_color(ink);
            fl_draw(slider->Label(), x() + 2, y(), w() - 4, kLabelLine,
                    FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP, nullptr, 0);
        }
        Layout layout = LayOut(slider);
        int thumb = Position(layout, slider, slider->Value());
        fl_rectf(layout.left, layout.bar_top, layout.right - layout.left + 1, kBarHeight,
                 fl_rgb_color(168, 168, 168));
        rgb_color fill;
        if (slider->FillColor(&fill))
            fl_rectf(layout.left, layout.bar_top, thumb - layout.left + 1, kBarHeight,
                     slider->IsEnabled() ? kit_color(fill) : fl_rgb_color(184, 184, 184));
        fl_color(fl_rgb_color(96, 96, 96));
        fl_rect(layout.left - 1, layout.bar_top - 1, layout.right - layout.left + 3,
                kBarHeight + 2);

        int marks = slider->HashMarkCount();
        fl_color(fl_rgb_color(128, 128, 128));
        for (int mark = 0; marks > 1 && mark < marks; mark++)
        {
            int at = layout.left + mark * (layout.right - layout.left) / (marks - 1);
            if ((slider->HashMarks() & B_HASH_MARKS_TOP) != 0)
                fl_yxline(at, layout.bar_top - 2 - kMarkLength, layout.bar_top - 2);
            if ((slider->HashMarks() & B_HASH_MARKS_BOTTOM) != 0)
                fl_yxline(at, layout.bar_top + kBarHeight + 1,
                          layout.bar_top + kBarHeight + 1 + kMarkLength);
        }

        fl_draw_box(slider->IsEnabled() ? FL_UP_BOX : FL_FLAT_BOX, thumb - kThumbWidth / 2,
                    layout.bar_top - kThumbOverhang, kThumbWidth, kBarHeight + 2 * kThumbOverhang,
                    fl_rgb_color(224, 224, 224));

        int labels_top = y() + parts_of(*slider).labels_top;
        fl_font(FL_HELVETICA, kLimitSize);
        fl_color(ink);
        fl_draw(slider->MinLimitLabel(), layout.left - 2, labels_top, 60, kLimitLine,
                FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP, nullptr, 0);
        fl_draw(slider->MaxLimitLabel(), layout.right - 58, labels_top, 60, kLimitLine,
                FL_ALIGN_RIGHT | FL_ALIGN_INSIDE | FL_ALIGN_TOP, nullptr, 0);
        if (Fl::focus() == this)
            draw_focus(FL_NO_BOX, x(), y(), w(), h());
        fl_pop_clip();
    }

    int handle(int event) override
    {
        switch (event)
        {
        case FL_PUSH:
        case FL_DRAG:
        {
            KitHold hold(link);
            auto* slider = static_cast<BSlider*>(hold.View());
            if (slider == nullptr || !slider->IsEnabled())
                return 0;
            if (event == FL_PUSH && Fl::visible_focus())
                Fl::focus(this);
            Layout layout = LayOut(slider);
            int32 minimum;
            int32 maximum;
            slider->GetLimits(&minimum, &maximum);
            double share = static_cast<double>(Fl::event_x() - layout.left) /
                           std::max(1, layout.right - layout.left);
            slider->UserMoved(minimum +
                              static_cast<int32>(std::lround(share * (maximum - minimum))));
            return 1;
        }
        case FL_RELEASE:
            return 1;
        case FL_FOCUS:
        {
            // A slider the user cannot move is passed over by the Tab key.
            KitHold hold(link);
            auto* slider = static_cast<BSlider*>(hold.View());
            if (slider == nullptr || !slider->IsEnabled())
                return 0;
            redraw(); // the focus mark
            return 1;
        }
        case FL_UNFOCUS:
            redraw();
            return 1;
        case FL_KEYDOWN:
        {
            KitHold hold(link);
            auto* slider = static_cast<BSlider*>(hold.View());
            if (slider == nullptr || !slider->IsEnabled())
                return 0;
            int32 minimum;
            int32 maximum;
            slider->GetLimits(&minimum, &maximum);
            int32 step = key_step(Fl::event_key(), minimum, maximum);
            if (step == 0 || (Fl::event_state() & (FL_CTRL | FL_ALT)) != 0)
                return 0;
            slider->UserMoved(slider->Value() + step);
            return 1;
        }
        default:
            return Fl_Widget::handle(event);
        }
    }
};

} // namespace

BSlider::BSlider(BRect frame, const char* name, const char* label, BMessage* message,
                 int32 minValue, int32 maxValue, thumb_style, uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags), minimum_(minValue),
      maximum_(maxValue)
{
    value_ = minValue;
}

void BSlider::SetValue(int32 value)
{
    BControl::SetValue(std::clamp(value, minimum_, std::max(minimum_, maximum_)));
}

void BSlider::GetLimits(int32* minimum, int32* maximum) const
{
    *minimum = minimum_;
    *maximum = maximum_;
}

void BSlider::SetHashMarks(hash_mark_location where)
{
    hash_marks_ = where;
    Changed();
}

void BSlider::SetHashMarkCount(int32 count)
{
    hash_mark_count_ = count;
    Changed();
}

void BSlider::UseFillColor(bool use, const rgb_color* color)
{
    use_fill_ = use;
    if (color != nullptr)
        fill_color_ = *color;
    Changed();
}

bool BSlider::FillColor(rgb_color* color) const
{
    if (color != nullptr)
        *color = fill_color_;
    return use_fill_;
}

void BSlider::SetLimitLabels(const char* minLabel, const char* maxLabel)
{
    min_label_ = minLabel != nullptr ? minLabel : "";
    max_label_ = maxLabel != nullptr ? maxLabel : "";
    Changed();
}

void BSlider::UserMoved(int32 value)
{
    value = std::clamp(value, minimum_, std::max(minimum_, maximum_));
    if (value == Value())
        return;
    SetValue(value);
    Invoke();
}

BPrivate::ToolkitWidget* BSlider::CreateWidget(int x, int y, int width, int height)
{
    return new KitSliderWidget(x, y, width, height);
}

int BSlider::MinimumWidgetHeight() const
{
    return parts_of(*this).height;
}
