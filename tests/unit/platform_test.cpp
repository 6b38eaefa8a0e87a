// The kit layer: locks, threads, add-ons, folders, alerts and the application's loop.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/app/Application.h"
#include "platform/interface/Alert.h"
#include "platform/support/AddOn.h"
#include "platform/support/Directories.h"
#include "platform/support/Locker.h"
#include "platform/support/Threads.h"
#include "tests/support/TestSupport.h"

namespace
{

std::string thread_name(thread_id thread)
{
    std::string comm = ReadFile("/proc/self/task/" + std::to_string(thread) + "/comm");
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return comm;
}

mode_t mode_of(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Sets or removes environment variables for the life of a scope.
class Environment
{
public:
    void Set(const char* name, const std::string& value)
    {
        Remember(name);
        setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name)
    {
        Remember(name);
        unsetenv(name);
    }
    ~Environment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        {
            if (it->second.has_value())
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    void Remember(const char* name)
    {
        const char* value = getenv(name);
        saved_.emplace_back(name,
                            value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

struct Counter
{
    std::atomic<int> count{0};
    std::atomic<thread_id> seen_id{0};
    std::atomic<bool> stop{false};
};

status_t count_until_stopped(void* data)
{
    auto* counter = static_cast<Counter*>(data);
    counter->seen_id = find_thread(nullptr);
    while (!counter->stop)
    {
        counter->count++;
        snooze(1000);
    }
    return B_OK;
}

bool wait_until(const std::function<bool()>& condition, bigtime_t timeout = 5000000)
{
    bigtime_t end = system_time() + timeout;
    while (system_time() < end)
    {
        if (condition())
            return true;
        snooze(1000);
    }
    return condition();
}

} // namespace

TEST(Locker, IsRecursiveAndExcludesOtherThreads)
{
    BLocker locker;
    ASSERT_TRUE(locker.Lock());
    ASSERT_TRUE(locker.Lock()); // the holder may take it again

    std::atomic<bool> acquired{false};
    std::thread other(
        [&]
        {
            locker.Lock();
            acquired = true;
            locker.Unlock();
        });
    locker.Unlock();
    snooze(50000);
    EXPECT_FALSE(acquired) << "released once of twice: still held";
    locker.Unlock();
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(Threads, SpawnedThreadWaitsForResumeAndCarriesItsName)
{
    Counter counter;
    thread_id thread =
        spawn_thread(count_until_stopped, "meter_thread", B_NORMAL_PRIORITY, &counter);
    ASSERT_GT(thread, 0);
    EXPECT_EQ(thread_name(thread), "meter_thread");
    EXPECT_EQ(find_thread("meter_thread"), thread);
    snooze(30000);
    EXPECT_EQ(counter.count, 0) << "ran before resume_thread";

    ASSERT_EQ(resume_thread(thread), B_OK);
    ASSERT_TRUE(wait_until([&] { return counter.count > 3; }));
    EXPECT_EQ(counter.seen_id, thread) << "find_thread(NULL) names the calling thread";

    counter.stop = true;
    ASSERT_TRUE(wait_until([&] { return find_thread("meter_thread") == B_NAME_NOT_FOUND; }));
}

TEST(Threads, SuspendedThreadStopsAtItsNextSnoozeUntilResumed)
{
    Counter counter;
    thread_id thread =
        spawn_thread(count_until_stopped, "fuse_thread", B_NORMAL_PRIORITY, &counter);
    ASSERT_EQ(resume_thread(thread), B_OK);
    ASSERT_TRUE(wait_until([&] { return counter.count > 3; }));

    ASSERT_EQ(suspend_thread(find_thread("fuse_thread")), B_OK);
    snooze(50000);
    int held = counter.count;
    snooze(100000);
    EXPECT_EQ(counter.count, held);

    ASSERT_EQ(resume_thread(thread), B_OK);
    EXPECT_TRUE(wait_until([&] { return counter.count > held + 3; }));
    counter.stop = true;
    wait_until([&] { return find_thread("fuse_thread") == B_NAME_NOT_FOUND; });
}

TEST(Threads, UnknownThreadsAreReported)
{
    EXPECT_EQ(find_thread("no such thread"), B_NAME_NOT_FOUND);
    EXPECT_EQ(resume_thread(999999999), B_BAD_THREAD_ID);
    EXPECT_EQ(suspend_thread(999999999), B_BAD_THREAD_ID);
    EXPECT_EQ(spawn_thread(nullptr, "x", B_NORMAL_PRIORITY, nullptr), B_BAD_VALUE);
}

TEST(Threads, PrioritiesMapOntoTheScheduler)
{
    std::atomic<int> policy_at_10{-1};
    std::atomic<int> policy_at_20{-1};
    std::atomic<int> status_at_20{B_ERROR};
    std::atomic<int> nice_at_20{0};
    std::thread worker(
        [&]
        {
            thread_id self = find_thread(nullptr);
            EXPECT_EQ(set_thread_priority(self, B_NORMAL_PRIORITY), B_OK);
            policy_at_10 = sched_getscheduler(0);
            status_at_20 = set_thread_priority(self, B_URGENT_DISPLAY_PRIORITY);
            policy_at_20 = sched_getscheduler(0);
            nice_at_20 = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
        });
    worker.join();
    EXPECT_EQ(policy_at_10, SCHED_OTHER);
    if (status_at_20 == B_OK)
        EXPECT_TRUE(policy_at_20 == SCHED_RR || nice_at_20 < 0) << "raised, as reported";
    else
        EXPECT_EQ(status_at_20, B_NOT_ALLOWED);
}

TEST(Clock, SnoozeSleepsAtLeastAsLongAsAsked)
{
    bigtime_t before = system_time();
    snooze(20000);
    bigtime_t slept = system_time() - before;
    EXPECT_GE(slept, 20000);
    EXPECT_GT(system_time(), before);
}

TEST(AddOn, LoadsLibrariesAndFindsTheirSymbols)
{
    EXPECT_LT(load_add_on("/no/such/library.so"), 0);
    TemporaryFolder folder;
    WriteFile(folder.File("not-a-library"), "just text");
    EXPECT_LT(load_add_on(folder.File("not-a-library").c_str()), 0);
    EXPECT_LT(load_add_on(nullptr), 0);

    image_id image = load_add_on(HARMOLOOM_FLUIDSYNTH_LINK);
    ASSERT_GT(image, 0);
    void* address = nullptr;
    EXPECT_EQ(get_image_symbol(image, "new_fluid_settings", B_SYMBOL_TYPE_ANY, &address), B_OK);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(get_image_symbol(image, "no_such_symbol", B_SYMBOL_TYPE_ANY, &address),
              B_MISSING_SYMBOL);
    EXPECT_EQ(get_image_symbol(image + 1000, "new_fluid_settings", B_SYMBOL_TYPE_ANY, &address),
              B_BAD_IMAGE_ID);
    EXPECT_EQ(unload_add_on(image), B_OK);
    EXPECT_EQ(unload_add_on(image), B_BAD_IMAGE_ID);
    EXPECT_EQ(get_image_symbol(image, "new_fluid_settings", B_SYMBOL_TYPE_ANY, &address),
              B_BAD_IMAGE_ID);
}

TEST(Directories, SettingsFolderFollowsXdgThenHome)
{
    Environment environment;
    TemporaryFolder folder;
    char buffer[4096];

    environment.Set("XDG_CONFIG_HOME", folder.File("xdg/config"));
    ASSERT_EQ(user_settings_directory(buffer, sizeof(buffer), false), B_OK);
    EXPECT_EQ(std::string(buffer), folder.File("xdg/config"));
    EXPECT_FALSE(FileExists(folder.File("xdg/config")));
    ASSERT_EQ(user_settings_directory(buffer, sizeof(buffer), true), B_OK);
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("xdg/config")));

    environment.Set("XDG_CONFIG_HOME", "relative/is/not/allowed");
    environment.Set("HOME", folder.Path());
    ASSERT_EQ(user_settings_directory(buffer, sizeof(buffer), false), B_OK);
    EXPECT_EQ(std::string(buffer), folder.File(".config"));

    environment.Unset("XDG_CONFIG_HOME");
    ASSERT_EQ(user_settings_directory(buffer, sizeof(buffer), false), B_OK);
    EXPECT_EQ(std::string(buffer), folder.File(".config"));
    EXPECT_EQ(user_settings_directory(buffer, 8, false), B_BAD_VALUE);
}

TEST(Directories, PrivateFolderIsOursAlone)
{
    Environment environment;
    TemporaryFolder runtime;
    TemporaryFolder temporary;
    char buffer[4096];
    chmod(runtime.Path().c_str(), 0700);

    environment.Set("XDG_RUNTIME_DIR", runtime.Path());
    ASSERT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_OK);
    EXPECT_EQ(std::string(buffer), runtime.File("harmoloom"));
    EXPECT_EQ(mode_of(buffer), 0700u);

    // A runtime folder that others may write to is no private folder: the fallback is used.
    chmod(runtime.Path().c_str(), 0777);
    environment.Set("TMPDIR", temporary.Path());
    std::string fallback = temporary.File("harmoloom-" + std::to_string(geteuid()));
    ASSERT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_OK);
    EXPECT_EQ(std::string(buffer), fallback);
    EXPECT_EQ(mode_of(fallback), 0700u);

    environment.Unset("XDG_RUNTIME_DIR");
    chmod(fallback.c_str(), 0777);
    ASSERT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_OK);
    EXPECT_EQ(mode_of(fallback), 0700u) << "opened up by someone: closed again";

    // A link planted where our folder would be is refused, not followed.
    std::filesystem::remove(fallback);
    std::filesystem::create_directories(temporary.File("planted"));
    std::filesystem::create_directory_symlink(temporary.File("planted"), fallback);
    EXPECT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_NOT_ALLOWED);
    std::filesystem::remove(fallback);

    WriteFile(fallback, "a file, not a folder");
    EXPECT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_NOT_ALLOWED);
    std::filesystem::remove(fallback);

    if (geteuid() == 0)
    {
        // Someone else's folder under our name.
        std::filesystem::create_directory(fallback);
        ASSERT_EQ(chown(fallback.c_str(), 65534, 65534), 0);
        EXPECT_EQ(private_temporary_directory(buffer, sizeof(buffer)), B_NOT_ALLOWED);
    }
}

TEST(Directories, ApplicationPathIsTheRunningProgram)
{
    char buffer[4096];
    ASSERT_EQ(application_path(buffer, sizeof(buffer)), B_OK);
    EXPECT_EQ(std::string(buffer), std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_EQ(application_path(buffer, 4), B_BAD_VALUE);
}

// Alerts run in child processes: the scripted answers are taken in order once per process.
TEST(AlertDeathTest, ScriptedAnswersAreTakenInOrder)
{
    EXPECT_EXIT(
        {
            setenv("HARMOLOOM_ALERT_ANSWERS", "2, 0,7,x", 1);
            unsetenv("DISPLAY");
            int first = (new BAlert("noload", "text", "Exit", "Try", "Continue"))->Go();
            int second = (new BAlert("noload", "text", "Exit", "Try", "Continue"))->Go();
            int third = (new BAlert("t", "out of range", "A", "B"))->Go();
            int fourth = (new BAlert("t", "not a number", "A", "B", "C"))->Go();
            int fifth = (new BAlert("t", "list used up", "A", "B"))->Go();
            bool right = first == 2 && second == 0 && third == 1 && fourth == 2 && fifth == 1;
            _exit(right ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "Answered \\[2\\] \"Continue\" \\(HARMOLOOM_ALERT_ANSWERS\\)");
}

TEST(AlertDeathTest, WithoutDisplayTheAlertIsWrittenAndTakesItsLastButton)
{
    EXPECT_EXIT(
        {
            unsetenv("HARMOLOOM_ALERT_ANSWERS");
            unsetenv("DISPLAY");
            int answer = (new BAlert("failed", "Sorry, it went wrong.", "Restore to defaults", "OK",
                                     nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
                             ->Go();
            _exit(answer == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "Alert \"failed\" \\(stop\\):\nSorry, it went wrong.\nButtons: \\[0\\] \"Restore to "
        "defaults\" \\[1\\] \"OK\"\nAnswered \\[1\\] \"OK\" \\(no display\\)");
}

TEST(AlertDeathTest, UnreachableDisplayCountsAsNone)
{
    EXPECT_EXIT(
        {
            unsetenv("HARMOLOOM_ALERT_ANSWERS");
            setenv("DISPLAY", ":98765", 1);
            int answer = (new BAlert("t", "x", "A", "B", "C"))->Go();
            _exit(answer);
        },
        ::testing::ExitedWithCode(2), "no display");
}

namespace
{

class CountingApplication : public BApplication
{
public:
    CountingApplication() : BApplication("application/x-vnd.test") {}
    bool QuitRequested() override { return ++requests >= 2; }
    std::atomic<int> requests{0};
};

} // namespace

TEST(Application, RunEndsWhenAQuitRequestIsGranted)
{
    CountingApplication application;
    EXPECT_EQ(be_app, &application);
    std::thread poster(
        [&]
        {
            application.PostMessage(B_QUIT_REQUESTED); // refused: the loop goes on
            application.PostMessage(B_QUIT_REQUESTED);
        });
    application.Run();
    poster.join();
    EXPECT_EQ(application.requests, 2);
}

TEST(Application, SignalsPostQuitRequests)
{
    for (int signal_number : {SIGTERM, SIGINT})
    {
        CountingApplication application;
        std::thread sender(
            [signal_number]
            {
                snooze(20000);
                kill(getpid(), signal_number);
                snooze(20000);
                kill(getpid(), signal_number);
            });
        application.Run();
        sender.join();
        EXPECT_EQ(application.requests, 2) << "signal " << signal_number;
    }
    EXPECT_EQ(be_app, nullptr);
}
