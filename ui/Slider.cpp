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
    return static_cast<float>(value - 30) * 1.5f + 12.0f;
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
    int percent = v * 100 / 30;
    switch (kind)
    {
    case SLIDER_ROOM_SIZE:
        settings[setting::reverb_room_size] = v;
        std::snprintf(label_text, sizeof(label_text), "Room Size: %d%%", percent);
        SetLabel(label_text);
        Synth->SetReverbSize(v / 30.0);
        break;
    case SLIDER_DAMPING:
        settings[setting::reverb_damping] = v;
        std::snprintf(label_text, sizeof(label_text), "Damping: %d%%", percent);
        SetLabel(label_text);
        Synth->SetReverbDamping(v / 30.0);
        break;
    case SLIDER_WIDTH:
        settings[setting::reverb_width] = v;
        std::snprintf(label_text, sizeof(label_text), "Width: %d%%", percent);
        SetLabel(label_text);
        Synth->SetReverbWidth(v / 30.0);
        break;
    case SLIDER_REVERB_LEVEL:
    case SLIDER_CHORUS_LEVEL:
    {
        settings[kind == SLIDER_REVERB_LEVEL ? setting::reverb_level : setting::chorus_level] = v;
        if (v == 0)
        {
            std::snprintf(label_text, sizeof(label_text), "Return Level: OFF");
            level = 0.0f;
        }
        else
        {
            float db = return_level_db(v);
            std::snprintf(label_text, sizeof(label_text), "Return Level: %2.1fdB",
                          static_cast<double>(db));
            level = static_cast<float>(std::pow(10.0, db / 20.0));
        }
        SetLabel(label_text);
        if (kind == SLIDER_REVERB_LEVEL)
            Synth->SetReverbLevel(level);
        else
            Synth->SetChorusLevel(level);
        break;
    }
    case SLIDER_CHORUS_VOICES:
        settings[setting::chorus_voices] = v;
        std::snprintf(label_text, sizeof(label_text), "Voices: %d", static_cast<int>(v));
        SetLabel(label_text);
        Synth->SetChorusVoices(v);
        break;
    case SLIDER_CHORUS_FREQUENCY:
    {
        settings[setting::chorus_frequency] = v;
        double frequency = v / 30.0 * 4.8 + 0.1;
        std::snprintf(label_text, sizeof(label_text), "Frequency %1.1fHz", frequency);
        SetLabel(label_text);
        Synth->SetChorusFreq(frequency);
        break;
    }
    case SLIDER_CHORUS_DEPTH:
        settings[setting::chorus_depth] = v;
        std::snprintf(label_text, sizeof(label_text), "Depth: %d%%", percent);
        SetLabel(label_text);
        Synth->SetChorusDepth(v / 30.0);
        break;
    case SLIDER_OUTPUT_LEVEL:
        settings[setting::output_level_db] = v;
        level = static_cast<float>(std::pow(10.0, v / 20.0));
        Synth->SetGain(level);
        break;
    case SLIDER_POLYPHONY:
        settings[setting::polyphony_step] = v;
        std::snprintf(label_text, sizeof(label_text), "Polyphony: %d voices", PolyphonyVoices(v));
        SetLabel(label_text);
        Synth->RequestPoly(PolyphonyVoices(v));
        break;
    default:
        break;
    }
}
