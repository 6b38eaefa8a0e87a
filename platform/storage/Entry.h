// Files by reference and by path: what a message carries to name a file, and how that becomes a
// path the program can open. Plain values: any thread, one object at a time; not real-time safe
// (they allocate, and BEntry asks the file system).
#pragma once

#include <string>
#include <utility>

#include "platform/support/SupportDefs.h"

// A reference to a file: here simply its path as it was given.
struct entry_ref
{
    std::string path;
    entry_ref() = default;
    explicit entry_ref(std::string p) : path(std::move(p)) {}
};

class BPath
{
public:
    const char* Path() const { return path_.empty() ? nullptr : path_.c_str(); }
    void SetTo(const std::string& path) { path_ = path; }

private:
    std::string path_;
};

class BEntry
{
public:
    // With traverse, a link is followed to the file it names. B_ENTRY_NOT_FOUND when the
    // reference is empty or names nothing.
    status_t SetTo(const entry_ref* ref, bool traverse = false);
    status_t InitCheck() const { return status_; }
    status_t GetPath(BPath* path) const;

private:
    std::string path_;
    status_t status_ = B_NO_INIT;
};
