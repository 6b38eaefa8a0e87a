#include "app/AudioSetup.h"

int SampleRateForIndex(int sample_rate_index)
{
    switch (sample_rate_index)
    {
    case 0:
        return 32000;
    case 1:
        return 44100;
    case 2:
        return 48000;
    case 3:
        return 88200;
    default:
        return 96000;
    }
}

int FramesPerBuffer(int timing_index, int sample_rate)
{
    bool high_rate = sample_rate > 50000;
    switch (timing_index)
    {
    case 0:
        return high_rate ? 512 : 256;
    case 1:
        return high_rate ? 256 : 128;
    case 2:
        return high_rate ? 128 : 64;
    default:
        return 64;
    }
}
