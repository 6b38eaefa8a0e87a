// Windows: a frame on the screen with views in it, a lock, and messages handled on the window
// thread.
//
// Any thread that touches a window's views holds its lock. The window thread holds it while it
// hands the window a message. A window is shown by the window thread; until then (and without a
// display) its views are plain objects that tests can build and drive, with messages handled on
// the posting thread.
#pragma once

#include <string>

#include "platform/app/Message.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/support/Locker.h"

class BView;

namespace BPrivate
{
// The toolkit's window that shows a window (platform/interface/private/WindowWidget.h).
class WindowWidget;
} // namespace BPrivate

class BWindow
{
public:
    BWindow(BRect frame, const char* title, window_type type, uint32 flags,
            uint32 workspace = B_CURRENT_WORKSPACE);
    // Deletes the window's views. Runs on the window thread once the window has quit.
    virtual ~BWindow();

    BWindow(const BWindow&) = delete;
    BWindow& operator=(const BWindow&) = delete;

    // The window's messages. Unknown codes are ignored.
    virtual void MessageReceived(BMessage* message);
    // Asked when the window is to close; true lets it close (and be deleted).
    virtual bool QuitRequested();

    // Shows the window (the window thread starts if it does not run yet).
    void Show();
    // Closes and deletes the window on the window thread. A thread that holds the lock gives it
    // up; nobody may use the window afterwards.
    void Quit();

    bool Lock();
    void Unlock();
    // For threads that must not wait for long: the audio thread, the meter.
    status_t LockWithTimeout(bigtime_t timeout);
    bool IsLocked() const { return lock_.IsLocked(); }

    // Hands a copy of the message to the window thread, which passes it to DispatchMessage.
    status_t PostMessage(uint32 what);
    status_t PostMessage(const BMessage* message);
    // Handles a message now, on the calling thread, which holds the lock: B_QUIT_REQUESTED asks
    // QuitRequested (and closes the window when it agrees), anything else goes to
    // MessageReceived. Returns whether the window has quit (and is gone).
    bool DispatchMessage(BMessage* message);

    void AddChild(BView* view);
    bool RemoveChild(BView* view);
    int32 CountChildren() const;
    BView* ChildAt(int32 index) const;
    BView* FindView(const char* name) const;

    // In the window's own coordinates.
    BRect Bounds() const;
    // On the screen: where the window is now.
    BRect Frame() const;
    void MoveTo(float x, float y);
    window_type Type() const { return type_; }
    uint32 Flags() const { return flags_; }

    // Toolkit side: a view has changed; the window thread brings the widgets up to date.
    void ViewChanged();
    // A key or the mouse wheel, from the toolkit.
    void DeliverKeyOrWheel(BMessage* message);

    // Asks every window to quit, one after the other, on the window thread; true when none is
    // left. For the application's quit request.
    static bool QuitAllWindows();

private:
    void Realize();
    void PaintNow();
    void Sync();
    void Destroy();
    static BWindow* Alive(uint64 id);

    std::string title_;
    BRect frame_;
    window_type type_;
    uint32 flags_;
    BLocker lock_;
    BView* top_view_;
    uint64 id_;
    bool shown_ = false;
    std::atomic<bool> quitting_{false};
    std::atomic<bool> sync_pending_{false};
    BPrivate::WindowWidget* widget_ = nullptr;
    friend class BPrivate::WindowWidget;
};
