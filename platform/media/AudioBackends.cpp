#include "platform/media/AudioBackend.h"

const AudioBackendEntry kAudioBackends[] = {
    {"jack", make_jack_backend},
    {"pulse", make_pulse_backend},
    {"alsa", make_alsa_backend},
};

const size_t kAudioBackendCount = sizeof(kAudioBackends) / sizeof(kAudioBackends[0]);
