#include "platform/interface/Menu.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/fl_draw.H>

#include "platform/interface/Window.h"
#include "platform/interface/private/KitWidget.h"
#include "platform/support/Threads.h"

BMenuItem::BMenuItem(const char* label, BMessage* message)
    : label_(label != nullptr ? label : ""), message_(message)
{
}

BMenuItem::~BMenuItem() = default;

void BMenuItem::SetMarked(bool marked)
{
    marked_ = marked;
    if (menu_ != nullptr && marked)
        menu_->ItemMarked(this);
    else if (menu_ != nullptr)
        menu_->ItemMarked(nullptr);
}

BMenu::BMenu(const char* name) : name_(name != nullptr ? name : "") {}

BMenu::~BMenu() = default;

bool BMenu::AddItem(BMenuItem* item)
{
    if (item == nullptr)
        return false;
    item->menu_ = this;
    items_.emplace_back(item);
    if (owner_ != nullptr)
        owner_->MenuChanged();
    return true;
}

BMenuItem* BMenu::ItemAt(int32 index) const
{
    return index >= 0 && static_cast<size_t>(index) < items_.size()
               ? items_[static_cast<size_t>(index)].get()
               : nullptr;
}

int32 BMenu::IndexOf(const BMenuItem* item) const
{
    for (size_t index = 0; index < items_.size(); index++)
    {
        if (items_[index].get() == item)
            return static_cast<int32>(index);
    }
    return -1;
}

BMenuItem* BMenu::FindMarked() const
{
    for (const auto& item : items_)
    {
        if (item->IsMarked())
            return item.get();
    }
    return nullptr;
}

void BMenuItem::SetLabel(const char* label)
{
    label_ = label;
    if (menu_ != nullptr)
        menu_->ItemChanged();
}

void BMenu::ItemChanged()
{
    if (owner_ != nullptr)
        owner_->MenuChanged();
}

void BMenu::ItemMarked(BMenuItem* item)
{
    if (radio_ && item != nullptr)
    {
        for (auto& other : items_)
        {
            if (other.get() != item)
                other->marked_ = false;
        }
    }
    ItemChanged();
}

std::string BMenu::ShownLabel() const
{
    if (label_from_marked_)
    {
        if (BMenuItem* marked = FindMarked())
            return marked->Label();
    }
    return name_;
}

BPopUpMenu::BPopUpMenu(const char* name, bool radioMode, bool labelFromMarked) : BMenu(name)
{
    SetRadioMode(radioMode);
    SetLabelFromMarked(labelFromMarked);
}

namespace
{

class KitMenuFieldWidget : public KitWidget<Fl_Group>
{
public:
    KitMenuFieldWidget(int x, int y, int width, int height) : KitWidget(x, y, width, height)
    {
        button = new Fl_Menu_Button(x, y, width, height);
        button->labelsize(12);
        button->textsize(12);
        button->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
        button->callback(chosen, &link);
        end();
    }

    static void chosen(Fl_Widget* widget, void* data)
    {
        KitHold hold(*static_cast<KitLink*>(data));
        if (auto* field = static_cast<BMenuField*>(hold.View()))
            field->Chosen(static_cast<Fl_Menu_Button*>(widget)->value());
    }

    void draw() override
    {
        {
            KitHold hold(link);
            auto* field = static_cast<BMenuField*>(hold.View());
            if (field != nullptr && field->Divider() > 0)
            {
                // Labels kept 3 pixels off their menus.
                kit_column_fitted_size(
                    field, FL_HELVETICA, 12,
                    [](const BView* view)
                    {
                        auto* other = static_cast<const BMenuField*>(view);
                        if (other->Divider() <= 0)
                            return KitText();
                        return KitText{other->Label(), static_cast<int>(other->Divider()) - 3};
                    });
                fl_color(field->IsEnabled() ? FL_BLACK : fl_rgb_color(128, 128, 128));
                fl_draw(field->Label(), x(), y(), static_cast<int>(field->Divider()), h(),
                        FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
            }
        }
        draw_children();
    }

    Fl_Menu_Button* button;
};

// Menu texts as FLTK's menus take them: '/' would make a submenu, '&' a shortcut mark, '_' a
// divider.
std::string menu_text(const char* label)
{
    std::string out;
    for (const char* c = label; *c != '\0'; c++)
    {
        if (*c == '/' || *c == '&' || *c == '_' || *c == '\\')
            out += '\\';
        out += *c;
    }
    return out;
}

} // namespace

BMenuField::BMenuField(BRect frame, const char* name, const char* label, BMenu* menu, bool,
                       uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags), label_(label != nullptr ? label : ""), menu_(menu),
      divider_(0)
{
    if (menu_ != nullptr)
        menu_->SetOwner(this);
}

BMenuField::~BMenuField() = default;

void BMenuField::SetDivider(float divider)
{
    divider_ = divider;
    Changed();
}

void BMenuField::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    Changed();
}

void BMenuField::Chosen(int32 index)
{
    BMenuItem* item = menu_ != nullptr ? menu_->ItemAt(index) : nullptr;
    if (item == nullptr || !enabled_)
        return;
    if (menu_->IsRadioMode())
        item->SetMarked(true);
    if (item->Message() != nullptr && Window() != nullptr)
    {
        BMessage copy(*item->Message());
        copy.AddInt64("when", system_time());
        copy.AddPointer("source", item);
        copy.AddInt32("index", index);
        Window()->PostMessage(&copy);
    }
    Changed();
}

BPrivate::ToolkitWidget* BMenuField::CreateWidget(int x, int y, int width, int height)
{
    return new KitMenuFieldWidget(x, y, width, height);
}

void BMenuField::UpdateWidget()
{
    auto* widget = static_cast<KitMenuFieldWidget*>(Widget());
    int divider = static_cast<int>(divider_);
    widget->button->resize(widget->x() + divider, widget->y(), widget->w() - divider, widget->h());
    widget->button->clear();
    if (menu_ != nullptr)
    {
        for (int32 index = 0; index < menu_->CountItems(); index++)
        {
            BMenuItem* item = menu_->ItemAt(index);
            int flags = menu_->IsRadioMode() ? FL_MENU_RADIO : 0;
            if (item->IsMarked())
                flags |= FL_MENU_VALUE;
            widget->button->add(menu_text(item->Label()).c_str(), 0, nullptr, nullptr, flags);
        }
        widget->button->copy_label(menu_->ShownLabel().c_str());
    }
    if (enabled_)
        widget->button->activate();
    else
        widget->button->deactivate();
    widget->redraw();
}
