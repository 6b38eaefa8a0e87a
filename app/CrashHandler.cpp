#include "app/CrashHandler.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/App.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "platform/support/Directories.h"
#include "platform/support/Threads.h"

namespace
{

// Everything the handler needs is prepared beforehand: inside it only system calls are made
// (write, unlink, open, read, fork, execv, waitpid, _exit).
char alert_command[PATH_MAX];
char dialogue_path[PATH_MAX];

const char kRunningCrashText[] =
    "Sorry, but an unexpected error has occurred. Unfortunately Harmoloom must now close. The "
    "problem may be traceable to one of the soundfont files. Apologies for any inconvenience "
    "caused.";
const char kStartupCrashText[] =
    "Unfortunately, an error occurred while Harmoloom was starting up. If you are experiencing "
    "this error every time you try to start Harmoloom, you may wish to try restoring the settings "
    "to the factory defaults -- click 'restore to defaults' below. Please note that doing this "
    "will clear all your settings, including which soundfonts were last in-use.";

// Starts the alert command with standard output on output_fd. The command prints the label of
// the pressed button, for a person at a terminal; ours is no place for it.
pid_t start_alert(const char* const* arguments, int output_fd)
{
    // The system call itself, not the library's fork(): that one runs the handlers registered
    // to run around a fork, which a crashed process cannot be trusted with (and which a
    // sanitizer's runtime uses to take locks the crashed thread may hold).
#ifdef SYS_fork
    auto child = static_cast<pid_t>(syscall(SYS_fork));
#else
    // Architectures without fork (aarch64, riscv64) have clone do it: no new stack, only the
    // signal that tells the parent of the child's end.
    auto child = static_cast<pid_t>(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
#endif
    if (child == 0)
    {
        dup2(output_fd, STDOUT_FILENO);
        execv(alert_command, const_cast<char* const*>(arguments));
        syscall(SYS_exit_group, 127); // no library code in a copy of a crashed process
    }
    return child;
}

bool fits(int length, size_t size)
{
    return length >= 0 && static_cast<size_t>(length) < size;
}

} // namespace

void InstallCrashHandler()
{
    // A path that does not fit is left empty rather than cut: a cut one names another file.
    if (!fits(std::snprintf(alert_command, sizeof(alert_command), "%sSupport Files/Tools/alert",
                            get_path(ProgramPath())),
              sizeof(alert_command)))
        alert_command[0] = '\0';
    char folder[PATH_MAX - 32];
    if (private_temporary_directory(folder, sizeof(folder)) == B_OK)
        std::snprintf(dialogue_path, sizeof(dialogue_path), "%s/harmoloomerrordialogue.txt",
                      folder);
    SettingsFilePath(); // worked out now: the reset uses it from inside the handler
    use_alternate_signal_stack();

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = crash;
    sigemptyset(&action.sa_mask);
    // A crash inside the handler ends the process the ordinary way. The handler runs on the
    // thread's alternate stack, which every thread of ours has: an overflowed stack has no room.
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGFPE, &action, nullptr);
    sigaction(SIGILL, &action, nullptr);
}

static_assert(std::atomic<int32_t>::is_always_lock_free, "read inside the signal handler");

void crash(int)
{
    static const char kInvoked[] = "Crash handler invoked";
    ssize_t written = write(STDOUT_FILENO, kInvoked, sizeof(kInvoked) - 1);
    (void)written;

    if (crash_has_started != 0)
    {
        // Shown in the background: the alert outlives us.
        const char* const arguments[] = {"alert", "--stop", kRunningCrashText, nullptr};
        int discard_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
        start_alert(arguments, discard_fd >= 0 ? discard_fd : STDERR_FILENO);
        _exit(1);
    }

    if (dialogue_path[0] == '\0')
        _exit(1);
    // Only an answer given now may reset the settings, never one left from an earlier crash.
    unlink(dialogue_path);
    int answer_fd =
        open(dialogue_path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (answer_fd < 0)
        _exit(1);
    const char* const arguments[] = {
        "alert", "--stop", kStartupCrashText, "Restore Settings and Exit", "Just Exit", nullptr};
    pid_t child = start_alert(arguments, answer_fd);
    close(answer_fd);
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }

    int read_fd = open(dialogue_path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (read_fd < 0)
        _exit(1);
    char first = 0;
    ssize_t got = read(read_fd, &first, 1);
    close(read_fd);
    if (got == 1 && first == 'R')
        RestoreDefaultSettings();
    _exit(1);
}
