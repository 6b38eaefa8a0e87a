// The application object: its constructor is the program's start-up, its destructor the
// second half of the shutdown.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/app/Application.h"

class APP : public BApplication
{
public:
    APP();
    ~APP() override;
};

class WINDOW;

// Ends the process at once (ExitNow) with the settings saved as the window's close would leave
// them, for an end that cannot wait for that close: the window, when there is one, records what
// it shows first. The notice, when there is one, goes to standard error once the file is written.
[[noreturn]] void SaveSettingsAndExit(WINDOW* window, int status, const char* notice = nullptr);

// 0 from program load until start-up is complete, then 1; read by the crash handler, on any
// thread (a lock-free atomic is safe to read inside a signal handler).
extern std::atomic<int32_t> crash_has_started;

// Records the program's own file: the running executable's absolute path, so that a start
// through PATH or a desktop entry still finds what lies beside it; argv0 only when the system
// cannot say. Call once, first thing in main.
void SetProgramPath(const char* argv0);
const char* ProgramPath();
