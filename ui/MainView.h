// MAINVIEW, the Main page: the output meter and its scale, the output level, "Clear Peak", the
// sound quality, the polyphony and "Panic".
#pragma once

#include "platform/interface/Box.h"
#include "platform/interface/Control.h"
#include "platform/interface/Menu.h"
#include "ui/Slider.h"

class MAINVIEW : public BView
{
public:
    MAINVIEW(BRect frame, const char* name);
    ~MAINVIEW() override = default;

    BBox* OutputBox() const { return output_box; }
    SLIDER* PolyphonySlider() const { return polyphony_slider; }
    SLIDER* LevelSlider() const { return level_slider; }
    BPopUpMenu* QualityMenu() const { return quality_menu; }

private:
    BBox* output_box;
    BBox* quality_box;
    SLIDER* level_slider;
    BButton* clear_peak_button;
    SLIDER* polyphony_slider;
    BPopUpMenu* quality_menu;
    BMenuField* quality_field;
    BButton* panic_button;
};
