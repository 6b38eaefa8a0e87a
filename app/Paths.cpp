#include "app/Paths.h"

#include <unistd.h>

#include <cstring>

namespace
{

char app_path[APP_PATH_SIZE];

// Index of the last '/' in path, or -1.
long last_slash(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? -1 : slash - path;
}

} // namespace

void set_path(const char* path)
{
    char directory[16384] = {};
    if (path == nullptr || path[0] == '\0')
        return;
    long slash = last_slash(path);
    if (slash > 0)
    {
        if (static_cast<size_t>(slash) + 1 >= sizeof(directory))
            return;
        std::memcpy(directory, path, static_cast<size_t>(slash) + 1);
        directory[slash + 1] = '\0';
        if (chdir(directory) != 0)
            return; // later relative paths resolve from wherever we are
    }
    else if (slash == 0)
    {
        if (chdir("/") != 0)
            return;
    }
}

char* get_path(const char* path)
{
    long slash = (path == nullptr || path[0] == '\0') ? -1 : last_slash(path);
    if (slash < 0)
    {
        std::strcpy(app_path, "./");
        return app_path;
    }
    size_t length = static_cast<size_t>(slash) + 1;
    if (length >= sizeof(app_path))
    {
        app_path[0] = '\0';
        return app_path;
    }
    std::memcpy(app_path, path, length);
    app_path[length] = '\0';
    return app_path;
}

const char* strip_path(const char* path)
{
    if (path == nullptr)
        return nullptr;
    const char* name = path;
    for (const char* p = path; *p != '\0'; p++)
    {
        if (p[0] == '/' && p[1] != '\0')
            name = p + 1;
    }
    return name;
}

char* strip_path(char* path)
{
    return const_cast<char*>(strip_path(static_cast<const char*>(path)));
}

int trim_string(char* text, unsigned long count)
{
    if (text == nullptr)
        return 0;
    unsigned long passed = 0;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != '\0'; p++)
    {
        bool begins_character = *p < 0x80 || *p >= 0xC0;
        if (!begins_character)
            continue;
        if (passed == count)
        {
            *p = '\0';
            return 1;
        }
        passed++;
    }
    return 0;
}
