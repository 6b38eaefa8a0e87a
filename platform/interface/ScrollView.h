// Scrolling: a scroll bar moves the view it is bound to; a scroll view frames a view with a
// scroll bar beside it.
#pragma once

#include "platform/interface/View.h"

constexpr float B_V_SCROLL_BAR_WIDTH = 14;

class BScrollBar : public BView
{
public:
    BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
               orientation direction);

    // Moves the target to the value (clamped to the range).
    void SetValue(float value);
    float Value() const { return value_; }
    void SetRange(float min, float max);
    void GetRange(float* min, float* max) const;
    void SetProportion(float proportion);
    float Proportion() const { return proportion_; }
    void SetSteps(float smallStep, float largeStep);
    void GetSteps(float* smallStep, float* largeStep) const;
    BView* Target() const { return target_; }

    // The user moved the bar, from the toolkit.
    void UserMoved(float value);

protected:
    // Scrolls the target to the new value.
    virtual void ValueChanged(float value);
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    void UpdateWidget() override;

private:
    BView* target_;
    float min_;
    float max_;
    float value_ = 0;
    float proportion_ = 0;
    float small_step_ = 1;
    float large_step_ = 10;
    orientation orientation_;
};

class BScrollView : public BView
{
public:
    // The scroll view takes the target's place, a frame around it with the scroll bars beside.
    BScrollView(const char* name, BView* target, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                uint32 flags = 0, bool horizontal = false, bool vertical = false,
                border_style border = B_FANCY_BORDER);

    BScrollBar* ScrollBar(orientation direction) const;
    BView* Target() const { return target_; }

private:
    BView* target_;
    BScrollBar* vertical_ = nullptr;
    BScrollBar* horizontal_ = nullptr;
};
