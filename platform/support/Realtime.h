// Marks a function that an audio server calls on its real-time thread; it stands after the
// parameter list. Built with clang and
// -fsanitize=realtime (RealtimeSanitizer), every call in it, and in what it calls, that may
// allocate, block or wait is reported at run time; other builds ignore the mark.
#pragma once

#if defined(__clang__) && __clang_major__ >= 20
#define HARMOLOOM_NONBLOCKING [[clang::nonblocking]]
#else
#define HARMOLOOM_NONBLOCKING
#endif
