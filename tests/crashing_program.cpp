// The program itself, with a thread that makes it crash for real (a write through a null
// pointer) at a chosen moment: HARMOLOOM_TEST_CRASH_AT=startup crashes once the status window of
// the start-up is open, =running once the start-up is complete. Only the crash tests build it.
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/App.h"
#include "app/ProgramMain.h"
#include "platform/Threads.h"
#include "ui/StatusWindow.h"

namespace
{

// A real fault, which the undefined-behaviour checker of a sanitizer build must not take first.
__attribute__((no_sanitize("undefined"))) void crash_when(bool (*moment)())
{
    while (!moment())
        snooze(1000);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

bool starting()
{
    return __atomic_load_n(&statuswindow, __ATOMIC_ACQUIRE) != nullptr &&
           __atomic_load_n(&crash_has_started, __ATOMIC_ACQUIRE) == 0;
}

bool running()
{
    return __atomic_load_n(&crash_has_started, __ATOMIC_ACQUIRE) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* moment = std::getenv("HARMOLOOM_TEST_CRASH_AT");
    if (moment != nullptr && std::strcmp(moment, "startup") == 0)
        std::thread(crash_when, starting).detach();
    else if (moment != nullptr && std::strcmp(moment, "running") == 0)
        std::thread(crash_when, running).detach();
    return HarmoloomMain(argc, argv);
}
