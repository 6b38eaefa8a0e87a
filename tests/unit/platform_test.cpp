// The kit layer: locks, add-ons, threads, folders and alerts.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/interface/Alert.h"
#include "platform/support/AddOn.h"
#include "platform/support/Directories.h"
#include "platform/support/Locker.h"
#include "platform/support/RealtimeLock.h"
#include "platform/support/Threads.h"
#include "tests/support/TestSupport.h"

namespace
{

std::string folder_of(status_t (*find)(char*, size_t))
{
    char buffer[4096];
    return find(buffer, sizeof(buffer)) == B_OK ? buffer : "refused";
}

std::string settings_folder()
{
    return folder_of([](char* buffer, size_t size)
                     { return user_settings_directory(buffer, size, false); });
}

mode_t mode_of(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

} // namespace

TEST(Locker, IsRecursiveAndExcludesOtherThreads)
{
    BLocker locker;
    auto elsewhere = [&locker]
    {
        status_t status = B_ERROR;
        std::thread(
            [&]
            {
                status = locker.LockWithTimeout(20000);
                if (status == B_OK)
                    locker.Unlock();
            })
            .join();
        return status == B_OK;
    };
    ASSERT_TRUE(locker.Lock());
    ASSERT_TRUE(locker.Lock()); // the holder may take it again
    locker.Unlock();
    EXPECT_FALSE(elsewhere()) << "released once of twice: still held";
    locker.Unlock();
    EXPECT_TRUE(elsewhere());

    // An infinite wait lasts until the holder lets go (its deadline once wrapped into the past).
    std::atomic<bool> held{false};
    std::thread holder(
        [&]
        {
            locker.Lock();
            held = true;
            snooze(50000);
            locker.Unlock();
        });
    while (!held)
        snooze(1000);
    EXPECT_EQ(locker.LockWithTimeout(B_INFINITE_TIMEOUT), B_OK);
    locker.Unlock();
    holder.join();
}

// The audio thread only tries the lock, counts like any holder and gives up after its patience;
// a render loop that takes it back at once keeps no ordinary thread waiting for more than a
// render or two (the bound leaves room for a preempted thread: a starving loop makes thousands).
TEST(RealtimeLock, TheRenderSideTriesAndCannotStarveTheOthers)
{
    RealtimeLock lock;
    lock.Lock();
    EXPECT_EQ(lock.TryLockFor(0), B_OK);
    EXPECT_EQ(lock.CountLocks(), 2);
    lock.Unlock();
    status_t elsewhere = B_OK;
    std::thread([&] { elsewhere = lock.TryLockFor(2000); }).join();
    EXPECT_EQ(elsewhere, B_TIMED_OUT) << "released once of twice: still held";
    lock.Unlock();

    std::atomic<bool> stop{false};
    std::atomic<long> renders{0};
    long shared = 0;
    long most_renders_waited = 0;
    std::thread render(
        [&]
        {
            while (!stop)
                if (lock.TryLockFor(B_INFINITE_TIMEOUT) == B_OK)
                {
                    renders++;
                    shared++;
                    for (bigtime_t end = system_time() + 200; system_time() < end;)
                        ; // rendering
                    lock.Unlock();
                }
        });
    for (int turn = 0; turn < 200; turn++)
    {
        long before = renders;
        RealtimeAutolock hold(lock);
        most_renders_waited = std::max(most_renders_waited, renders - before);
        shared -= 1000;
    }
    stop = true;
    render.join();
    EXPECT_LE(most_renders_waited, 100);
    EXPECT_EQ(shared, renders - 200 * 1000) << "a change was lost";
}

// A spawned thread runs once resumed and stops while suspended. Any library of the process may
// fail a load next, and that frees the text dlerror gave.
TEST(Threads, RunOnceResumedStopWhileSuspendedAndAnAddOnsErrorTextOutlivesTheNextFailedLoad)
{
    static std::atomic<int> count{0};
    static std::atomic<bool> stop{false};
    auto count_until_stopped = [](void*) -> status_t
    {
        for (; !stop; count++)
            snooze(1000);
        return B_OK;
    };
    thread_id thread = spawn_thread(count_until_stopped, "fuse_thread", B_NORMAL_PRIORITY, nullptr);
    ASSERT_EQ(find_thread("fuse_thread"), thread);
    snooze(30000);
    EXPECT_EQ(count, 0) << "ran before resume_thread";
    ASSERT_EQ(resume_thread(thread), B_OK);
    ASSERT_TRUE(Eventually([&] { return count > 3; }, 5));
    ASSERT_EQ(suspend_thread(thread), B_OK);
    int held = count;
    snooze(100000);
    EXPECT_EQ(count, held);
    ASSERT_EQ(resume_thread(thread), B_OK);
    EXPECT_TRUE(Eventually([&] { return count > held + 3; }, 5));
    stop = true;
    EXPECT_TRUE(Eventually([] { return find_thread("fuse_thread") == B_NAME_NOT_FOUND; }, 5));
    EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_ID);
    EXPECT_EQ(suspend_thread(thread), B_BAD_THREAD_ID);

    ASSERT_LT(load_add_on("/no/such/first.so"), 0);
    const char* error = add_on_error();
    EXPECT_EQ(dlopen("/no/such/second.so", RTLD_NOW), nullptr);
    dlerror();
    EXPECT_NE(std::string(error).find("/no/such/first.so"), std::string::npos) << error;
}

// (An absolute XDG_CONFIG_HOME is where every program test has its settings.)
TEST(Directories, SettingsFolderIsInHomeWhenXdgIsUnsetOrRelativeAndThePrivateOneOursAlone)
{
    TemporaryFolder folder;
    setenv("HOME", folder.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/is/not/allowed", 1);
    EXPECT_EQ(settings_folder(), folder.File(".config"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settings_folder(), folder.File(".config"));

    TemporaryFolder runtime;
    TemporaryFolder temporary;
    chmod(runtime.Path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    EXPECT_EQ(folder_of(private_temporary_directory), runtime.File("harmoloom"));
    EXPECT_EQ(mode_of(runtime.File("harmoloom")), 0700u);
    // A runtime folder that others may write to is no private folder: the fallback is used.
    chmod(runtime.Path().c_str(), 0777);
    setenv("TMPDIR", temporary.Path().c_str(), 1);
    std::string fallback = temporary.File("harmoloom-" + std::to_string(geteuid()));
    EXPECT_EQ(folder_of(private_temporary_directory), fallback);
    chmod(fallback.c_str(), 0777);
    EXPECT_EQ(folder_of(private_temporary_directory), fallback);
    EXPECT_EQ(mode_of(fallback), 0700u) << "opened up by someone: closed again";
    // A link or a file planted where our folder would be is refused, not followed.
    std::filesystem::remove(fallback);
    std::filesystem::create_directory_symlink(temporary.Path(), fallback);
    EXPECT_EQ(folder_of(private_temporary_directory), "refused");
    std::filesystem::remove(fallback);
    WriteFile(fallback, "a file, not a folder");
    EXPECT_EQ(folder_of(private_temporary_directory), "refused");
    std::filesystem::remove(fallback);
    if (geteuid() == 0) // someone else's folder under our name
    {
        std::filesystem::create_directory(fallback);
        ASSERT_EQ(chown(fallback.c_str(), 65534, 65534), 0);
        EXPECT_EQ(folder_of(private_temporary_directory), "refused");
    }
}

// Each in a process of its own, which ends with the answers of three alerts as its status. (How
// an alert shows without a display is in every alert the program tests match.)
TEST(AlertDeathTest, AnswersComeFromTheEnvironmentElseWithoutADisplayTheLastButton)
{
    auto three_alerts = [](const char* answers, const char* display)
    {
        answers != nullptr ? setenv("HARMOLOOM_ALERT_ANSWERS", answers, 1)
                           : unsetenv("HARMOLOOM_ALERT_ANSWERS");
        display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
        int status = 0;
        for (int alert = 0; alert < 3; alert++)
            status =
                status * 3 +
                (new BAlert("t", "Sorry.", "A", "B", "C", B_WIDTH_AS_USUAL, B_STOP_ALERT))->Go();
        _exit(status);
    };
    EXPECT_EXIT(three_alerts("1, 0,7", nullptr), ::testing::ExitedWithCode(1 * 9 + 0 + 2),
                "Answered \\[1\\] \"B\" \\(HARMOLOOM_ALERT_ANSWERS\\)");
    EXPECT_EXIT(three_alerts("x", nullptr), ::testing::ExitedWithCode(26), "") << "used up";
    EXPECT_EXIT(three_alerts(nullptr, ":98765"), ::testing::ExitedWithCode(26), "no display");
}
