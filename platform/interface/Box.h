// A group box: a border, with a label in its top edge, around other views.
#pragma once

#include <string>

#include "platform/interface/View.h"

class BBox : public BView
{
public:
    BBox(BRect frame, const char* name = nullptr,
         uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW,
         border_style border = B_FANCY_BORDER);

    void SetLabel(const char* label);
    const char* Label() const { return label_.empty() ? nullptr : label_.c_str(); }
    border_style Border() const { return border_; }

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;

private:
    std::string label_;
    border_style border_;
};

class BStringView : public BView
{
public:
    BStringView(BRect frame, const char* name, const char* text,
                uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW);

    void SetText(const char* text);
    const char* Text() const { return text_.c_str(); }
    void SetAlignment(alignment flag);
    alignment Alignment() const { return alignment_; }
    // B_TRUNCATE_END: the views of a list's column (string views of one name and font at the
    // same place in their rows) take one size, the smallest any of them needs, down to a
    // readable least; a text still too wide is cut with "..." at that size. Otherwise a text is
    // made smaller on its own, or with the lines stacked with it.
    void SetTruncation(uint32 mode);
    uint32 Truncation() const { return truncation_; }

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;

private:
    std::string text_;
    alignment alignment_ = B_ALIGN_LEFT;
    uint32 truncation_ = B_NO_TRUNCATION;
};

// The colour a view's background shows: its own view colour or its nearest ancestor's.
rgb_color background_of(const BView* view);
