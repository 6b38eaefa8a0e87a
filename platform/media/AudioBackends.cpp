#include "platform/media/AudioBackend.h"

const AudioBackendEntry kAudioBackends[] = {
    {"jack", 10, make_jack_backend},
    {"pulse", 1, make_pulse_backend},
    {"alsa", 1, make_alsa_backend},
};

const size_t kAudioBackendCount = sizeof(kAudioBackends) / sizeof(kAudioBackends[0]);
