#include "tests/support/AudioAnalysis.h"

#include <algorithm>
#include <cmath>

double FundamentalFrequency(const std::vector<float>& mono, double sample_rate, double low_hz,
                            double high_hz)
{
    size_t min_lag = static_cast<size_t>(sample_rate / high_hz);
    size_t max_lag = static_cast<size_t>(sample_rate / low_hz) + 2;
    if (mono.size() < 2 * max_lag || min_lag < 2)
        return 0;
    size_t window = mono.size() - max_lag;

    std::vector<double> difference(max_lag + 1, 0.0);
    for (size_t lag = 1; lag <= max_lag; lag++)
    {
        double sum = 0;
        for (size_t index = 0; index < window; index++)
        {
            double delta = static_cast<double>(mono[index]) - mono[index + lag];
            sum += delta * delta;
        }
        difference[lag] = sum;
    }
    // Cumulative mean normalised difference.
    std::vector<double> normalised(max_lag + 1, 1.0);
    double running = 0;
    for (size_t lag = 1; lag <= max_lag; lag++)
    {
        running += difference[lag];
        normalised[lag] = running > 0 ? difference[lag] * static_cast<double>(lag) / running : 1.0;
    }

    size_t best = 0;
    for (size_t lag = min_lag; lag < max_lag; lag++)
    {
        if (normalised[lag] < 0.2)
        {
            while (lag + 1 < max_lag && normalised[lag + 1] < normalised[lag])
                lag++;
            best = lag;
            break;
        }
    }
    if (best == 0)
    {
        best =
            static_cast<size_t>(std::min_element(normalised.begin() + static_cast<long>(min_lag),
                                                 normalised.begin() + static_cast<long>(max_lag)) -
                                normalised.begin());
    }
    // Parabolic interpolation around the minimum.
    double refined = static_cast<double>(best);
    if (best > 1 && best + 1 <= max_lag)
    {
        double a = normalised[best - 1];
        double b = normalised[best];
        double c = normalised[best + 1];
        double curvature = a - 2 * b + c;
        if (curvature > 0)
            refined += 0.5 * (a - c) / curvature;
    }
    return sample_rate / refined;
}

double Rms(const std::vector<float>& samples, size_t begin, size_t end)
{
    end = std::min(end, samples.size());
    if (begin >= end)
        return 0;
    double sum = 0;
    for (size_t index = begin; index < end; index++)
        sum += static_cast<double>(samples[index]) * samples[index];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

std::vector<float> Channel(const std::vector<float>& interleaved, int which, size_t first_frame,
                           size_t frames)
{
    size_t available = interleaved.size() / 2;
    size_t last =
        frames == static_cast<size_t>(-1) ? available : std::min(available, first_frame + frames);
    std::vector<float> out;
    for (size_t frame = first_frame; frame < last; frame++)
    {
        float left = interleaved[2 * frame];
        float right = interleaved[2 * frame + 1];
        out.push_back(which == 0 ? left : (which == 1 ? right : 0.5f * (left + right)));
    }
    return out;
}
