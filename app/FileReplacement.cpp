#include "app/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace
{

// The letters mkstemp draws from, so that both ways leave names of one pattern.
const char kSuffixLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kSuffixLength = 6;

bool write_all(int fd, const unsigned char* data, size_t size)
{
    while (size > 0)
    {
        ssize_t written = write(fd, data, size);
        if (written < 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Overwrites the last six characters of path with letters of the suffix set.
void draw_suffix(char* path)
{
    unsigned char bytes[kSuffixLength];
    if (getrandom(bytes, sizeof(bytes), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(bytes)))
    {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        auto clock = static_cast<unsigned long long>(now.tv_nsec) ^
                     (static_cast<unsigned long long>(getpid()) << 32);
        for (unsigned char& byte : bytes)
        {
            byte = static_cast<unsigned char>(clock);
            clock = clock * 6364136223846793005ULL + 1442695040888963407ULL;
        }
    }
    char* suffix = path + std::strlen(path) - kSuffixLength;
    for (size_t index = 0; index < kSuffixLength; index++)
        suffix[index] = kSuffixLetters[bytes[index] % (sizeof(kSuffixLetters) - 1)];
}

// Gives the unnamed file open as fd a free name of the pattern in temporary.
bool link_unnamed(int fd, char* temporary)
{
    char handle[32];
    std::snprintf(handle, sizeof(handle), "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < 100; attempt++)
    {
        draw_suffix(temporary);
        if (linkat(AT_FDCWD, handle, AT_FDCWD, temporary, AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

enum class Written
{
    named,
    failed,
    refused, // unnamed files (or naming them through /proc) are not to be had here
};

Written write_unnamed(const char* folder, char* temporary, const unsigned char* data, size_t size)
{
    int fd = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return Written::refused;
    if (!write_all(fd, data, size) || fsync(fd) != 0)
    {
        close(fd); // the file goes with its last descriptor
        return Written::failed;
    }
    Written result = link_unnamed(fd, temporary) ? Written::named : Written::refused;
    if (close(fd) != 0 && result == Written::named)
    {
        unlink(temporary);
        return Written::failed;
    }
    return result;
}

bool write_named(char* temporary, const unsigned char* data, size_t size)
{
    int fd = mkstemp(temporary);
    if (fd < 0)
        return false;
    bool written = write_all(fd, data, size) && fsync(fd) == 0;
    written = (close(fd) == 0) && written;
    if (!written)
        unlink(temporary);
    return written;
}

void sync_folder(const char* folder)
{
    int directory = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0)
    {
        fsync(directory);
        close(directory);
    }
}

bool is_stray_name(const char* entry, const char* name)
{
    size_t length = std::strlen(name);
    if (std::strncmp(entry, name, length) != 0 || entry[length] != '.' ||
        std::strlen(entry + length + 1) != kSuffixLength)
        return false;
    return std::strspn(entry + length + 1, kSuffixLetters) == kSuffixLength;
}

} // namespace

bool ReplaceFileContents(const char* target, const char* name, const unsigned char* data,
                         size_t size)
{
    char folder[PATH_MAX];
    std::snprintf(folder, sizeof(folder), "%s", target);
    char* slash = std::strrchr(folder, '/');
    if (slash == nullptr)
        std::snprintf(folder, sizeof(folder), ".");
    else if (slash == folder)
        slash[1] = '\0';
    else
        *slash = '\0';

    char temporary[PATH_MAX + 16];
    std::snprintf(temporary, sizeof(temporary), "%s/%s.XXXXXX", folder, name);
    Written written = write_unnamed(folder, temporary, data, size);
    if (written == Written::refused)
        written = write_named(temporary, data, size) ? Written::named : Written::failed;
    if (written != Written::named)
        return false;
    if (std::rename(temporary, target) != 0)
    {
        unlink(temporary);
        return false;
    }
    sync_folder(folder); // so that the rename itself survives a power cut
    return true;
}

void RemoveStrayCopies(const char* folder, const char* name)
{
    DIR* directory = opendir(folder);
    if (directory == nullptr)
        return;
    uid_t user = getuid();
    while (const dirent* entry = readdir(directory))
    {
        struct stat info;
        if (is_stray_name(entry->d_name, name) &&
            fstatat(dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == user)
            unlinkat(dirfd(directory), entry->d_name, 0);
    }
    closedir(directory);
}
