// FXVIEW, the Effects page: reverb and chorus, each with four sliders and a menu of presets.
#pragma once

#include "platform/interface/Box.h"
#include "platform/interface/Menu.h"
#include "ui/Slider.h"

class FXVIEW : public BView
{
public:
    FXVIEW(BRect frame, const char* name);
    ~FXVIEW() override = default;

    // "RVP " + n and "CHP " + n: the preset's three values go to the three sliders of its box.
    // A preset number beyond the table is ignored.
    void LoadReverbPreset(int preset);
    void LoadChorusPreset(int preset);

    BBox* reverb_box;
    BBox* chorus_box;
    SLIDER* room_size_slider;
    SLIDER* damping_slider;
    SLIDER* width_slider;
    SLIDER* reverb_level_slider;
    SLIDER* voices_slider;
    SLIDER* frequency_slider;
    SLIDER* depth_slider;
    SLIDER* chorus_level_slider;
    BMenuField* reverb_preset_field;
    BMenuField* chorus_preset_field;
    BMenu* reverb_preset_menu;
    BMenu* chorus_preset_menu;
};
