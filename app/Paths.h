// Small string services for file paths and display names.
#pragma once

#include <cstddef>

// Size of the buffer get_path returns; callers may append to the result within it.
constexpr size_t APP_PATH_SIZE = 8192;

// Makes the directory part of path (up to and including its last '/') the working directory.
// A bare file name changes nothing; a directory part too long for the 16384-byte work buffer
// is refused.
void set_path(const char* path);

// The directory part of path, up to and including its last '/', or "./" when there is none.
// The result lives in a shared buffer of APP_PATH_SIZE bytes that the next call overwrites; it
// is empty when the directory part does not fit. Main thread only.
char* get_path(const char* path);

// The file-name part of path: what follows the last '/' that has something after it, or path
// itself. Points into path; null for null.
const char* strip_path(const char* path);
char* strip_path(char* path);

// Cuts a UTF-8 text in place after count characters, never inside a character. 1 when it cut,
// 0 when the text was short enough (or null).
int trim_string(char* text, unsigned long count);
