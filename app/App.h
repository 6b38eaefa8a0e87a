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

// 0 from program load until start-up is complete, then 1; read by the crash handler, on any
// thread (a lock-free atomic is safe to read inside a signal handler).
extern std::atomic<int32_t> crash_has_started;

// Records the program's own file: the running executable's absolute path, so that a start
// through PATH or a desktop entry still finds what lies beside it; argv0 only when the system
// cannot say. Call once, first thing in main.
void SetProgramPath(const char* argv0);
const char* ProgramPath();
