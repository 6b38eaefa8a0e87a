// Measurements on rendered audio: pitch, level.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The fundamental frequency of a mono signal in Hz, searched between low_hz and high_hz; 0 when
// no period is found. YIN: the first lag whose cumulative-mean-normalised difference falls below
// 0.2 (or the smallest one), refined by a parabola through its neighbours.
inline double FundamentalFrequency(const std::vector<float>& mono, double sample_rate,
                                   double low_hz = 50, double high_hz = 2000)
{
    size_t min_lag = static_cast<size_t>(sample_rate / high_hz);
    size_t max_lag = static_cast<size_t>(sample_rate / low_hz) + 2;
    if (mono.size() < 2 * max_lag || min_lag < 2)
        return 0;
    std::vector<double> normalised(max_lag + 1, 1.0);
    double running = 0;
    for (size_t lag = 1; lag <= max_lag; lag++)
    {
        double sum = 0;
        for (size_t index = 0; index + max_lag < mono.size(); index++)
            sum += std::pow(static_cast<double>(mono[index]) - mono[index + lag], 2);
        running += sum;
        normalised[lag] = running > 0 ? sum * static_cast<double>(lag) / running : 1.0;
    }
    auto first = normalised.begin() + static_cast<long>(min_lag);
    auto last = normalised.begin() + static_cast<long>(max_lag);
    auto best = std::find_if(first, last, [](double value) { return value < 0.2; });
    if (best == last)
        best = std::min_element(first, last);
    while (best + 1 < last && best[1] < best[0])
        ++best;
    double refined = static_cast<double>(best - normalised.begin());
    double curvature = best[-1] - 2 * best[0] + best[1];
    if (curvature > 0)
        refined += 0.5 * (best[-1] - best[1]) / curvature;
    return sample_rate / refined;
}

inline double CentsBetween(double from_hz, double to_hz)
{
    return 1200.0 * std::log2(to_hz / from_hz);
}

// Root mean square of samples [begin, end).
inline double Rms(const std::vector<float>& samples, size_t begin, size_t end)
{
    end = std::min(end, samples.size());
    double sum = 0;
    for (size_t index = begin; index < end; index++)
        sum += static_cast<double>(samples[index]) * samples[index];
    return begin < end ? std::sqrt(sum / static_cast<double>(end - begin)) : 0;
}

// The left or right channel (0 or 1) of interleaved stereo, or their mean (2).
inline std::vector<float> Channel(const std::vector<float>& interleaved, int which,
                                  size_t first_frame = 0, size_t frames = static_cast<size_t>(-1))
{
    size_t last =
        std::min(interleaved.size() / 2, first_frame + std::min(frames, interleaved.size()));
    std::vector<float> out;
    for (size_t frame = first_frame; frame < last; frame++)
    {
        float left = interleaved[2 * frame], right = interleaved[2 * frame + 1];
        out.push_back(which == 0 ? left : (which == 1 ? right : 0.5f * (left + right)));
    }
    return out;
}
