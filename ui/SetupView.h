// SETUPVIEW, the Setup page: output device, sample rate, timing, priority, polyphony reduction
// and two MIDI ports. They take effect at the next start: the page writes them into the
// settings only when it is destroyed, as the window closes.
#pragma once

#include "platform/interface/Box.h"
#include "platform/interface/Control.h"
#include "platform/interface/Menu.h"

class SETUPVIEW : public BView
{
public:
    SETUPVIEW(BRect frame, const char* name);
    // Stores the choices into the settings record.
    ~SETUPVIEW() override;
    // The choices into the settings record, as the destructor does, for a save without the close.
    void StoreChoices();

    // "Output Device" shows the output as it is now (its server may stop and start again).
    // Window thread.
    void ShowOutputDevice();

    BBox* box;
    BMenuField* device_field;
    BMenuField* rate_field;
    BMenuField* timing_field;
    BMenuField* priority_field;
    BPopUpMenu* device_menu;
    BPopUpMenu* rate_menu;
    BPopUpMenu* timing_menu;
    BPopUpMenu* priority_menu;
    BCheckBox* cutout_box;
    BCheckBox* ports_box;
    BStringView* notice;
    BStringView* notice2;
};

// Tests only: run by the destructor before it stores the choices, to hold the window thread
// there. Null in the program.
extern void (*setup_view_closing_hook)();
