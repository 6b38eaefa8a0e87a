#include "audio/Fuse.h"

#include <atomic>

#include "app/Debug.h"
#include "audio/AudioOutput.h"
#include "platform/Threads.h"
#include "ui/MainView.h"
#include "ui/Window.h"

bigtime_t fuse_timer = 0;
int32 started_fuse_thread = 0;

namespace
{

constexpr bigtime_t kWatchdogPeriod = 250000;
constexpr bigtime_t kTripAge = 2000000;
constexpr bigtime_t kLowestStepPause = 250000;
// How often a trip that waits for the window looks whether the output is being stopped.
constexpr bigtime_t kWindowLockPoll = 5000;

std::atomic<bool> stand_down{false};

// Locks the main window unless the output is being stopped meanwhile.
bool lock_window_for_trip(WINDOW* window)
{
    while (window->LockWithTimeout(kWindowLockPoll) != B_OK)
    {
        if (stand_down.load())
            return false;
    }
    return true;
}

void reduce_polyphony()
{
    WINDOW* window = app_window.load();
    if (window == nullptr || theview == nullptr || !lock_window_for_trip(window))
        return;
    SLIDER* slider = theview->PolyphonySlider();
    int32 value = slider->Value() - 1;
    if (value < 0)
    {
        // Nothing left to take away: give the starved threads the processor for a moment.
        snooze(kLowestStepPause);
        value = 0;
    }
    slider->SetValue(value);
    window->Unlock();
    DEBUG_PRINT("Finished (ReducePoly)");
}

} // namespace

status_t fuse_thread(void*)
{
    for (;;)
    {
        snooze(kWatchdogPeriod);
        bigtime_t now = system_time();
        fuse_locker.Lock();
        fuse_timer = now;
        fuse_locker.Unlock();
    }
    return B_OK;
}

void StartFuse()
{
    if (started_fuse_thread != 0)
        return;
    started_fuse_thread = 1;
    fuse_locker.Lock();
    fuse_timer = system_time();
    fuse_locker.Unlock();
    resume_thread(spawn_thread(fuse_thread, "fuse_thread", B_NORMAL_PRIORITY, nullptr));
}

void FuseCheck()
{
    FuseCheckAt(system_time());
}

bool FuseCheckAt(bigtime_t now)
{
    BAutolock hold(fuse_locker);
    if (now <= fuse_timer + kTripAge)
        return false;
    DEBUG_PRINT("Reducing polyphony");
    reduce_polyphony();
    fuse_timer = system_time();
    return true;
}

void SetFuseStandDown(bool value)
{
    stand_down.store(value);
}
