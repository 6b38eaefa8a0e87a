// The program itself, with a thread that makes it crash for real (a write through a null
// pointer) at a chosen moment: HARMOLOOM_TEST_CRASH_AT=startup crashes 0.2 s after the start,
// well inside the start-up (whose last steps alone pause for 0.65 s), =running once the start-up
// is complete. Only the crash tests build it.
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/App.h"
#include "app/ProgramMain.h"
#include "platform/Threads.h"

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

bigtime_t started_at = system_time();

bool starting()
{
    return system_time() - started_at > 200000;
}

bool running()
{
    return crash_has_started.load() != 0;
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
