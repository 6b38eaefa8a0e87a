#include "platform/support/Directories.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

bool is_absolute(const char* path)
{
    return path != nullptr && path[0] == '/';
}

const char* home_directory()
{
    const char* home = std::getenv("HOME");
    if (is_absolute(home))
        return home;
    struct passwd* entry = getpwuid(getuid());
    return entry != nullptr && is_absolute(entry->pw_dir) ? entry->pw_dir : nullptr;
}

// snprintf that reports whether the whole text fitted.
template <typename... Arguments>
bool format_into(char* buffer, size_t size, const char* format, Arguments... arguments)
{
    int length = std::snprintf(buffer, size, format, arguments...);
    return length >= 0 && static_cast<size_t>(length) < size;
}

// mkdir -p with the given mode for the folders it makes.
bool make_folders(const char* path, mode_t mode)
{
    char partial[4096];
    if (!format_into(partial, sizeof(partial), "%s", path))
        return false;
    for (char* slash = partial + 1; *slash != '\0'; slash++)
    {
        if (*slash != '/')
            continue;
        *slash = '\0';
        if (mkdir(partial, mode) != 0 && errno != EEXIST)
            return false;
        *slash = '/';
    }
    return mkdir(partial, mode) == 0 || errno == EEXIST;
}

status_t private_folder(const char* path)
{
    if (mkdir(path, 0700) != 0 && errno != EEXIST)
        return B_NOT_ALLOWED;
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return B_NOT_ALLOWED;
    if ((info.st_mode & 077) != 0 && chmod(path, 0700) != 0)
        return B_NOT_ALLOWED;
    return B_OK;
}

} // namespace

status_t user_settings_directory(char* buffer, size_t size, bool create)
{
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    bool fits;
    if (is_absolute(config_home))
    {
        fits = format_into(buffer, size, "%s", config_home);
    }
    else
    {
        const char* home = home_directory();
        if (home == nullptr)
            return B_NAME_NOT_FOUND;
        fits = format_into(buffer, size, "%s/.config", home);
    }
    if (!fits)
        return B_BAD_VALUE;
    if (create && !make_folders(buffer, 0700))
        return B_NOT_ALLOWED;
    return B_OK;
}

status_t private_temporary_directory(char* buffer, size_t size)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info;
    if (is_absolute(runtime) && lstat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == geteuid() && (info.st_mode & 077) == 0)
    {
        if (!format_into(buffer, size, "%s/harmoloom", runtime))
            return B_BAD_VALUE;
        return private_folder(buffer);
    }
    const char* temporary = std::getenv("TMPDIR");
    if (!is_absolute(temporary))
        temporary = "/tmp";
    if (!format_into(buffer, size, "%s/harmoloom-%u", temporary, static_cast<unsigned>(geteuid())))
        return B_BAD_VALUE;
    return private_folder(buffer);
}

status_t application_path(char* buffer, size_t size)
{
    if (buffer == nullptr || size == 0)
        return B_BAD_VALUE;
    ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    if (length < 0 || static_cast<size_t>(length) >= size - 1)
        return B_BAD_VALUE;
    buffer[length] = '\0';
    return B_OK;
}
