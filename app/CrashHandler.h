// What happens when the program crashes: a dialog, and during start-up the offer to reset the
// settings, which may be what makes every start crash.
#pragma once

// Works out the files the handler uses (it may not allocate once a crash is under way) and
// installs it for SIGSEGV, SIGFPE and SIGILL. After SetProgramPath.
void InstallCrashHandler();

// The handler. Never returns: the process ends with status 1.
void crash(int signal_number);
