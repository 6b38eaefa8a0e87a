// Telling a WAV recording from any other file.
#pragma once

#include <cstdio>

struct WaveFormat
{
    unsigned long data_length = 0;
    unsigned long bits_per_sample = 0;
    unsigned short channels = 0;
    unsigned long sample_rate = 0;
};

// Whether the open file is a RIFF WAVE file with PCM (or extensible) format and a non-empty data
// chunk; if so its format is filled in and the file stands at the first sample. Channels, bits
// and rate are not judged here.
bool ProbeWave(FILE* file, WaveFormat* format);
