#include "platform/support/QuietAlsa.h"

#include <alsa/asoundlib.h>

namespace
{

void no_report(const char*, int, const char*, int, const char*, ...) {}

} // namespace

QuietAlsa::QuietAlsa()
{
    snd_lib_error_set_handler(no_report);
}

QuietAlsa::~QuietAlsa()
{
    snd_lib_error_set_handler(nullptr);
}
