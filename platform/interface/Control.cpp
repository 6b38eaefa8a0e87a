#include "platform/interface/Control.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>

#include <type_traits>

#include "platform/interface/Window.h"
#include "platform/interface/private/KitWidget.h"
#include "platform/support/Threads.h"

namespace
{

// Labels are shown as given: FLTK would read '@' as a symbol and '&' as a shortcut mark.
std::string literal(const char* text)
{
    std::string out;
    for (const char* c = text; *c != '\0'; c++)
    {
        out += *c;
        if (*c == '@' || *c == '&')
            out += *c;
    }
    return out;
}

// The control's label, and whether it takes input, on its widget.
void show_label_and_state(Fl_Widget* widget, const BControl& control)
{
    widget->copy_label(literal(control.Label()).c_str());
    if (control.IsEnabled())
        widget->activate();
    else
        widget->deactivate();
    widget->redraw();
}

constexpr int kLabelSize = 12;

template <typename Base> class KitControlWidget : public KitWidget<Base>
{
public:
    KitControlWidget(int x, int y, int width, int height) : KitWidget<Base>(x, y, width, height)
    {
        this->callback(pressed);
    }

    void draw() override
    {
        {
            KitHold hold(this->link);
            if (BView* control = hold.View())
            {
                this->labelsize(kit_column_fitted_size(
                    control, this->labelfont(), kLabelSize,
                    [this](const BView* view)
                    {
                        return KitText{static_cast<const BControl*>(view)->Label(),
                                       LabelRoom(view->Frame().IntegerWidth() + 1)};
                    }));
            }
        }
        Base::draw();
    }

    // Where the toolkit puts the label: right of a check box's square (as wide as the label's
    // size, 6 pixels of gaps), or inside a button's border, kept 2 pixels off it.
    int LabelRoom(int width) const
    {
        if constexpr (std::is_base_of_v<Fl_Light_Button, Base>)
            return width - kLabelSize - 6;
        else
            return width - Fl::box_dw(this->box()) - 4;
    }

    static void pressed(Fl_Widget* widget, void* data)
    {
        KitHold hold(*static_cast<KitLink*>(data));
        auto* control = static_cast<BControl*>(hold.View());
        if (control == nullptr || !control->IsEnabled())
            return;
        if (auto* check = dynamic_cast<Fl_Check_Button*>(widget))
            control->SetValue(check->value() != 0 ? B_CONTROL_ON : B_CONTROL_OFF);
        control->Invoke();
    }
};

} // namespace

BControl::BControl(BRect frame, const char* name, const char* label, BMessage* message,
                   uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags), label_(label != nullptr ? label : ""),
      message_(message)
{
}

BControl::~BControl() = default;

void BControl::SetValue(int32 value)
{
    value_ = value;
    Changed();
}

void BControl::SetLabel(const char* label)
{
    label_ = label != nullptr ? label : "";
    Changed();
}

void BControl::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    Changed();
}

void BControl::SetMessage(BMessage* message)
{
    message_.reset(message);
}

status_t BControl::Invoke()
{
    if (message_ == nullptr || Window() == nullptr)
        return B_BAD_VALUE;
    BMessage copy(*message_);
    copy.AddInt64("when", system_time());
    copy.AddPointer("source", this);
    copy.AddInt32("be:value", value_);
    return Window()->PostMessage(&copy);
}

BButton::BButton(BRect frame, const char* name, const char* label, BMessage* message,
                 uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags)
{
}

BPrivate::ToolkitWidget* BButton::CreateWidget(int x, int y, int width, int height)
{
    return new KitControlWidget<Fl_Button>(x, y, width, height);
}

void BButton::UpdateWidget()
{
    show_label_and_state(Widget()->Toolkit(), *this);
}

BCheckBox::BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
                     uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags)
{
}

BPrivate::ToolkitWidget* BCheckBox::CreateWidget(int x, int y, int width, int height)
{
    return new KitControlWidget<Fl_Check_Button>(x, y, width, height);
}

void BCheckBox::UpdateWidget()
{
    auto* widget = static_cast<Fl_Check_Button*>(Widget()->Toolkit());
    widget->value(Value() != 0 ? 1 : 0);
    show_label_and_state(widget, *this);
}
