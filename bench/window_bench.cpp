// What the window costs: the meter thread's processor time while the window is shown and notes
// play, a refresh of the Channels page (its lights, rows and menus), and the time to rebuild the
// Soundfonts list with 128 rows or to add one file to a table of 127. The window is built in this
// process on an X server of its own (Xvfb), with its audio on a JACK server of its own, and the
// real FluidSynth.
//
//   build/bench/window_bench [meter seconds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/Harmoloom.h"
#include "platform/app/EventLoop.h"
#include "platform/support/Threads.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WindowRig.h"
#include "ui/ChannelsView.h"
#include "ui/SoundfontsView.h"
#include "ui/Window.h"

namespace
{

// Processor time of one of our threads, in seconds, from the kernel's per-thread clock.
double thread_cpu_seconds(pid_t thread)
{
    // The clock id the kernel gives a thread by its id (what pthread_getcpuclockid makes).
    auto clock = static_cast<clockid_t>((~static_cast<unsigned>(thread) << 3) | 6);
    timespec used{};
    if (clock_gettime(clock, &used) != 0)
        return 0;
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

// The id of our thread with the given name, or 0.
pid_t thread_named(const char* name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    {
        if (ReadFile(task.path().string() + "/comm") == std::string(name) + "\n")
            return static_cast<pid_t>(std::stol(task.path().filename().string()));
    }
    return 0;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs work on the window thread as a message would, and waits until the widgets are up to date.
double time_on_window_thread(WINDOW* window, const std::function<void()>& work)
{
    auto start = std::chrono::steady_clock::now();
    run_on_event_loop(
        [&]
        {
            window->Lock();
            work();
            window->Unlock();
        },
        true);
    run_on_event_loop([] {}, true); // the widgets' update was queued behind the work
    run_on_event_loop([] {}, true); // and the drawing comes with the loop's next turn
    return seconds_since(start);
}

} // namespace

int main(int argc, char** argv)
{
    double meter_seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    VirtualDisplay display;
    if (!display.Running())
    {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    WindowRig rig(HARMOLOOM_FLUIDSYNTH_LINK, display.Name());
    if (!rig.Ready())
    {
        std::fprintf(stderr, "the window could not be built\n");
        return 1;
    }
    WINDOW* window = rig.Window();
    SFVIEW* page = window->SoundfontsPage();

    // The meter while a chord plays, so that the bars move.
    page->AddFile(TIMGM6MB_SOUNDFONT);
    for (int key : {48, 55, 60, 64, 67})
        Synth->NoteOn(0, key, 100);
    pid_t meter = thread_named("meter_thread");
    pid_t window_thread = thread_named("window");
    snooze(500000);
    double meter_before = thread_cpu_seconds(meter);
    double window_before = thread_cpu_seconds(window_thread);
    auto start = std::chrono::steady_clock::now();
    snooze(static_cast<bigtime_t>(meter_seconds * 1e6));
    double meter_used = thread_cpu_seconds(meter) - meter_before;
    double window_used = thread_cpu_seconds(window_thread) - window_before;
    double elapsed = seconds_since(start);
    std::printf("meter thread: %.4f s of processor time in %.1f s = %.3f %% of one core "
                "(target under 1 %%)\n",
                meter_used, elapsed, 100.0 * meter_used / elapsed);
    std::printf("window thread meanwhile (drawing the bars on the X server): %.3f %% of one core\n",
                100.0 * window_used / elapsed);

    // The Channels page shown while the chord plays: a refresh (at the meter's cadence), and the
    // listing of the stack's presets (about once a second), unchanged and after a change, which
    // rebuilds every row's menu.
    run_on_event_loop(
        [&]
        {
            window->Lock();
            window->Tabs()->Select(4);
            window->Unlock();
        },
        true);
    CHANNELSVIEW* channels = window->ChannelsPage();
    std::vector<double> refreshes;
    for (int run = 0; run < 25; run++)
        refreshes.push_back(time_on_window_thread(window, [&] { channels->Refresh(); }));
    std::sort(refreshes.begin(), refreshes.end());
    double same = time_on_window_thread(window, [&] { channels->ListPresets(); });
    // A second copy, twice the presets in every menu, once its load (on the loader) is done.
    size_t listed = Synth->ListPresets().size();
    run_on_event_loop([&] { page->AddFile(TIMGM6MB_SOUNDFONT); }, true);
    for (int wait = 0; wait < 3000 && Synth->ListPresets().size() == listed; wait++)
        snooze(10000);
    double rebuilt = time_on_window_thread(window, [&] { channels->ListPresets(); });
    std::printf("Channels page on the window thread: refresh median %.3f ms (of 25), presets "
                "listed unchanged %.1f ms, listed into 16 new menus of twice the SoundFont's "
                "presets %.1f ms\n",
                refreshes[refreshes.size() / 2] * 1e3, same * 1e3, rebuilt * 1e3);
    for (int key : {48, 55, 60, 64, 67})
        Synth->NoteOff(0, key);

    // The list with 128 rows, shown (the Soundfonts page selected), rebuilt whole.
    run_on_event_loop(
        [&]
        {
            window->Lock();
            window->Tabs()->Select(1);
            window->Unlock();
        },
        true);
    for (int slot = 1; slot < SOUNDFONT_SLOTS; slot++)
        std::snprintf(soundfont_paths[slot], SOUNDFONT_PATH_SIZE, "/music/instrument %03d.sf2",
                      slot);
    double first = time_on_window_thread(window, [&] { page->ReAttach(); });
    double best = first;
    for (int run = 0; run < 9; run++)
        best = std::min(best, time_on_window_thread(window, [&] { page->ReAttach(); }));
    std::printf("ReAttach of 128 rows, widgets included: first %.1f ms, best of 10 %.1f ms "
                "(target under 50 ms)\n",
                first * 1e3, best * 1e3);

    // A table of 127 and one more file: the load, then the list rebuilt.
    window->Lock();
    page->RemoveSlot(SOUNDFONT_SLOTS - 1);
    window->Unlock();
    double add = time_on_window_thread(window, [&] { page->AddFile(TIMGM6MB_SOUNDFONT); });
    double rebuild = time_on_window_thread(window, [&] { page->ReAttach(); });
    std::printf("adding one file (%s) to a table of 127: %.1f ms, of which the list %.1f ms\n",
                TIMGM6MB_SOUNDFONT, add * 1e3, rebuild * 1e3);
    return 0;
}
