#include "app/Debug.h"

#include <cstdio>
#include <cstring>

namespace
{

// Debug mode; switched on once, from the command line, before any other thread exists.
int enabled = 0;

} // namespace

void DEBUG_PRINT(const char* message, int value)
{
    if (message == nullptr)
    {
        enabled = 1;
        std::fputs("Debug mode enabled\n", stdout);
        std::fflush(stdout);
        return;
    }
    if (enabled == 0)
        return;

    // One line under the stream's lock, so lines of two threads never mix.
    flockfile(stdout);
    fputs_unlocked("DEBUG: ", stdout);
    if (std::strstr(message, "%d") == nullptr)
    {
        fputs_unlocked(message, stdout);
    }
    else
    {
        // The message is a format with one integer. Only "%d" and "%%" are conversions here, so a
        // stray '%' can never make the print read an argument that is not there.
        bool value_printed = false;
        for (const char* p = message; *p != '\0'; p++)
        {
            if (p[0] == '%' && p[1] == 'd' && !value_printed)
            {
                std::fprintf(stdout, "%d", value);
                value_printed = true;
                p++;
            }
            else if (p[0] == '%' && p[1] == '%')
            {
                putc_unlocked('%', stdout);
                p++;
            }
            else
            {
                putc_unlocked(*p, stdout);
            }
        }
    }
    putc_unlocked('\n', stdout);
    fflush_unlocked(stdout);
    funlockfile(stdout);
}
