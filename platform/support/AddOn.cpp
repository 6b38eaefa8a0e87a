#include "platform/support/AddOn.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>

namespace
{

// Image ids are indexes into this table, plus one. Libraries are loaded a handful of times per
// run at most, so a small fixed table serves.
constexpr int kMaxImages = 64;

struct ImageTable
{
    std::mutex mutex;
    void* handles[kMaxImages] = {};
};

ImageTable& images()
{
    static ImageTable table;
    return table;
}

// A copy: the text dlerror() returns is freed by its next call, wherever that comes from.
thread_local char last_error[512] = "";

void set_error(const char* text)
{
    std::snprintf(last_error, sizeof(last_error), "%s", text != nullptr ? text : "unknown error");
}

void* handle_of(image_id image)
{
    if (image <= 0 || image > kMaxImages)
        return nullptr;
    ImageTable& table = images();
    std::lock_guard<std::mutex> guard(table.mutex);
    return table.handles[image - 1];
}

} // namespace

image_id load_add_on(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return B_BAD_VALUE;
    // Unloading only forgets the image; its code stays mapped. Libraries built on GLib's type
    // system (FluidSynth among them) hang when loaded a second time after a real unload.
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        set_error(dlerror());
        return B_ERROR;
    }
    ImageTable& table = images();
    std::lock_guard<std::mutex> guard(table.mutex);
    for (int index = 0; index < kMaxImages; index++)
    {
        if (table.handles[index] == nullptr)
        {
            table.handles[index] = handle;
            return index + 1;
        }
    }
    dlclose(handle);
    set_error("too many add-ons loaded");
    return B_NO_MEMORY;
}

status_t get_image_symbol(image_id image, const char* name, int32 /*symbol_type*/, void** location)
{
    void* handle = handle_of(image);
    if (handle == nullptr)
        return B_BAD_IMAGE_ID;
    if (name == nullptr || location == nullptr)
        return B_BAD_VALUE;
    dlerror();
    void* address = dlsym(handle, name);
    const char* error = dlerror();
    if (error != nullptr || address == nullptr)
    {
        set_error(error != nullptr ? error : "symbol has a null address");
        return B_MISSING_SYMBOL;
    }
    *location = address;
    return B_OK;
}

status_t unload_add_on(image_id image)
{
    if (image <= 0 || image > kMaxImages)
        return B_BAD_IMAGE_ID;
    ImageTable& table = images();
    std::lock_guard<std::mutex> guard(table.mutex);
    void* handle = table.handles[image - 1];
    if (handle == nullptr)
        return B_BAD_IMAGE_ID;
    table.handles[image - 1] = nullptr;
    dlclose(handle);
    return B_OK;
}

void* loaded_library_symbol(const char* library, const char* name)
{
    void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return nullptr;
    void* address = dlsym(handle, name);
    dlclose(handle); // only drops the count RTLD_NOLOAD added
    return address;
}

const char* add_on_error()
{
    return last_error;
}
