// The output level the meter shows: each rendered buffer raises the levels at once and lets them
// decay slowly; the peaks hold the highest level since the last clear.
#pragma once

#include <atomic>

// Linear amplitudes, 1.0 being full scale. Atomics, so that the audio thread (which writes them
// all), the window thread (which clears the peaks) and the meter thread (which reads them) share
// them without a lock: a clear that meets a buffer's update may lose to it, which only shows the
// peak one buffer early.
extern std::atomic<float> current_meter_level_l;
extern std::atomic<float> current_meter_level_r;
extern std::atomic<float> peak_meter_level_l;
extern std::atomic<float> peak_meter_level_r;

// The largest left and right samples of an interleaved stereo buffer, from 0.0 up: negative
// samples never raise them and a sample that is not a number never replaces them. Audio thread.
void PeakScan(const float* buffer, unsigned long frames, float* max_left, float* max_right);

// Lets the levels decay by one buffer's worth at the output's rate, raises them to the new
// maxima and the peaks to the levels. Audio thread; real-time safe.
void UpdateMeterLevels(float max_left, float max_right, unsigned long frames, int sample_rate);

// "Clear Peak": both peaks back to 0; the current levels stay. Window thread.
void ClearPeakLevels();
