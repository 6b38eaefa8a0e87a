#include "platform/app/EventLoop.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "platform/interface/Alert.h"
#include "platform/support/Threads.h"

namespace
{

struct Loop
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> work;
    std::thread thread;
    std::thread::id id;
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    bool display = false;
    bool ready = false;
};

Loop& loop()
{
    static Loop instance;
    return instance;
}

std::atomic<void (*)()> display_lost_handler{nullptr};
std::atomic<bool> display_lost{false};

// Xlib calls this when the connection to the display breaks, and ends the process with exit()
// when it returns: exit's destructors would then pull the ground from under the threads still
// running (the window thread's joinable std::thread alone aborts the process). So it never
// returns.
int on_display_lost(Display*)
{
    if (display_lost.exchange(true))
    {
        for (;;)
            pause(); // another thread is ending the process already
    }
    void (*handler)() = display_lost_handler.load();
    if (handler != nullptr)
        handler();
    _exit(1);
}

void drain(Loop& state)
{
    for (;;)
    {
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> hold(state.mutex);
            if (state.work.empty())
                return;
            job = std::move(state.work.front());
            state.work.pop_front();
        }
        job();
    }
}

void run(Loop& state)
{
    pthread_setname_np(pthread_self(), "window");
    state.id = std::this_thread::get_id();
    if (state.display)
    {
        // The first lock both enables FLTK's threading and takes its lock, which this thread
        // then keeps: Fl::wait gives it up while waiting for events.
        Fl::lock();
        fl_open_display();
        XSetIOErrorHandler(on_display_lost); // in place of the toolkit's, which calls exit()
    }
    {
        std::lock_guard<std::mutex> hold(state.mutex);
        state.ready = true;
    }
    state.changed.notify_all();

    while (!state.stopping)
    {
        if (state.display)
        {
            Fl::wait(0.1);
        }
        else
        {
            std::unique_lock<std::mutex> hold(state.mutex);
            state.changed.wait(hold, [&] { return state.stopping || !state.work.empty(); });
        }
        drain(state);
    }
    drain(state);
    if (state.display)
        Fl::unlock();
}

void wake(Loop& state)
{
    if (state.display)
        Fl::awake();
    else
        state.changed.notify_all();
}

} // namespace

void start_event_loop()
{
    Loop& state = loop();
    std::unique_lock<std::mutex> hold(state.mutex);
    if (state.running)
        return;
    state.display = display_available();
    state.ready = false;
    state.stopping = false;
    state.running = true;
    state.thread = std::thread(
        [&state]
        {
            use_alternate_signal_stack();
            run(state);
        });
    state.changed.wait(hold, [&] { return state.ready; });
}

void stop_event_loop()
{
    Loop& state = loop();
    if (!state.running || on_event_loop_thread())
        return;
    {
        std::lock_guard<std::mutex> hold(state.mutex);
        state.stopping = true;
    }
    wake(state);
    state.thread.join();
    state.running = false;
}

bool event_loop_running()
{
    return loop().running;
}

bool on_event_loop_thread()
{
    Loop& state = loop();
    return state.running && std::this_thread::get_id() == state.id;
}

bool event_loop_has_display()
{
    return loop().running && loop().display;
}

void run_on_event_loop(std::function<void()> work, bool wait)
{
    Loop& state = loop();
    if (!state.running || (wait && on_event_loop_thread()))
    {
        work();
        return;
    }
    if (!wait)
    {
        {
            std::lock_guard<std::mutex> hold(state.mutex);
            state.work.push_back(std::move(work));
        }
        wake(state);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
        std::lock_guard<std::mutex> hold(state.mutex);
        state.work.push_back(
            [work = std::move(work), done]
            {
                work();
                done->set_value();
            });
    }
    wake(state);
    finished.wait();
}

void set_display_lost_handler(void (*handler)())
{
    display_lost_handler.store(handler);
}
