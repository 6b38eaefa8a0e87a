#include "ui/EffectsView.h"

#include "app/Debug.h"
#include "app/EffectPresets.h"
#include "app/Settings.h"
#include "ui/MessageCodes.h"

namespace
{

const rgb_color kPanelColor = {216, 216, 216, 255};
const rgb_color kFillColor = {0, 128, 255, 255};
constexpr float kSliderTops[4] = {24, 72, 120, 168};
constexpr float kSliderHeight = 32;

SLIDER* effect_slider(BBox* box, float left, float right, int row, const char* label, int32 minimum,
                      int32 maximum, int kind, int32 stored)
{
    auto* slider =
        new SLIDER(BRect(left, kSliderTops[row], right, kSliderTops[row] + kSliderHeight), "slider",
                   label, minimum, maximum, kind);
    slider->SetHashMarks(B_HASH_MARKS_TOP);
    slider->SetHashMarkCount(16);
    slider->UseFillColor(true, &kFillColor);
    box->AddChild(slider);
    slider->SetValue(stored);
    return slider;
}

BMenu* preset_menu(const char names[][32], uint32 base)
{
    auto* menu = new BMenu("<Preset...>");
    for (uint32 preset = 0; names[preset][0] != '\0'; preset++)
        menu->AddItem(new BMenuItem(names[preset], new BMessage(base + preset)));
    return menu;
}

} // namespace

FXVIEW::FXVIEW(BRect frame, const char* name) : BView(frame, name, B_FOLLOW_ALL, B_WILL_DRAW)
{
    DEBUG_PRINT("Entering fxview constructor");
    SetViewColor(kPanelColor);
    BRect bounds = Bounds();

    reverb_box =
        new BBox(BRect(bounds.left + 8, bounds.top + 8, bounds.left + 183, bounds.top + 258), "box",
                 B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW, B_FANCY_BORDER);
    reverb_box->SetLabel("Reverb Processor");
    AddChild(reverb_box);
    room_size_slider = effect_slider(reverb_box, 12, 167, 0, "Room Size:", 0, SLIDER_STEPS,
                                     SLIDER_ROOM_SIZE, settings[setting::reverb_room_size]);
    damping_slider = effect_slider(reverb_box, 12, 167, 1, "Damping:", 0, SLIDER_STEPS,
                                   SLIDER_DAMPING, settings[setting::reverb_damping]);
    width_slider = effect_slider(reverb_box, 12, 167, 2, "Width:", 0, SLIDER_STEPS, SLIDER_WIDTH,
                                 settings[setting::reverb_width]);
    reverb_level_slider = effect_slider(reverb_box, 12, 167, 3, "Return Level:", 0, SLIDER_STEPS,
                                        SLIDER_REVERB_LEVEL, settings[setting::reverb_level]);
    // It shows and applies the stored level, but is not for the user to move.
    reverb_level_slider->SetEnabled(false);

    reverb_preset_menu = preset_menu(REVERB_PRESET_NAMES, MSG_REVERB_PRESET);
    reverb_preset_field =
        new BMenuField(BRect(12, 217, 167, 239), "ReverbPreset", "", reverb_preset_menu, true);
    reverb_preset_field->SetDivider(0);
    reverb_box->AddChild(reverb_preset_field);

    float R = bounds.right;
    chorus_box = new BBox(BRect(R - 185, bounds.top + 8, R - 10, bounds.top + 258), "box2",
                          B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW, B_FANCY_BORDER);
    chorus_box->SetLabel("Modulation Processor");
    AddChild(chorus_box);
    float left = R - 363;
    float right = R - 216;
    voices_slider = effect_slider(chorus_box, left, right, 0, "Voices:", 1, 16,
                                  SLIDER_CHORUS_VOICES, settings[setting::chorus_voices]);
    frequency_slider = effect_slider(chorus_box, left, right, 1, "Frequency:", 0, SLIDER_STEPS,
                                     SLIDER_CHORUS_FREQUENCY, settings[setting::chorus_frequency]);
    depth_slider = effect_slider(chorus_box, left, right, 2, "Depth:", 0, SLIDER_STEPS,
                                 SLIDER_CHORUS_DEPTH, settings[setting::chorus_depth]);
    chorus_level_slider =
        effect_slider(chorus_box, left, right, 3, "Return Level:", 0, SLIDER_STEPS,
                      SLIDER_CHORUS_LEVEL, settings[setting::chorus_level]);

    chorus_preset_menu = preset_menu(CHORUS_PRESET_NAMES, MSG_CHORUS_PRESET);
    chorus_preset_field =
        new BMenuField(BRect(left, 217, right, 239), "ChorusPreset", "", chorus_preset_menu, true);
    chorus_preset_field->SetDivider(0);
    chorus_box->AddChild(chorus_preset_field);
    DEBUG_PRINT("Leaving fx view constructor");
}

void FXVIEW::LoadReverbPreset(int preset)
{
    if (preset < 0 || preset >= REVERB_PRESET_COUNT)
        return;
    room_size_slider->SetValue(REVERB_PRESET_PARAMETERS[preset][0]);
    damping_slider->SetValue(REVERB_PRESET_PARAMETERS[preset][1]);
    width_slider->SetValue(REVERB_PRESET_PARAMETERS[preset][2]);
}

void FXVIEW::LoadChorusPreset(int preset)
{
    if (preset < 0 || preset >= CHORUS_PRESET_COUNT)
        return;
    voices_slider->SetValue(CHORUS_PRESET_PARAMETERS[preset][0]);
    frequency_slider->SetValue(CHORUS_PRESET_PARAMETERS[preset][1]);
    depth_slider->SetValue(CHORUS_PRESET_PARAMETERS[preset][2]);
}
