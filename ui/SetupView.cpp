#include "ui/SetupView.h"

#include <string>

#include "app/Debug.h"
#include "app/Settings.h"
#include "audio/AudioOutput.h"

namespace
{

BPopUpMenu* choice_menu(const char* name, const char* const* items, int count, int32 marked)
{
    auto* menu = new BPopUpMenu(name, true, true);
    for (int index = 0; index < count; index++)
        menu->AddItem(new BMenuItem(items[index], nullptr));
    // A stored value outside the menu (a damaged file) marks nothing, and is kept as it is.
    if (BMenuItem* item = menu->ItemAt(marked))
        item->SetMarked(true);
    return menu;
}

BMenuField* choice_field(BBox* box, BRect frame, const char* name, const char* label, BMenu* menu)
{
    auto* field = new BMenuField(frame, name, label, menu, true, B_FOLLOW_LEFT | B_FOLLOW_TOP,
                                 B_WILL_DRAW | B_NAVIGABLE);
    field->SetDivider(105);
    box->AddChild(field);
    return field;
}

void store_marked(BMenu* menu, int field)
{
    if (BMenuItem* marked = menu->FindMarked())
        settings[field] = menu->IndexOf(marked);
}

const char* const kRates[] = {"32 KHz", "44.1 KHz", "48 KHz", "88.2 KHz", "96 KHz"};
const char* const kTimings[] = {"Low (4ms)", "Medium (2ms)", "High (1ms)", "Very High (500µs)"};
const char* const kPriorities[] = {"Low (responsive GUI)", "Medium", "High (glitch-free audio)"};

} // namespace

void (*setup_view_closing_hook)() = nullptr;

void SETUPVIEW::ShowOutputDevice()
{
    device_menu->ItemAt(0)->SetLabel(OutputDeviceName().c_str());
}

SETUPVIEW::SETUPVIEW(BRect frame, const char* name) : BView(frame, name, B_FOLLOW_ALL, B_WILL_DRAW)
{
    DEBUG_PRINT("Entering setup view constructor");
    SetViewColor(216, 216, 216, 255);
    box = new BBox(BRect(4, 4, Bounds().Width() - 4, 268), "box", B_FOLLOW_LEFT | B_FOLLOW_TOP,
                   B_WILL_DRAW, B_FANCY_BORDER);
    box->SetLabel("Audio Setup Options");
    AddChild(box);

    // The back end in use, as the user knows it; nothing to choose, so nothing is stored.
    std::string device = OutputDeviceName();
    const char* const devices[] = {device.c_str()};
    device_menu = choice_menu(device.c_str(), devices, 1, 0);
    device_field =
        choice_field(box, BRect(20, 25, 270, 47), "OutputDevice", "Output Device:", device_menu);
    device_field->SetEnabled(false);
    rate_menu = choice_menu("48 KHz", kRates, 5, settings[setting::sample_rate_index]);
    rate_field = choice_field(box, BRect(20, 53, 270, 75), "SampleRate", "Sample Rate:", rate_menu);
    timing_menu = choice_menu("High (1ms)", kTimings, 4, settings[setting::timing_index]);
    timing_field =
        choice_field(box, BRect(20, 81, 270, 103), "Timing", "Timing Accuracy:", timing_menu);
    // While the server decides them, the stored choices stay as they are (marked, and stored
    // again at the close) for a later start on PulseAudio or ALSA.
    rate_field->SetEnabled(!ServerSetsRateAndPeriod());
    timing_field->SetEnabled(!ServerSetsRateAndPeriod());
    priority_menu = choice_menu("High", kPriorities, 3, settings[setting::priority_index]);
    priority_field =
        choice_field(box, BRect(20, 109, 270, 131), "Priority", "Priority:", priority_menu);

    cutout_box = new BCheckBox(BRect(20, 141, 340, 163), "Cutout",
                               "Reduce polyphony if CPU overloaded (recommended)", nullptr);
    cutout_box->SetValue(settings[setting::cutout]);
    box->AddChild(cutout_box);
    ports_box = new BCheckBox(BRect(20, 169, 250, 191), "Ports",
                              "Two MIDI ports (32 part multitimbral)", nullptr);
    ports_box->SetValue(settings[setting::two_ports]);
    box->AddChild(ports_box);

    notice = new BStringView(BRect(26, 204, 376, 226), "Notice",
                             "Please note:   All changes made on this page only take");
    notice->SetFont(be_bold_font, B_FONT_ALL);
    AddChild(notice);
    notice2 = new BStringView(BRect(101, 219, 376, 241), "Notice2",
                              "  effect after restarting the application.");
    notice2->SetFont(be_bold_font, B_FONT_ALL);
    AddChild(notice2);
    DEBUG_PRINT("Leaving setup view constructor");
}

SETUPVIEW::~SETUPVIEW()
{
    DEBUG_PRINT("Entering setup view destructor");
    if (setup_view_closing_hook != nullptr)
        setup_view_closing_hook();
    StoreChoices();
    DEBUG_PRINT("Leaving setup view destructor");
}

void SETUPVIEW::StoreChoices()
{
    store_marked(rate_menu, setting::sample_rate_index);
    store_marked(timing_menu, setting::timing_index);
    store_marked(priority_menu, setting::priority_index);
    settings[setting::cutout] = cutout_box->Value() != 0 ? 1 : 0;
    settings[setting::two_ports] = ports_box->Value() != 0 ? 1 : 0;
}
