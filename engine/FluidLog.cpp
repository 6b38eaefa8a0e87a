#include "engine/FluidLog.h"

#include <unistd.h>

#include <cstddef>

#include "app/Debug.h"
#include "engine/FluidBinding.h"

namespace
{

constexpr int kError = 1;      // and 0, a panic: both are errors to us
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

} // namespace

void FluidLogMessage(int level, const char* message, void*)
{
    if (level <= kError)
        write_line(STDERR_FILENO, "Harmoloom: FluidSynth: ", message);
    else if (DebugEnabled())
        write_line(STDOUT_FILENO, "DEBUG: FluidSynth: ", message);
}

void RouteFluidLog()
{
    if (hook_fluid_set_log_function == nullptr)
        return;
    for (int level = 0; level < kLevelCount; level++)
        hook_fluid_set_log_function(level, FluidLogMessage, nullptr);
}
