#include "audio/LevelMeter.h"

std::atomic<float> current_meter_level_l{0.0f};
std::atomic<float> current_meter_level_r{0.0f};
std::atomic<float> peak_meter_level_l{0.0f};
std::atomic<float> peak_meter_level_r{0.0f};

namespace
{

// One channel's update; the audio thread is the only writer of the level.
void update_channel(std::atomic<float>& level, std::atomic<float>& peak, float maximum,
                    double divisor)
{
    auto decayed = static_cast<float>(level.load(std::memory_order_relaxed) / divisor);
    float now = maximum > decayed ? maximum : decayed;
    level.store(now, std::memory_order_relaxed);
    if (now > peak.load(std::memory_order_relaxed))
        peak.store(now, std::memory_order_relaxed);
}

} // namespace

void PeakScan(const float* buffer, unsigned long frames, float* max_left, float* max_right)
{
    float left = 0.0f;
    float right = 0.0f;
    for (unsigned long frame = 0; frame < frames; frame++)
    {
        if (buffer[2 * frame] > left)
            left = buffer[2 * frame];
        if (buffer[2 * frame + 1] > right)
            right = buffer[2 * frame + 1];
    }
    *max_left = left;
    *max_right = right;
}

void UpdateMeterLevels(float max_left, float max_right, unsigned long frames, int sample_rate)
{
    // Proportional to the buffer's length, so the decay per second hardly depends on it.
    double constant = sample_rate > 50000 ? 0.00005 : 0.0001;
    double divisor = 1.0 + static_cast<double>(frames) * constant;

    update_channel(current_meter_level_l, peak_meter_level_l, max_left, divisor);
    update_channel(current_meter_level_r, peak_meter_level_r, max_right, divisor);
}

void ClearPeakLevels()
{
    peak_meter_level_l.store(0.0f, std::memory_order_relaxed);
    peak_meter_level_r.store(0.0f, std::memory_order_relaxed);
}
