// SLIDER, the program's slider: setting its value stores the position in the settings, labels
// the slider and applies the converted value to the engine, all at once. It sends no message.
#pragma once

#include <atomic>

#include "platform/interface/Slider.h"

// What a slider stands for.
enum SliderKind
{
    SLIDER_ROOM_SIZE = 1,
    SLIDER_DAMPING = 2,
    SLIDER_WIDTH = 3,
    SLIDER_REVERB_LEVEL = 4,
    SLIDER_CHORUS_VOICES = 5,
    SLIDER_CHORUS_FREQUENCY = 6,
    SLIDER_CHORUS_DEPTH = 7,
    SLIDER_CHORUS_LEVEL = 8,
    SLIDER_OUTPUT_LEVEL = 9,
    SLIDER_POLYPHONY = 10,
};

// The sliders' scale: the effect and polyphony sliders move in this many steps from 0.
constexpr int32 SLIDER_STEPS = 30;

// The voices of a polyphony slider step: 16 at the lowest, 8 more a step.
constexpr int PolyphonyVoices(int32 step)
{
    return 16 + 8 * step;
}

class SLIDER : public BSlider
{
public:
    SLIDER(BRect frame, const char* name, const char* label, int32 minimum, int32 maximum,
           int kind);

    // On the window thread, or on the fuse's watchdog thread while it holds the window's lock;
    // never twice at once. The polyphony reaches the engine without waiting for it.
    void SetValue(int32 value) override;

    // The value last set, for the fuse, whose trip in the audio callback reads and lowers it
    // without the window's lock.
    std::atomic<int32> current_value{0};
    char label_text[64];
    float level; // the last linear level or gain computed
    const int kind;
};
