// The program itself, with a thread that makes it crash for real (a write through a null
// pointer) at a chosen moment: HARMOLOOM_TEST_CRASH_AT=startup crashes 0.2 s after the start,
// well inside the start-up (whose last steps alone pause for 0.65 s), =running once the start-up
// is complete; =overflow overflows a stack at the moment of startup. Only the crash tests build it.
#include <cstdlib>
#include <string>
#include <thread>

#include "app/App.h"
#include "app/ProgramMain.h"
#include "platform/support/Threads.h"

namespace
{

bigtime_t started_at = system_time();
volatile int bottom = -1; // never reached; keeps the recursion from being proven endless

__attribute__((noinline)) int deeper(int depth)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return depth == bottom ? 0 : deeper(depth + 1) + frame[0];
}

// A real fault, which the undefined-behaviour checker of a sanitizer build must not take first;
// or a stack overflow on a thread of the program's own making.
__attribute__((no_sanitize("undefined"))) void crash_when(std::string moment)
{
    while (moment == "running" ? crash_has_started.load() == 0
                               : system_time() - started_at <= 200000)
        snooze(1000);
    if (moment == "overflow")
        resume_thread(spawn_thread([](void*) -> status_t { return deeper(0); }, "overflow",
                                   B_NORMAL_PRIORITY, nullptr));
    else
    {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* moment = std::getenv("HARMOLOOM_TEST_CRASH_AT");
    if (moment != nullptr)
        std::thread(crash_when, std::string(moment)).detach();
    return HarmoloomMain(argc, argv);
}
