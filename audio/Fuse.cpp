#include "audio/Fuse.h"

#include "app/Debug.h"
#include "audio/AudioOutput.h"
#include "engine/Harmoloom.h"
#include "platform/support/Threads.h"
#include "ui/MainView.h"
#include "ui/MessageCodes.h"
#include "ui/Slider.h"
#include "ui/Window.h"

std::atomic<bigtime_t> fuse_timer{0};
int32 started_fuse_thread = 0;

namespace
{

constexpr bigtime_t kWatchdogPeriod = 250000;
constexpr bigtime_t kTripAge = 2000000;
constexpr bigtime_t kLowestStepPause = 250000;
// How long the watchdog waits for a busy window before it sends the step as a message: short
// beside the trip age, so that its own stamps keep coming.
constexpr bigtime_t kWindowPatience = 100000;

// What the last trip left for the watchdog to show: a polyphony step, or one of these.
constexpr int32 kNoTrip = -1;
constexpr int32 kTripWithoutWindow = -2;
std::atomic<int32> trip_to_show{kNoTrip};
std::atomic<bigtime_t> silent_until{0};

// The audio thread's part of a trip: nothing here waits, allocates or prints.
void choose_lower_step(bigtime_t now)
{
    if (app_window.load() == nullptr || theview == nullptr)
    {
        trip_to_show.store(kTripWithoutWindow);
        return;
    }
    SLIDER* slider = theview->PolyphonySlider();
    int32 step = slider->current_value.load() - 1;
    if (step < 0)
    {
        // Nothing left to take away: give the starved threads the processor for a moment, as
        // silence, without keeping the audio server's other clients waiting for this one.
        silent_until.store(now + kLowestStepPause);
        step = 0;
    }
    // Read by the next trip, which may come before the watchdog has moved the slider.
    slider->current_value.store(step);
    trip_to_show.store(step);
}

// The watchdog's part of a trip: the engine takes the step the callback chose (FluidSynth
// reallocates for a new polyphony, which the callback must not make it do), and the slider shows
// it.
void show_trip()
{
    int32 step = trip_to_show.exchange(kNoTrip);
    if (step == kNoTrip)
        return;
    DEBUG_PRINT("Reducing polyphony");
    if (step == kTripWithoutWindow)
        return;
    BAutolock keep_window(fuse_locker);
    WINDOW* window = app_window.load();
    if (window == nullptr || theview == nullptr)
        return;
    SLIDER* slider = theview->PolyphonySlider();
    // The window thread may hold its lock for long (a SoundFont load): the slider then learns the
    // step from a message, and the watchdog goes back to its stamps.
    if (window->LockWithTimeout(kWindowPatience) == B_OK)
    {
        slider->SetValue(step);
        window->Unlock();
    }
    else
    {
        Synth->SetPoly(PolyphonyVoices(step));
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
        fuse_timer.store(system_time());
        show_trip();
    }
    return B_OK;
}

void StartFuse()
{
    if (started_fuse_thread != 0)
        return;
    started_fuse_thread = 1;
    fuse_timer.store(system_time());
    resume_thread(spawn_thread(fuse_thread, "fuse_thread", B_NORMAL_PRIORITY, nullptr));
}

void FuseCheck()
{
    FuseCheckAt(system_time());
}

bool FuseCheckAt(bigtime_t now)
{
    if (now <= fuse_timer.load() + kTripAge)
        return false;
    choose_lower_step(now);
    // So that the next trip comes 2 s later at the earliest.
    fuse_timer.store(now);
    return true;
}

bool FusePauseActive(bigtime_t now)
{
    return now < silent_until.load(std::memory_order_relaxed);
}
