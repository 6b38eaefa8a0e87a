// The folders the program keeps its files in, and its own location.
#pragma once

#include <cstddef>

#include "platform/support/SupportDefs.h"

// The user's settings folder: $XDG_CONFIG_HOME, else ~/.config. With create, missing folders
// are made (mode 0700). B_BAD_VALUE when the path does not fit into size bytes with its NUL.
status_t user_settings_directory(char* buffer, size_t size, bool create);

// A folder only this user can reach, for files with fixed names: $XDG_RUNTIME_DIR/harmoloom,
// else $TMPDIR (or /tmp)/harmoloom-UID. It is created with mode 0700 when missing and refused
// (B_NOT_ALLOWED) when it is a link, not a folder, someone else's, or open to others: a fixed
// name in a shared folder could otherwise be a link planted by another user.
status_t private_temporary_directory(char* buffer, size_t size);

// The absolute path of the running program file, whichever way it was started.
status_t application_path(char* buffer, size_t size);
