#include "ui/MainView.h"

#include "app/Debug.h"
#include "app/Settings.h"
#include "ui/MessageCodes.h"

namespace
{

const rgb_color kPanelColor = {216, 216, 216, 255};
const rgb_color kFillColor = {0, 128, 255, 255};

// The decibel scale under the meter: text, left and right edges.
struct ScaleLabel
{
    const char* text;
    float left;
    float right;
};

const ScaleLabel kScaleLabels[] = {
    {"-40dB", 6, 38}, {"-30", 64, 96},   {"-24", 100, 132}, {"-18", 136, 168}, {"-12", 172, 204},
    {"-6", 212, 244}, {"0dB", 244, 276}, {"+6", 281, 313},  {"+12", 314, 346}, {"+17", 343, 363},
};

BStringView* small_label(BRect frame, const char* text, float size)
{
    auto* label = new BStringView(frame, "db", text);
    label->SetFontSize(size);
    return label;
}

} // namespace

MAINVIEW::MAINVIEW(BRect frame, const char* name) : BView(frame, name, B_FOLLOW_ALL, B_WILL_DRAW)
{
    DEBUG_PRINT("Entering MAINVIEW constructor");
    SetViewColor(kPanelColor);
    BRect bounds = Bounds();
    float L = bounds.left;
    float T = bounds.top;
    float R = bounds.right;

    output_box = new BBox(BRect(L + 6, T + 4, R - 8, T + 135), "box", B_FOLLOW_LEFT | B_FOLLOW_TOP,
                          B_WILL_DRAW, B_FANCY_BORDER);
    output_box->SetLabel("Output Level");

    level_slider =
        new SLIDER(BRect(4, 75, 364, 91), "slider", nullptr, -40, 17, SLIDER_OUTPUT_LEVEL);
    level_slider->SetHashMarks(B_HASH_MARKS_TOP);
    level_slider->SetHashMarkCount(58);
    level_slider->UseFillColor(true, &kFillColor);
    output_box->AddChild(level_slider);
    level_slider->SetValue(settings[setting::output_level_db]);

    quality_box = new BBox(BRect(L + 6, T + 149, R - 8, T + 268), "box",
                           B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW, B_FANCY_BORDER);

    clear_peak_button = new BButton(BRect(275, 97, 357, 121), "resetpeak", "Clear Peak",
                                    new BMessage(MSG_CLEAR_PEAK));
    output_box->AddChild(clear_peak_button);

    quality_menu = new BPopUpMenu("", true, true);
    quality_menu->AddItem(new BMenuItem("Low", new BMessage(MSG_QUALITY_LOW)));
    quality_menu->AddItem(new BMenuItem("Medium", new BMessage(MSG_QUALITY_MEDIUM)));
    quality_menu->AddItem(new BMenuItem("High", new BMessage(MSG_QUALITY_HIGH)));
    // Any other stored value marks nothing.
    if (BMenuItem* item = quality_menu->ItemAt(settings[setting::quality]))
        item->SetMarked(true);
    quality_field =
        new BMenuField(BRect(7, 14, 249, 36), "quality", "Sound Quality:", quality_menu, true);
    quality_field->SetDivider(92);
    quality_box->AddChild(quality_field);

    panic_button =
        new BButton(BRect(275, 14, 357, 94), "resetsynth", "Panic", new BMessage(MSG_SYSTEM_RESET));
    quality_box->AddChild(panic_button);

    polyphony_slider =
        new SLIDER(BRect(8, 58, 255, 79), "slider", "", 0, SLIDER_STEPS, SLIDER_POLYPHONY);
    polyphony_slider->SetHashMarkCount(SLIDER_STEPS + 1);
    polyphony_slider->UseFillColor(true, &kFillColor);
    quality_box->AddChild(polyphony_slider);
    polyphony_slider->SetValue(settings[setting::polyphony_step]);
    polyphony_slider->SetHashMarks(B_HASH_MARKS_BOTTOM);
    polyphony_slider->SetLimitLabels("16", "256");

    for (const ScaleLabel& label : kScaleLabels)
        output_box->AddChild(small_label(BRect(label.left, 48, label.right, 64), label.text, 9.5f));
    // Bold: the strokes of so small a text in the plain font come out as light greys.
    for (BStringView* channel :
         {small_label(BRect(2, 16, 7, 32), "L", 8), small_label(BRect(2, 27, 7, 43), "R", 8)})
    {
        channel->SetFont(be_bold_font, B_FONT_ALL);
        channel->SetFontSize(8);
        output_box->AddChild(channel);
    }

    AddChild(output_box);
    AddChild(quality_box);
    DEBUG_PRINT("Leaving MAINVIEW constructor");
}
