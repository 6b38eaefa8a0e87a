// How the stored audio choices turn into a sample rate and a buffer size. Start-up, the audio
// output and the MIDI note-off delay must agree on these, so they are computed only here.
#pragma once

// sample_rate_index 0..3 give 32000, 44100, 48000 and 88200 Hz; every other value 96000 Hz.
int SampleRateForIndex(int sample_rate_index);

// Frames per audio buffer for a timing_index at a sample rate: 256/128/64/64 up to 50000 Hz,
// 512/256/128/64 above it, the last column also for any unknown index.
int FramesPerBuffer(int timing_index, int sample_rate);
