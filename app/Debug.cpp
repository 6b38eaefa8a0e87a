#include "app/Debug.h"

#include <cstdio>
#include <cstring>
#include <string>

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

    // The line is put together here and handed to the stream in one call, under the stream's
    // own lock, so lines of two threads never mix.
    std::string line = "DEBUG: ";
    if (std::strstr(message, "%d") == nullptr)
    {
        line += message;
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
                line += std::to_string(value);
                value_printed = true;
                p++;
            }
            else if (p[0] == '%' && p[1] == '%')
            {
                line += '%';
                p++;
            }
            else
            {
                line += *p;
            }
        }
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

bool DebugEnabled()
{
    return enabled != 0;
}

std::string FailureCause(const char* reasons)
{
    std::string cause = reasons != nullptr ? reasons : "";
    while (!cause.empty() && (cause.back() == ' ' || cause.back() == ';'))
        cause.pop_back();
    return cause;
}
