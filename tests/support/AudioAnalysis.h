// Measurements on rendered audio: pitch, level.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

// The fundamental frequency of a mono signal in Hz (YIN), searched between low_hz and high_hz;
// 0 when no period is found.
double FundamentalFrequency(const std::vector<float>& mono, double sample_rate, double low_hz = 50,
                            double high_hz = 2000);

inline double CentsBetween(double from_hz, double to_hz)
{
    return 1200.0 * std::log2(to_hz / from_hz);
}

// Root mean square of samples [begin, end).
double Rms(const std::vector<float>& samples, size_t begin, size_t end);

// The left or right channel (0 or 1) of interleaved stereo, or their mean (2).
std::vector<float> Channel(const std::vector<float>& interleaved, int which, size_t first_frame = 0,
                           size_t frames = static_cast<size_t>(-1));
