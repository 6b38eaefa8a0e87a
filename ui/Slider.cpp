#include "ui/Slider.h"

#include <cmath>
#include <cstdio>

#include "app/Settings.h"
#include "engine/Harmoloom.h"

namespace
{

// A return level: off at 0, else (v - 30) x 1.5 + 12 dB, in single precision.
float return_level_db(int32 value)
{
    return static_cast<float>(value - SLIDER_STEPS) * 1.5f + 12.0f;
}

double fraction(int32 v)
{
    return v / static_cast<double>(SLIDER_STEPS);
}

double return_level(int32 v)
{
    return v == 0 ? 0.0 : static_cast<float>(std::pow(10.0, return_level_db(v) / 20.0));
}

// How the label shows a position: not at all, as a percentage of the scale, as the engine's value
// in whole numbers or tenths, or as a return level in dB.
enum class Shown
{
    Nothing,
    Percent,
    Whole,
    Tenths,
    ReturnLevel,
};

// What one kind of slider does with its position: where it is kept, how it is labelled, the
// engine's value and where that goes; a linear level is kept in level as well.
struct Behaviour
{
    setting::Index stored;
    const char* format;
    Shown shown;
    double (*convert)(int32 v);
    void (*apply)(HARMOLOOM& engine, double value);
    bool linear_level;
};

const Behaviour kBehaviours[] = {
    {setting::reverb_room_size, "Room Size: %d%%", Shown::Percent, fraction,
     [](HARMOLOOM& engine, double value) { engine.SetReverbSize(value); }, false},
    {setting::reverb_damping, "Damping: %d%%", Shown::Percent, fraction,
     [](HARMOLOOM& engine, double value) { engine.SetReverbDamping(value); }, false},
    {setting::reverb_width, "Width: %d%%", Shown::Percent, fraction,
     [](HARMOLOOM& engine, double value) { engine.SetReverbWidth(value); }, false},
    {setting::reverb_level, "Return Level: %2.1fdB", Shown::ReturnLevel, return_level,
     [](HARMOLOOM& engine, double value) { engine.SetReverbLevel(value); }, true},
    {setting::chorus_voices, "Voices: %d", Shown::Whole,
     [](int32 v) { return static_cast<double>(v); },
     [](HARMOLOOM& engine, double value) { engine.SetChorusVoices(static_cast<int>(value)); },
     false},
    {setting::chorus_frequency, "Frequency %1.1fHz", Shown::Tenths,
     [](int32 v) { return fraction(v) * 4.8 + 0.1; },
     [](HARMOLOOM& engine, double value) { engine.SetChorusFreq(value); }, false},
    {setting::chorus_depth, "Depth: %d%%", Shown::Percent, fraction,
     [](HARMOLOOM& engine, double value) { engine.SetChorusDepth(value); }, false},
    {setting::chorus_level, "Return Level: %2.1fdB", Shown::ReturnLevel, return_level,
     [](HARMOLOOM& engine, double value) { engine.SetChorusLevel(value); }, true},
    {setting::output_level_db, nullptr, Shown::Nothing,
     [](int32 v) { return double{static_cast<float>(std::pow(10.0, v / 20.0))}; },
     [](HARMOLOOM& engine, double value) { engine.SetGain(static_cast<float>(value)); }, true},
    {setting::polyphony_step, "Polyphony: %d voices", Shown::Whole,
     [](int32 v) { return static_cast<double>(PolyphonyVoices(v)); },
     [](HARMOLOOM& engine, double value) { engine.SetPoly(static_cast<int>(value)); }, false},
};

// The label for a position, into text.
void write_label(char* text, size_t size, const Behaviour& behaviour, int32 v, double value)
{
    switch (behaviour.shown)
    {
    case Shown::Nothing:
        break;
    case Shown::Percent:
        std::snprintf(text, size, behaviour.format, static_cast<int>(v * 100 / SLIDER_STEPS));
        break;
    case Shown::Whole:
        std::snprintf(text, size, behaviour.format, static_cast<int>(value));
        break;
    case Shown::Tenths:
        std::snprintf(text, size, behaviour.format, value);
        break;
    case Shown::ReturnLevel:
        if (v == 0)
            std::snprintf(text, size, "Return Level: OFF");
        else
            std::snprintf(text, size, behaviour.format, static_cast<double>(return_level_db(v)));
        break;
    }
}

} // namespace

SLIDER::SLIDER(BRect frame, const char* name, const char* label, int32 minimum, int32 maximum,
               int slider_kind)
    : BSlider(frame, name, label, nullptr, minimum, maximum, B_BLOCK_THUMB), label_text{}, level(0),
      kind(slider_kind)
{
}

void SLIDER::SetValue(int32 value)
{
    BSlider::SetValue(value);
    int32 v = Value();
    current_value.store(v);
    if (kind < SLIDER_ROOM_SIZE || kind > SLIDER_POLYPHONY)
        return;
    const Behaviour& behaviour = kBehaviours[kind - SLIDER_ROOM_SIZE];
    settings[behaviour.stored] = v;
    double converted = behaviour.convert(v);
    if (behaviour.linear_level)
        level = static_cast<float>(converted);
    if (behaviour.shown != Shown::Nothing)
    {
        write_label(label_text, sizeof(label_text), behaviour, v, converted);
        SetLabel(label_text);
    }
    behaviour.apply(*Synth, behaviour.linear_level ? double{level} : converted);
}
