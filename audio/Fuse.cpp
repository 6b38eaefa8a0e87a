#include "audio/Fuse.h"

#include "app/Debug.h"
#include "audio/AudioOutput.h"
#include "engine/Harmoloom.h"
#include "platform/support/Threads.h"
#include "ui/MainView.h"
#include "ui/MessageCodes.h"
#include "ui/Slider.h"
#include "ui/Window.h"

bigtime_t fuse_timer = 0;
int32 started_fuse_thread = 0;

namespace
{

constexpr bigtime_t kWatchdogPeriod = 250000;
constexpr bigtime_t kTripAge = 2000000;
constexpr bigtime_t kLowestStepPause = 250000;

void reduce_polyphony(bigtime_t patience)
{
    WINDOW* window = app_window.load();
    if (window == nullptr || theview == nullptr)
        return;
    SLIDER* slider = theview->PolyphonySlider();
    int32 step = slider->current_value.load() - 1;
    if (step < 0)
    {
        // Nothing left to take away: give the starved threads the processor for a moment.
        snooze(kLowestStepPause);
        step = 0;
    }
    // The window thread may hold its lock for long (it stops this very output at quit): the
    // slider then learns the step from a message.
    if (window->LockWithTimeout(patience) == B_OK)
    {
        slider->SetValue(step);
        window->Unlock();
    }
    else
    {
        slider->current_value.store(step);
        Synth->RequestPoly(PolyphonyVoices(step));
        BMessage message(MSG_FUSE_STEP);
        message.AddInt32("step", step);
        window->PostMessage(&message);
    }
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

void FuseCheck(bigtime_t patience)
{
    FuseCheckAt(system_time(), patience);
}

bool FuseCheckAt(bigtime_t now, bigtime_t patience)
{
    BAutolock hold(fuse_locker);
    if (now <= fuse_timer + kTripAge)
        return false;
    DEBUG_PRINT("Reducing polyphony");
    reduce_polyphony(patience);
    fuse_timer = system_time();
    return true;
}
