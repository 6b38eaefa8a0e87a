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
#include "platform/interface/private/WindowWidget.h"
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
    kit_route_scroll_keys();
    Lock();
    auto* window = new BPrivate::WindowWidget(
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
