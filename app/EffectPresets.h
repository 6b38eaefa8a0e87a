// The reverb and chorus presets, as slider positions. Row 0 of each also gives the settings'
// defaults, so the two can never disagree.
#pragma once

constexpr int REVERB_PRESET_COUNT = 14;
constexpr int CHORUS_PRESET_COUNT = 9;

// Names end with an empty entry.
extern const char REVERB_PRESET_NAMES[REVERB_PRESET_COUNT + 1][32];
extern const int REVERB_PRESET_PARAMETERS[REVERB_PRESET_COUNT][3]; // room size, damping, width
extern const char CHORUS_PRESET_NAMES[CHORUS_PRESET_COUNT + 1][32];
extern const int CHORUS_PRESET_PARAMETERS[CHORUS_PRESET_COUNT][3]; // voices, frequency, depth
