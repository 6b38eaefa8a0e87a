// Controls: views that the user acts on, which then send their message to their window with
// the control as "source".
#pragma once

#include <memory>
#include <string>

#include "platform/app/Message.h"
#include "platform/interface/View.h"

class BControl : public BView
{
public:
    BControl(BRect frame, const char* name, const char* label, BMessage* message,
             uint32 resizingMode, uint32 flags);
    ~BControl() override;

    virtual void SetValue(int32 value);
    int32 Value() const { return value_; }
    virtual void SetLabel(const char* label);
    const char* Label() const { return label_.c_str(); }
    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const { return enabled_; }
    // Takes ownership of the message; null for none.
    void SetMessage(BMessage* message);
    BMessage* Message() const { return message_.get(); }

    // Sends a copy of the message to the window, with "when", "source" and "be:value".
    status_t Invoke();

protected:
    int32 value_ = 0;

private:
    std::string label_;
    bool enabled_ = true;
    std::unique_ptr<BMessage> message_;
};

class BButton : public BControl
{
public:
    BButton(BRect frame, const char* name, const char* label, BMessage* message,
            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
            uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    void UpdateWidget() override;
    // A button grows to fit its text, as push buttons do: a shorter frame keeps its top.
    int MinimumWidgetHeight() const override { return 20; }
};

class BCheckBox : public BControl
{
public:
    BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
              uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
              uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    BPrivate::ToolkitWidget* CreateWidget(int x, int y, int width, int height) override;
    void UpdateWidget() override;
};
