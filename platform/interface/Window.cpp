#include "platform/interface/Window.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#define FL_INTERNALS // for Fl_X: whether the server has shown a window yet
#include <FL/x.H>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/app/EventLoop.h"
#include "platform/interface/View.h"
#include "platform/interface/private/DesktopIdentity.h"
#include "platform/support/Threads.h"

namespace
{

struct Registry
{
    std::mutex mutex;
    std::map<uint64, BWindow*> windows;
    uint64 next_id = 1;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

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

} // namespace

// The toolkit's window: keys, the wheel and drops become the window's messages.
class KitWindowWidget : public Fl_Double_Window
{
public:
    KitWindowWidget(BWindow* owner, int x, int y, int width, int height)
        : Fl_Double_Window(x, y, width, height), owner_(owner)
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

    // The window manager moved the window: the window's frame follows.
    void resize(int x, int y, int width, int height) override
    {
        Fl_Double_Window::resize(x, y, width, height);
        owner_->Lock();
        owner_->frame_.OffsetTo(static_cast<float>(x), static_cast<float>(y));
        owner_->Unlock();
    }

    int handle(int event) override
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

private:
    void Dropped(const char* text, int length)
    {
        BMessage message = drop_message(text, static_cast<size_t>(std::max(length, 0)));
        owner_->PostMessage(&message);
    }

    BWindow* owner_;
    bool awaiting_drop_ = false;
};

namespace
{

// The toolkit offers a key to the control with the focus and its groups before the window,
// and they take the arrows to move the focus: the scroll keys go to the window first. Not
// while a menu or a modal dialog has the input.
int dispatch_event(int event, Fl_Window* window)
{
    if (event == FL_KEYBOARD && Fl::grab() == nullptr && Fl::modal() == nullptr &&
        is_scroll_key(Fl::event_key()))
    {
        if (auto* kit = dynamic_cast<KitWindowWidget*>(window))
            return kit->handle(event);
    }
    return Fl::handle_(event, window);
}

} // namespace

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32)
    : title_(title != nullptr ? title : ""), frame_(frame), type_(type), flags_(flags),
      top_view_(new BView(BRect(0, 0, frame.Width(), frame.Height()), "", B_FOLLOW_ALL, 0))
{
    top_view_->SetWindow(this);
    Registry& reg = registry();
    std::lock_guard<std::mutex> hold(reg.mutex);
    id_ = reg.next_id++;
    reg.windows[id_] = this;
}

BWindow::~BWindow()
{
    lock_.Lock();
    delete top_view_;
    top_view_ = nullptr;
    lock_.Unlock();
    // Only now is the window gone for QuitAllWindows: the views' destructors may still store
    // what the application saves once every window has quit.
    Registry& reg = registry();
    std::lock_guard<std::mutex> hold(reg.mutex);
    reg.windows.erase(id_);
}

BWindow* BWindow::Alive(uint64 id)
{
    Registry& reg = registry();
    std::lock_guard<std::mutex> hold(reg.mutex);
    auto found = reg.windows.find(id);
    return found == reg.windows.end() ? nullptr : found->second;
}

void BWindow::MessageReceived(BMessage*) {}

bool BWindow::QuitRequested()
{
    return true;
}

void BWindow::Show()
{
    if (shown_)
        return;
    shown_ = true;
    start_event_loop();
    if (on_event_loop_thread())
    {
        // Shown by the window thread itself, which is about to be busy (a window asking the
        // user to wait while a file loads): it must be on the screen before the work starts.
        Realize();
        PaintNow();
        return;
    }
    uint64 id = id_;
    run_on_event_loop(
        [id]
        {
            if (BWindow* window = Alive(id))
                window->Realize();
        },
        false);
}

void BWindow::Realize()
{
    if (!event_loop_has_display() || widget_ != nullptr)
        return;
    Fl::event_dispatch(dispatch_event);
    Lock();
    auto* window = new KitWindowWidget(
        this, static_cast<int>(frame_.left), static_cast<int>(frame_.top),
        static_cast<int>(frame_.Width()) + 1, static_cast<int>(frame_.Height()) + 1);
    window->copy_label(title_.c_str());
    give_desktop_identity(window, true);
    if ((flags_ & B_NOT_RESIZABLE) != 0)
        window->size_range(window->w(), window->h(), window->w(), window->h());
    if (type_ == B_MODAL_WINDOW)
        window->set_modal();
    top_view_->Realize(window, 0, 0);
    window->end();
    widget_ = window;
    int left = window->x();
    int top = window->y();
    window->show();
    // The toolkit pulls a new window wholly onto the screen, not always telling the widget; the
    // window belongs where its frame says, even partly off the screen, as its owner chose.
    window->position(left, top);
    XMoveWindow(fl_display, fl_xid(window), left, top);
    Unlock();
}

void BWindow::PaintNow()
{
    if (widget_ == nullptr)
        return;
    // Until the server has mapped the window, what is drawn into it is lost. A window that is
    // modal keeps the other windows' input away meanwhile; waiting is bounded, since a window
    // manager may keep the window from the screen for good.
    bigtime_t deadline = system_time() + 500000;
    while (system_time() < deadline)
    {
        Fl_X* shown = Fl_X::i(widget_);
        if (shown != nullptr && shown->wait_for_expose == 0)
            break;
        Fl::wait(0.01);
    }
    Fl::flush();
}

void BWindow::Sync()
{
    if (widget_ == nullptr)
        return;
    Lock();
    if (widget_->x() != static_cast<int>(frame_.left) ||
        widget_->y() != static_cast<int>(frame_.top))
        widget_->position(static_cast<int>(frame_.left), static_cast<int>(frame_.top));
    top_view_->SyncTree();
    Unlock();
}

void BWindow::ViewChanged()
{
    if (sync_pending_.exchange(true))
        return;
    uint64 id = id_;
    run_on_event_loop(
        [id]
        {
            if (BWindow* window = Alive(id))
            {
                window->sync_pending_ = false;
                window->Sync();
            }
        },
        false);
}

void BWindow::Quit()
{
    quitting_ = true;
    for (int32 held = lock_.CountLocks(); held > 0; held--)
        lock_.Unlock();
    uint64 id = id_;
    run_on_event_loop(
        [id]
        {
            if (BWindow* window = Alive(id))
                window->Destroy();
        },
        false);
}

void BWindow::Destroy()
{
    Lock();
    if (widget_ != nullptr)
    {
        top_view_->Unrealize();
        widget_->hide();
        delete widget_;
        widget_ = nullptr;
    }
    Unlock();
    delete this;
}

bool BWindow::Lock()
{
    return lock_.Lock();
}

void BWindow::Unlock()
{
    lock_.Unlock();
}

status_t BWindow::LockWithTimeout(bigtime_t timeout)
{
    return lock_.LockWithTimeout(timeout);
}

status_t BWindow::PostMessage(uint32 what)
{
    BMessage message(what);
    return PostMessage(&message);
}

status_t BWindow::PostMessage(const BMessage* message)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    auto copy = std::make_shared<BMessage>(*message);
    uint64 id = id_;
    run_on_event_loop(
        [id, copy]
        {
            BWindow* window = Alive(id);
            if (window == nullptr)
                return;
            window->Lock();
            if (!window->DispatchMessage(copy.get()))
                window->Unlock();
        },
        false);
    return B_OK;
}

bool BWindow::DispatchMessage(BMessage* message)
{
    if (message->what == B_QUIT_REQUESTED)
    {
        quitting_ = true;
        if (QuitRequested())
        {
            for (int32 held = lock_.CountLocks(); held > 0; held--)
                lock_.Unlock();
            Destroy();
            return true;
        }
        quitting_ = false;
        return false;
    }
    MessageReceived(message);
    return false;
}

void BWindow::DeliverKeyOrWheel(BMessage* message)
{
    Lock();
    if (!DispatchMessage(message))
        Unlock();
}

bool BWindow::QuitAllWindows()
{
    for (;;)
    {
        uint64 id = 0;
        {
            Registry& reg = registry();
            std::lock_guard<std::mutex> hold(reg.mutex);
            if (reg.windows.empty())
                return true;
            id = reg.windows.begin()->first;
        }
        bool quit = false;
        run_on_event_loop(
            [id, &quit]
            {
                BWindow* window = Alive(id);
                if (window == nullptr)
                {
                    quit = true;
                    return;
                }
                window->Lock();
                BMessage request(B_QUIT_REQUESTED);
                quit = window->DispatchMessage(&request);
                if (!quit)
                    window->Unlock();
            },
            true);
        if (!quit)
            return false;
    }
}

void BWindow::AddChild(BView* view)
{
    top_view_->AddChild(view);
}

bool BWindow::RemoveChild(BView* view)
{
    return top_view_->RemoveChild(view);
}

int32 BWindow::CountChildren() const
{
    return top_view_->CountChildren();
}

BView* BWindow::ChildAt(int32 index) const
{
    return top_view_->ChildAt(index);
}

BView* BWindow::FindView(const char* name) const
{
    return top_view_->FindView(name);
}

BRect BWindow::Bounds() const
{
    return BRect(0, 0, frame_.Width(), frame_.Height());
}

BRect BWindow::Frame() const
{
    BRect frame = frame_;
    if (widget_ != nullptr && on_event_loop_thread())
        frame.OffsetTo(static_cast<float>(widget_->x()), static_cast<float>(widget_->y()));
    return frame;
}

void BWindow::MoveTo(float x, float y)
{
    frame_.OffsetTo(x, y);
    ViewChanged();
}
