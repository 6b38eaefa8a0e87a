// A one-line text field with a label before it; it sends its message when the user confirms a
// changed text (Return, or leaving the field).
#pragma once

#include <string>

#include "platform/interface/Control.h"

class BTextControl : public BControl
{
public:
    BTextControl(BRect frame, const char* name, const char* label, const char* text,
                 BMessage* message, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                 uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

    void SetText(const char* text);
    const char* Text() const { return text_.c_str(); }
    // Where the text field starts, from the control's left edge.
    void SetDivider(float divider);
    float Divider() const { return divider_; }

    // The user's text, from the toolkit.
    void TextEntered(const char* text);

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    void UpdateWidget() override;

private:
    std::string text_;
    float divider_;
};
