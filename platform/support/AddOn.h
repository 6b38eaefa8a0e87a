// Run-time loading of shared libraries ("add-ons") and look-up of their symbols.
#pragma once

#include "platform/support/SupportDefs.h"

enum : int32
{
    B_SYMBOL_TYPE_DATA = 1,
    B_SYMBOL_TYPE_TEXT = 2,
    B_SYMBOL_TYPE_ANY = 5,
};

// Loads the library at path (a path with a '/' is taken as it stands, relative ones from the
// working directory). Returns a positive image id, or a negative status when the file is missing
// or is not a loadable library. Main thread; not real-time safe.
image_id load_add_on(const char* path);

// Stores the address of the named symbol in *location. B_OK, or B_MISSING_SYMBOL when the image
// has no such symbol, or B_BAD_IMAGE_ID.
status_t get_image_symbol(image_id image, const char* name, int32 symbol_type, void** location);

// Releases an image loaded by load_add_on; its symbols must not be used afterwards. The code
// itself stays mapped until the process ends, so that the library can be loaded again.
status_t unload_add_on(image_id image);

// The address of the named symbol in a library the process has loaded already, by the name the
// dynamic linker knows it by ("libglib-2.0.so.0", a library of an add-on's), or null. Never
// loads the library.
void* loaded_library_symbol(const char* library, const char* name);

// Why the last load_add_on or get_image_symbol on this thread failed, for the debug trace.
const char* add_on_error();
