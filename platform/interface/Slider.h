// A slider: a value within a range, set by dragging a thumb along a bar, with a label above, hash
// marks, a fill colour and labels at the two ends.
#pragma once

#include <string>

#include "platform/interface/Control.h"

class BSlider : public BControl
{
public:
    BSlider(BRect frame, const char* name, const char* label, BMessage* message, int32 minValue,
            int32 maxValue, thumb_style thumbType = B_BLOCK_THUMB,
            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
            uint32 flags = B_WILL_DRAW | B_NAVIGABLE | B_FRAME_EVENTS);

    // Clamps the value to the range. Also called, on the window thread, while the user drags.
    void SetValue(int32 value) override;
    void GetLimits(int32* minimum, int32* maximum) const;

    void SetHashMarks(hash_mark_location where);
    hash_mark_location HashMarks() const { return hash_marks_; }
    void SetHashMarkCount(int32 count);
    int32 HashMarkCount() const { return hash_mark_count_; }
    void UseFillColor(bool use, const rgb_color* color = nullptr);
    bool FillColor(rgb_color* color) const;
    void SetLimitLabels(const char* minLabel, const char* maxLabel);
    const char* MinLimitLabel() const { return min_label_.c_str(); }
    const char* MaxLimitLabel() const { return max_label_.c_str(); }

    // The value the user moved the thumb to, from the toolkit.
    void UserMoved(int32 value);

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    // A slider grows to the height its label, bar, hash marks and limit labels need, as sliders
    // do: a shorter frame keeps its top.
    int MinimumWidgetHeight() const override;

private:
    int32 minimum_;
    int32 maximum_;
    hash_mark_location hash_marks_ = B_HASH_MARKS_NONE;
    int32 hash_mark_count_ = 0;
    bool use_fill_ = false;
    rgb_color fill_color_;
    std::string min_label_;
    std::string max_label_;
};
