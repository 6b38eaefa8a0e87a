#include "app/EffectPresets.h"

const char REVERB_PRESET_NAMES[REVERB_PRESET_COUNT + 1][32] = {
    "Small Hall",  "Large Hall",    "Dark Hall",    "Light Hall", "Concert Hall",
    "Huge Hall",   "Dark Studio",   "Light Studio", "Dark Room",  "Live Room",
    "Living Room", "Concrete Room", "Bathroom",     "Car Park",   "",
};

const int REVERB_PRESET_PARAMETERS[REVERB_PRESET_COUNT][3] = {
    {18, 20, 21}, {20, 13, 24}, {19, 30, 21}, {18, 10, 21}, {22, 18, 25},
    {27, 18, 25}, {12, 16, 24}, {13, 4, 26},  {8, 22, 21},  {8, 2, 24},
    {6, 4, 26},   {20, 6, 28},  {2, 0, 30},   {22, 24, 28},
};

const char CHORUS_PRESET_NAMES[CHORUS_PRESET_COUNT + 1][32] = {
    "Light Chorus", "Dark Chorus",   "Slight Chorus", "Shimmer Chorus", "Detuned Chorus",
    "Thick Chorus", "Hollow Chorus", "Tremelo",       "Phaser",         "",
};

const int CHORUS_PRESET_PARAMETERS[CHORUS_PRESET_COUNT][3] = {
    {4, 15, 30}, {7, 6, 24},   {3, 4, 27},  {7, 23, 25}, {4, 25, 30},
    {15, 6, 24}, {11, 15, 13}, {0, 30, 30}, {0, 5, 30},
};
