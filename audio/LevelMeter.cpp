#include "audio/LevelMeter.h"

float current_meter_level_l = 0.0f;
float current_meter_level_r = 0.0f;
float peak_meter_level_l = 0.0f;
float peak_meter_level_r = 0.0f;

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

    BAutolock hold(meter_level_locker);
    current_meter_level_l = static_cast<float>(current_meter_level_l / divisor);
    current_meter_level_r = static_cast<float>(current_meter_level_r / divisor);
    if (max_left > current_meter_level_l)
        current_meter_level_l = max_left;
    if (max_right > current_meter_level_r)
        current_meter_level_r = max_right;
    if (current_meter_level_l > peak_meter_level_l)
        peak_meter_level_l = current_meter_level_l;
    if (current_meter_level_r > peak_meter_level_r)
        peak_meter_level_r = current_meter_level_r;
}

void ClearPeakLevels()
{
    BAutolock hold(meter_level_locker);
    peak_meter_level_l = 0.0f;
    peak_meter_level_r = 0.0f;
}
