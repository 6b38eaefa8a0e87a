#include "platform/storage/Entry.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

status_t BEntry::SetTo(const entry_ref* ref, bool traverse)
{
    path_.clear();
    status_ = B_ENTRY_NOT_FOUND;
    if (ref == nullptr || ref->path.empty())
        return status_;
    struct stat info;
    if (traverse)
    {
        char resolved[PATH_MAX];
        if (realpath(ref->path.c_str(), resolved) == nullptr)
            return status_;
        path_ = resolved;
    }
    else
    {
        if (lstat(ref->path.c_str(), &info) != 0)
            return status_;
        path_ = ref->path;
    }
    status_ = B_OK;
    return status_;
}

status_t BEntry::GetPath(BPath* path) const
{
    if (status_ != B_OK || path == nullptr)
        return B_NO_INIT;
    path->SetTo(path_);
    return B_OK;
}
