#include "platform/interface/private/WindowWidget.h"

#include <FL/Fl.H>

#include <algorithm>

#include "platform/interface/TabView.h"
#include "platform/interface/Window.h"

namespace
{

// The raw character of a key, as the program's messages carry it.
int32 raw_char(int key, const char* text)
{
    switch (key)
    {
    case FL_Page_Up:
        return 11;
    case FL_Page_Down:
        return 12;
    case FL_Up:
        return 30;
    case FL_Down:
        return 31;
    case FL_Left:
        return 28;
    case FL_Right:
        return 29;
    case FL_Home:
        return 1;
    case FL_End:
        return 4;
    case FL_Escape:
        return 27;
    case FL_Enter:
    case FL_KP_Enter:
        return 10;
    case FL_Tab:
        return 9;
    case FL_BackSpace:
        return 8;
    case FL_Delete:
        return 127;
    default:
        return text != nullptr && text[0] != '\0' ? static_cast<unsigned char>(text[0]) : 0;
    }
}

bool is_scroll_key(int key)
{
    return key == FL_Page_Up || key == FL_Page_Down || key == FL_Up || key == FL_Down;
}

// Which way a key switches tabs: Ctrl+Tab and Ctrl+Page Down to the next, Ctrl+Shift+Tab and
// Ctrl+Page Up to the previous; 0 for any other key.
int tab_step(int key, int state)
{
    if ((state & FL_CTRL) == 0 || (state & FL_ALT) != 0)
        return 0;
    if (key == FL_Tab)
        return (state & FL_SHIFT) != 0 ? -1 : 1;
    if (key == FL_Page_Down)
        return 1;
    if (key == FL_Page_Up)
        return -1;
    return 0;
}

// Gives the focus to the first control (or the last) below the widget that takes it.
bool focus_end(Fl_Widget* widget, bool first)
{
    if (!widget->visible() || !widget->active())
        return false;
    Fl_Group* group = widget->as_group();
    if (group == nullptr)
        return widget->take_focus() != 0;
    for (int index = 0; index < group->children(); index++)
    {
        if (focus_end(group->child(first ? index : group->children() - 1 - index), first))
            return true;
    }
    return false;
}

BTabView* find_tab_view(BView* view)
{
    if (auto* tabs = dynamic_cast<BTabView*>(view))
        return tabs;
    for (int32 index = 0; view != nullptr && index < view->CountChildren(); index++)
    {
        if (BTabView* tabs = find_tab_view(view->ChildAt(index)))
            return tabs;
    }
    return nullptr;
}

// The toolkit offers a key to the control with the focus and its groups before the window,
// and they take the arrows to move the focus: the scroll keys go to the window first, unless
// the control with the focus takes them (a slider). The keys that switch tabs go to the tab
// view, whatever has the focus. Not while a menu or a modal dialog has the input.
int dispatch_event(int event, Fl_Window* window)
{
    auto* kit = dynamic_cast<BPrivate::WindowWidget*>(window);
    if (event == FL_KEYBOARD && kit != nullptr && Fl::grab() == nullptr && Fl::modal() == nullptr)
    {
        int key = Fl::event_key();
        if (int step = tab_step(key, Fl::event_state()))
            return kit->SwitchTab(step);
        Fl_Widget* focus = Fl::focus();
        if (is_scroll_key(key) && focus != nullptr &&
            dynamic_cast<KitKeyTaker*>(focus) != nullptr && focus->window() == window &&
            focus->handle(event))
            return 1;
        if (is_scroll_key(key))
            return kit->handle(event);
    }
    return Fl::handle_(event, window);
}

} // namespace

BPrivate::WindowWidget::WindowWidget(BWindow* owner, int x, int y, int width, int height)
    : Fl_Double_Window(x, y, width, height), ToolkitWidget(this), owner_(owner)
{
    callback(
        [](Fl_Widget*, void* data)
        {
            auto* window = static_cast<BWindow*>(data);
            if ((window->Flags() & B_NOT_CLOSABLE) == 0)
                window->PostMessage(B_QUIT_REQUESTED);
        },
        owner);
}

void BPrivate::WindowWidget::resize(int x, int y, int width, int height)
{
    Fl_Double_Window::resize(x, y, width, height);
    owner_->Lock();
    owner_->frame_.OffsetTo(static_cast<float>(x), static_cast<float>(y));
    owner_->Unlock();
}

int BPrivate::WindowWidget::handle(int event)
{
    switch (event)
    {
    case FL_KEYDOWN:
    {
        int key = Fl::event_key();
        // The list's scroll keys belong to the window, whatever has the focus.
        bool scroll_key = is_scroll_key(key);
        if (!scroll_key && Fl_Double_Window::handle(event))
            return 1;
        // The toolkit's groups keep the Tab key within themselves: past the last control of the
        // page it comes round to the first (and before the first to the last with Shift).
        if (key == FL_Tab && (Fl::event_state() & (FL_CTRL | FL_ALT)) == 0)
            focus_end(this, (Fl::event_state() & FL_SHIFT) == 0);
        if (key == FL_Escape)
            return 1; // FLTK would close the window
        BMessage message(B_KEY_DOWN);
        message.AddInt32("raw_char", raw_char(key, Fl::event_text()));
        owner_->DeliverKeyOrWheel(&message);
        return 1;
    }
    case FL_MOUSEWHEEL:
    {
        // A sideways scroll of a touchpad: nothing here scrolls sideways, and a wheel
        // message with no vertical part would read as a scroll up.
        if (Fl::event_dy() == 0)
            return 1;
        BMessage message(B_MOUSE_WHEEL_CHANGED);
        message.AddFloat("be:wheel_delta_x", static_cast<float>(Fl::event_dx()));
        message.AddFloat("be:wheel_delta_y", static_cast<float>(Fl::event_dy()));
        owner_->DeliverKeyOrWheel(&message);
        return 1;
    }
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
        return 1;
    case FL_DND_RELEASE:
        awaiting_drop_ = true;
        return 1;
    case FL_PASTE:
        if (awaiting_drop_)
        {
            awaiting_drop_ = false;
            Dropped(Fl::event_text(), Fl::event_length());
            return 1;
        }
        break;
    default:
        break;
    }
    return Fl_Double_Window::handle(event);
}

int BPrivate::WindowWidget::SwitchTab(int step)
{
    owner_->Lock();
    BTabView* tabs = nullptr;
    for (int32 index = 0; tabs == nullptr && index < owner_->CountChildren(); index++)
        tabs = find_tab_view(owner_->ChildAt(index));
    int32 count = tabs != nullptr ? tabs->CountTabs() : 0;
    if (count > 0)
    {
        tabs->Select(((tabs->Selection() + step) % count + count) % count);
        if (tabs->Widget() != nullptr)
            tabs->Widget()->Toolkit()->redraw();
    }
    owner_->Unlock();
    return count > 0 ? 1 : 0;
}

void BPrivate::WindowWidget::Dropped(const char* text, int length)
{
    BMessage message = drop_message(text, static_cast<size_t>(std::max(length, 0)));
    owner_->PostMessage(&message);
}

void kit_route_scroll_keys()
{
    Fl::event_dispatch(dispatch_event);
}
