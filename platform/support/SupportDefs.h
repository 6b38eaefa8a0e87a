// Basic types and status codes of the kit layer. The program's code is written against these
// names; only platform/ knows what lies underneath.
#pragma once

#include <cstdint>

typedef int32_t int32;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef int32 status_t;
typedef int64 bigtime_t; // microseconds
typedef int32 thread_id;
typedef int32 image_id;
typedef unsigned char uchar;

// A time that never comes: no timeout, nothing due.
constexpr bigtime_t B_INFINITE_TIMEOUT = INT64_MAX;

enum : status_t
{
    B_OK = 0,
    B_ERROR = -1,
    B_NO_MEMORY = -2,
    B_BAD_VALUE = -3,
    B_NAME_NOT_FOUND = -4,
    B_BAD_THREAD_ID = -5,
    B_BAD_IMAGE_ID = -6,
    B_NOT_ALLOWED = -7,
    B_MISSING_SYMBOL = -8,
    B_TIMED_OUT = -9,
    B_NO_INIT = -10,
    B_ENTRY_NOT_FOUND = -11,
};
