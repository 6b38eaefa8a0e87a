#include "engine/FluidLog.h"

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <mutex>

#include "app/Debug.h"
#include "engine/FluidBinding.h"
#include "platform/support/AddOn.h"

namespace
{

constexpr int kError = 1;      // and 0, a panic: both are errors to us
constexpr int kDebug = 4;      // as 2 and 3, a warning and a note: the debug trace
constexpr int kLevelCount = 5; // panic, error, warning, info, debug

// Copies text after the used bytes of line, as much as fits with one byte left for the newline.
size_t append(char* line, size_t used, size_t size, const char* text)
{
    while (text != nullptr && *text != '\0' && used + 1 < size)
        line[used++] = *text++;
    return used;
}

void write_line(int fd, const char* prefix, const char* message)
{
    char line[1024];
    size_t used = append(line, 0, sizeof(line), prefix);
    used = append(line, used, sizeof(line), message);
    line[used++] = '\n';
    ssize_t written = write(fd, line, used);
    (void)written; // nowhere left to report a failed report
}

// Lines of the deferring thread, waiting to be written: one producer, and one flusher at a time.
struct WaitingLine
{
    int fd;
    char text[240];
};
constexpr size_t kWaiting = 32;
WaitingLine waiting[kWaiting];
std::atomic<size_t> waiting_head{0}; // written by the deferring thread
std::atomic<size_t> waiting_tail{0}; // written by the flusher
std::mutex flusher;
thread_local bool deferring = false;

void defer_line(int fd, const char* prefix, const char* message)
{
    size_t head = waiting_head.load(std::memory_order_relaxed);
    if (head - waiting_tail.load(std::memory_order_acquire) == kWaiting)
        return;
    WaitingLine& line = waiting[head % kWaiting];
    line.fd = fd;
    size_t used = append(line.text, 0, sizeof(line.text), prefix);
    used = append(line.text, used, sizeof(line.text), message);
    line.text[used] = '\0';
    waiting_head.store(head + 1, std::memory_order_release);
}

void log_line(int fd, const char* prefix, const char* message)
{
    if (deferring)
        defer_line(fd, prefix, message);
    else
        write_line(fd, prefix, message);
}

} // namespace

void DeferFluidLogOnThisThread()
{
    deferring = true;
}

void FlushFluidLog()
{
    std::lock_guard<std::mutex> hold(flusher);
    size_t tail = waiting_tail.load(std::memory_order_relaxed);
    while (tail != waiting_head.load(std::memory_order_acquire))
    {
        const WaitingLine& line = waiting[tail % kWaiting];
        write_line(line.fd, "", line.text);
        waiting_tail.store(++tail, std::memory_order_release);
    }
}

void FluidLogMessage(int level, const char* message, void*)
{
    if (level <= kError)
        log_line(STDERR_FILENO, "Harmoloom: FluidSynth: ", message);
    else if (DebugEnabled())
        log_line(STDOUT_FILENO, "DEBUG: FluidSynth: ", message);
}

namespace
{

// GLib's error level, as a bit of its flags.
constexpr int kGLibError = 1 << 2;

// Messages of GLib and of the libraries on it that FluidSynth uses (libinstpatch: a failed
// assertion about a file that is no SoundFont). Only GLib's errors, which end the process, are
// errors to us; its criticals and warnings are about files the alerts already report, and go
// with everything else to the debug trace.
void glib_log_message(const char* domain, int flags, const char* message, void*)
{
    int level = (flags & kGLibError) != 0 ? kError : kDebug;
    char line[1024];
    size_t used = append(line, 0, sizeof(line), domain != nullptr ? domain : "GLib");
    used = append(line, used, sizeof(line), ": ");
    used = append(line, used, sizeof(line), message);
    line[used] = '\0';
    FluidLogMessage(level, line, nullptr);
}

// GLib comes with FluidSynth (it is not linked to the program): its default log handler is set
// once the library is loaded.
void route_glib_log()
{
    using Handler = void (*)(const char*, int, const char*, void*);
    using SetDefaultHandler = Handler (*)(Handler, void*);
    auto set_default_handler = reinterpret_cast<SetDefaultHandler>(
        loaded_library_symbol("libglib-2.0.so.0", "g_log_set_default_handler"));
    if (set_default_handler != nullptr)
        set_default_handler(glib_log_message, nullptr);
}

} // namespace

void RouteFluidLog()
{
    route_glib_log();
    if (hook_fluid_set_log_function == nullptr)
        return;
    for (int level = 0; level < kLevelCount; level++)
        hook_fluid_set_log_function(level, FluidLogMessage, nullptr);
}
