// The CPU-overload fuse with the real window, audio thread and watchdog: when it trips, by how
// much, how often, and that a trip waiting for the window never holds up the output's stop.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "audio/Fuse.h"
#include "platform/support/Threads.h"
#include "tests/support/WindowRig.h"
#include "ui/MainView.h"
#include "ui/Window.h"

namespace
{

std::unique_ptr<WindowRig> rig;
constexpr bigtime_t kPatience = 1333; // a quarter of 256 frames at 48 kHz

bool eventually(const std::function<bool()>& condition)
{
    for (int tries = 0; tries < 1000 && !condition(); tries++)
        snooze(5000);
    return condition();
}

class Fuse : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { rig = std::make_unique<WindowRig>(); }
    static void TearDownTestSuite() { rig.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(rig->Ready());
        ASSERT_EQ(settings[setting::cutout], 1) << "on by default";
        slider = rig->Window()->MainPage()->PolyphonySlider();
        SetPolyphony(14);
        rig->EngineCalls();
    }

    void SetPolyphony(int32 step)
    {
        rig->Window()->Lock();
        slider->SetValue(step);
        rig->Window()->Unlock();
    }

    int32 Polyphony()
    {
        rig->Window()->Lock();
        int32 value = slider->Value();
        rig->Window()->Unlock();
        return value;
    }

    static bigtime_t Stamp()
    {
        BAutolock hold(fuse_locker);
        return fuse_timer;
    }

    // Threads of this process with the given name.
    static int ThreadsNamed(const char* name)
    {
        int count = 0;
        DIR* tasks = opendir("/proc/self/task");
        while (dirent* task = readdir(tasks))
        {
            if (task->d_name[0] == '.')
                continue;
            std::string comm = ReadFile(std::string("/proc/self/task/") + task->d_name + "/comm");
            if (comm == std::string(name) + "\n")
                count++;
        }
        closedir(tasks);
        return count;
    }

    SLIDER* slider = nullptr;
};

TEST_F(Fuse, TripsOnlyWhenTheStampIsMoreThanTwoSecondsOld)
{
    bigtime_t stamp = Stamp();
    EXPECT_FALSE(FuseCheckAt(stamp + 2000000, kPatience));
    EXPECT_EQ(Polyphony(), 14);

    bigtime_t before = system_time();
    EXPECT_TRUE(FuseCheckAt(Stamp() + 2000001, kPatience));
    EXPECT_EQ(Polyphony(), 13);
    EXPECT_EQ(settings[setting::polyphony_step], 13);
    EXPECT_STREQ(slider->Label(), "Polyphony: 120 voices");
    EXPECT_EQ(rig->EngineCalls(), Calls{"fluid_synth_set_polyphony(120)"});
    EXPECT_GE(Stamp(), before) << "a trip renews the stamp";
}

TEST_F(Fuse, AtTheLowestStepATripPausesTheAudioThreadInstead)
{
    SetPolyphony(0);
    rig->EngineCalls();
    bigtime_t before = system_time();
    EXPECT_TRUE(FuseCheckAt(Stamp() + 3000000, kPatience));
    EXPECT_GE(system_time() - before, 250000);
    EXPECT_EQ(Polyphony(), 0);
    EXPECT_EQ(rig->EngineCalls(), Calls{"fluid_synth_set_polyphony(16)"}) << "16 voices again";
}

TEST_F(Fuse, AStarvedWatchdogCostsOneStepPerTwoSeconds)
{
    thread_id watchdog = find_thread("fuse_thread");
    ASSERT_GT(watchdog, 0);
    // The audio thread checks on every buffer; only the watchdog is held back.
    ASSERT_EQ(suspend_thread(watchdog), B_OK);
    snooze(2100000);
    resume_thread(watchdog);
    snooze(500000);
    EXPECT_EQ(Polyphony(), 13) << "exactly one trip";
    EXPECT_EQ(rig->EngineCalls(), Calls{"fluid_synth_set_polyphony(120)"});
}

TEST_F(Fuse, TheWatchdogIsStartedOncePerProcess)
{
    EXPECT_EQ(ThreadsNamed("fuse_thread"), 1);
    StartFuse();
    StartAudio(48000, 256, rig->Window()->MainPage()); // the output runs: nothing happens
    EXPECT_EQ(ThreadsNamed("fuse_thread"), 1);
    EXPECT_EQ(started_fuse_thread, 1);
}

TEST_F(Fuse, ATripNeverWaitsForABusyWindowAndTheSliderFollowsWhenItIsFree)
{
    // The window thread's part of the shutdown: it holds the window's lock and stops the output,
    // while the callback trips.
    thread_id watchdog = find_thread("fuse_thread");
    ASSERT_EQ(suspend_thread(watchdog), B_OK);
    rig->Window()->Lock();
    fuse_locker.Lock();
    fuse_timer = system_time() - 10000000;
    fuse_locker.Unlock();
    ASSERT_TRUE(eventually([&] { return slider->current_value.load() == 13; }));

    auto stopped = std::async(std::launch::async, [] { StopAudio(); });
    if (stopped.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
    {
        ADD_FAILURE() << "the output's stop waits for the tripped callback, which waits for it";
        std::_Exit(1); // nothing can end this process in order any more
    }
    EXPECT_EQ(player, nullptr);
    EXPECT_EQ(slider->Value(), 14) << "nothing touched the slider without the window's lock";
    Calls calls = rig->EngineCalls();
    ASSERT_FALSE(calls.empty()) << "the engine has the new polyphony before the window does";
    EXPECT_EQ(calls[0], "fluid_synth_set_polyphony(120)");
    rig->Window()->Unlock();
    resume_thread(watchdog);
    EXPECT_TRUE(eventually([&] { return Polyphony() == 13; }));
    EXPECT_STREQ(slider->Label(), "Polyphony: 120 voices");
}

} // namespace
