#include "platform/interface/TextControl.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include "platform/interface/private/KitWidget.h"

namespace
{

class KitTextWidget : public KitWidget<Fl_Group>
{
public:
    KitTextWidget(int x, int y, int width, int height) : KitWidget(x, y, width, height)
    {
        input = new Fl_Input(x, y, width, height);
        input->textsize(12);
        input->when(FL_WHEN_ENTER_KEY_ALWAYS | FL_WHEN_RELEASE);
        input->callback(entered, &link);
        end();
    }

    static void entered(Fl_Widget* widget, void* data)
    {
        KitHold hold(*static_cast<KitLink*>(data));
        if (auto* control = static_cast<BTextControl*>(hold.View()))
            control->TextEntered(static_cast<Fl_Input*>(widget)->value());
    }

    void draw() override
    {
        {
            KitHold hold(link);
            auto* control = static_cast<BTextControl*>(hold.View());
            if (control != nullptr && control->Divider() > 0)
            {
                fl_font(FL_HELVETICA, 12);
                fl_color(FL_BLACK);
                fl_draw(control->Label(), x(), y(), static_cast<int>(control->Divider()), h(),
                        FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
            }
        }
        draw_children();
    }

    Fl_Input* input;
};

} // namespace

BTextControl::BTextControl(BRect frame, const char* name, const char* label, const char* text,
                           BMessage* message, uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags),
      text_(text != nullptr ? text : ""), divider_(frame.Width() / 2)
{
}

void BTextControl::SetText(const char* text)
{
    text_ = text != nullptr ? text : "";
    Changed();
}

void BTextControl::SetDivider(float divider)
{
    divider_ = divider;
    Changed();
}

void BTextControl::TextEntered(const char* text)
{
    std::string entered = text != nullptr ? text : "";
    if (entered == text_)
        return;
    text_ = entered;
    Invoke();
}

BPrivate::ToolkitWidget* BTextControl::CreateWidget(int x, int y, int width, int height)
{
    return new KitTextWidget(x, y, width, height);
}

void BTextControl::UpdateWidget()
{
    auto* widget = static_cast<KitTextWidget*>(Widget());
    int divider = static_cast<int>(divider_);
    widget->input->resize(widget->x() + divider, widget->y(), widget->w() - divider, widget->h());
    if (text_ != widget->input->value())
        widget->input->value(text_.c_str());
    if (IsEnabled())
        widget->input->activate();
    else
        widget->input->deactivate();
    widget->redraw();
}
