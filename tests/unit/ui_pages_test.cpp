// The slider class and the Main, Effects and Setup pages, built without a window or a display.
// The engine runs on the recording stand-in, so that every value a slider or a preset hands to
// FluidSynth can be read back exactly as FluidSynth received it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/app/EventLoop.h"
#include "platform/interface/Window.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"
#include "ui/EffectsView.h"
#include "ui/MainView.h"
#include "ui/MessageCodes.h"
#include "ui/SetupView.h"
#include "ui/Slider.h"
#include "ui/StatusWindow.h"

namespace
{

const BRect kPageFrame(0, 0, 380, 296); // the tab view's bounds in the main window
const rgb_color kPanel = {216, 216, 216, 255};
const rgb_color kFill = {0, 128, 255, 255};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

// The calls as the stand-in writes them down.
std::string Reverb(double size, double damping, double width, double level)
{
    return Format("fluid_synth_set_reverb(%g,%g,%g,%g)", size, damping, width, level);
}
std::string Chorus(int voices, double level, double speed, double depth)
{
    return Format("fluid_synth_set_chorus(%d,%g,%g,%g,0)", voices, level, speed, depth);
}
std::string Gain(float gain)
{
    return Format("fluid_synth_set_gain(%g)", static_cast<double>(gain));
}
std::string Polyphony(int voices)
{
    return Format("fluid_synth_set_polyphony(%d)", voices);
}

// A return level in decibels as a linear level, rounded to single precision.
float Linear(double db)
{
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

class Pages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");
        LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
        recorder.Bind();
        InitDefaults();
        FreshEngine();
    }

    void TearDown() override
    {
        unsetenv("STANDIN_FAIL_NEW_SYNTH");
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
    }

    // An engine with the construction defaults (reverb 0.7, 1.3, 1, 0.7; chorus 6, 0.7, 3, 1),
    // its construction calls forgotten.
    void FreshEngine()
    {
        delete Synth;
        Synth = new HARMOLOOM(48000);
        recorder.Take();
    }

    TemporaryFolder folder;
    StandinRecorder recorder;
};

std::vector<BView*> ChildrenNamed(const BView* parent, const char* name)
{
    std::vector<BView*> found;
    for (int32 index = 0; index < parent->CountChildren(); index++)
    {
        if (std::string(parent->ChildAt(index)->Name()) == name)
            found.push_back(parent->ChildAt(index));
    }
    return found;
}

void ExpectSlider(const BSlider* slider, BRect frame, int32 minimum, int32 maximum,
                  hash_mark_location marks, int32 mark_count)
{
    ASSERT_NE(slider, nullptr);
    EXPECT_STREQ(slider->Name(), "slider");
    EXPECT_EQ(slider->Frame(), frame);
    int32 low = 0;
    int32 high = 0;
    slider->GetLimits(&low, &high);
    EXPECT_EQ(low, minimum);
    EXPECT_EQ(high, maximum);
    EXPECT_EQ(slider->HashMarks(), marks);
    EXPECT_EQ(slider->HashMarkCount(), mark_count);
    rgb_color fill;
    EXPECT_TRUE(slider->FillColor(&fill));
    EXPECT_EQ(fill, kFill);
    EXPECT_EQ(slider->Message(), nullptr) << "a slider acts by itself";
}

struct SliderCase
{
    int kind;
    int32 minimum, maximum, value;
    int32 shown;       // the position after clamping, and what the settings record keeps
    int field;         // -1: none
    const char* label; // null: the initial label stays
    std::string call;  // empty: FluidSynth is not called
    const char* switched = nullptr; // the effect switched off first
};

TEST_F(Pages, EverySliderKindStoresLabelsAndReachesFluidSynth)
{
    using namespace setting;
    const SliderCase cases[] = {
        {1, 0, 30, 15, 15, reverb_room_size, "Room Size: 50%", Reverb(0.5, 1.3, 1, 0.7)},
        {1, 0, 30, 30, 30, reverb_room_size, "Room Size: 100%", Reverb(1, 1.3, 1, 0.7)},
        {1, 0, 30, 1, 1, reverb_room_size, "Room Size: 3%", Reverb(1 / 30.0, 1.3, 1, 0.7)},
        {1, 0, 30, 45, 30, reverb_room_size, "Room Size: 100%", Reverb(1, 1.3, 1, 0.7)},
        {2, 0, 30, 29, 29, reverb_damping, "Damping: 96%", Reverb(0.7, 29 / 30.0, 1, 0.7)},
        {3, 0, 30, 0, 0, reverb_width, "Width: 0%", Reverb(0.7, 1.3, 0, 0.7)},
        {4, 0, 30, 0, 0, reverb_level, "Return Level: OFF", Reverb(0.7, 1.3, 1, 0),
         "fluid_synth_reverb_on(-1,0)"},
        {4, 0, 30, 1, 1, reverb_level, "Return Level: -31.5dB", Reverb(0.7, 1.3, 1, Linear(-31.5))},
        {4, 0, 30, 22, 22, reverb_level, "Return Level: 0.0dB", Reverb(0.7, 1.3, 1, 1)},
        {4, 0, 30, 30, 30, reverb_level, "Return Level: 12.0dB", Reverb(0.7, 1.3, 1, Linear(12))},
        {5, 1, 16, 0, 1, chorus_voices, "Voices: 1", Chorus(1, 0.7, 3, 1)},
        {5, 1, 16, 16, 16, chorus_voices, "Voices: 16", Chorus(16, 0.7, 3, 1)},
        {6, 0, 30, 0, 0, chorus_frequency, "Frequency 0.1Hz", Chorus(6, 0.7, 0.1, 1)},
        {6, 0, 30, 30, 30, chorus_frequency, "Frequency 4.9Hz", Chorus(6, 0.7, 4.9, 1)},
        {7, 0, 30, 15, 15, chorus_depth, "Depth: 50%", Chorus(6, 0.7, 3, 0.5)},
        // 1 ms is the engine's depth already: nothing reaches FluidSynth.
        {7, 0, 30, 30, 30, chorus_depth, "Depth: 100%", ""},
        {8, 0, 30, 0, 0, chorus_level, "Return Level: OFF", Chorus(6, 0, 3, 1),
         "fluid_synth_chorus_on(-1,0)"},
        {8, 0, 30, 30, 30, chorus_level, "Return Level: 12.0dB", Chorus(6, Linear(12), 3, 1)},
        {9, -40, 17, 0, 0, output_level_db, nullptr, Gain(1.0f)},
        {9, -40, 17, 17, 17, output_level_db, nullptr, Gain(Linear(17))},
        {9, -40, 17, -40, -40, output_level_db, nullptr, Gain(0.01f)},
        {9, -40, 17, -99, -40, output_level_db, nullptr, Gain(0.01f)},
        {10, 0, 30, 0, 0, polyphony_step, "Polyphony: 16 voices", Polyphony(16)},
        {10, 0, 30, 14, 14, polyphony_step, "Polyphony: 128 voices", Polyphony(128)},
        {10, 0, 30, 30, 30, polyphony_step, "Polyphony: 256 voices", Polyphony(256)},
        {10, 0, 30, -1, 0, polyphony_step, "Polyphony: 16 voices", Polyphony(16)},
        {0, 0, 30, 7, 7, -1, nullptr, ""},
        {11, 0, 30, 7, 7, -1, nullptr, ""},
    };
    for (const SliderCase& c : cases)
    {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " at " + std::to_string(c.value));
        FreshEngine();
        InitDefaults();
        int32 before[SETTINGS_COUNT];
        std::copy(settings, settings + SETTINGS_COUNT, before);
        SLIDER slider(BRect(0, 0, 100, 20), "slider", "initial", c.minimum, c.maximum, c.kind);
        slider.SetValue(c.value);
        EXPECT_EQ(slider.Value(), c.shown);
        EXPECT_STREQ(slider.Label(), c.label != nullptr ? c.label : "initial");
        if (c.field >= 0)
            before[c.field] = c.shown;
        EXPECT_TRUE(std::equal(settings, settings + SETTINGS_COUNT, before))
            << "only the slider's own field changes";
        Calls expected;
        if (c.switched != nullptr)
            expected.push_back(c.switched);
        if (!c.call.empty())
            expected.push_back(c.call);
        EXPECT_EQ(recorder.Take(), expected);
    }

    // 12 dB in single precision, 10^0.6: the level kept is the one FluidSynth got.
    SLIDER level(BRect(0, 0, 100, 20), "slider", "", 0, 30, SLIDER_REVERB_LEVEL);
    level.SetValue(30);
    EXPECT_EQ(level.level, static_cast<float>(std::pow(10.0, 0.6)));
    EXPECT_NEAR(level.level, 3.98, 0.005);
    recorder.Take();
    level.SetValue(30);
    EXPECT_EQ(recorder.Take(), Calls{}) << "an unchanged level is not sent again";
}

TEST_F(Pages, SlidersStillStoreAndLabelWhenTheEngineFailedToStart)
{
    setenv("STANDIN_FAIL_NEW_SYNTH", "1", 1);
    FreshEngine();
    ASSERT_EQ(Synth->InitCheck(), -1);
    SLIDER room(BRect(0, 0, 100, 20), "slider", "", 0, 30, SLIDER_ROOM_SIZE);
    SLIDER voices(BRect(0, 0, 100, 20), "slider", "", 1, 16, SLIDER_CHORUS_VOICES);
    SLIDER gain(BRect(0, 0, 100, 20), "slider", "", -40, 17, SLIDER_OUTPUT_LEVEL);
    SLIDER polyphony(BRect(0, 0, 100, 20), "slider", "", 0, 30, SLIDER_POLYPHONY);
    room.SetValue(9);
    voices.SetValue(12);
    gain.SetValue(3);
    polyphony.SetValue(2);
    EXPECT_STREQ(room.Label(), "Room Size: 30%");
    EXPECT_STREQ(voices.Label(), "Voices: 12");
    EXPECT_STREQ(polyphony.Label(), "Polyphony: 32 voices");
    EXPECT_EQ(settings[setting::reverb_room_size], 9);
    EXPECT_EQ(settings[setting::chorus_voices], 12);
    EXPECT_EQ(settings[setting::output_level_db], 3);
    EXPECT_EQ(settings[setting::polyphony_step], 2);
    EXPECT_EQ(recorder.Take(), Calls{});
}

TEST_F(Pages, MainPageLayoutAndStoredValues)
{
    MAINVIEW page(kPageFrame, "  Main  ");
    EXPECT_EQ(recorder.Take(), (Calls{Gain(Linear(-12)), Polyphony(128)}))
        << "the stored level and polyphony reach the engine; the quality is the start-up's";
    EXPECT_EQ(page.ViewColor(), kPanel);
    ASSERT_EQ(page.CountChildren(), 2);
    auto* output = dynamic_cast<BBox*>(page.ChildAt(0));
    auto* quality = dynamic_cast<BBox*>(page.ChildAt(1));
    ASSERT_NE(output, nullptr);
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(output, page.OutputBox());
    EXPECT_STREQ(output->Name(), "box");
    EXPECT_EQ(output->Frame(), BRect(6, 4, 372, 135));
    EXPECT_STREQ(output->Label(), "Output Level");
    EXPECT_EQ(output->Border(), B_FANCY_BORDER);
    EXPECT_STREQ(quality->Name(), "box");
    EXPECT_EQ(quality->Frame(), BRect(6, 149, 372, 268));
    EXPECT_EQ(quality->Label(), nullptr);
    EXPECT_EQ(quality->Border(), B_FANCY_BORDER);

    SLIDER* level = page.LevelSlider();
    ASSERT_EQ(level->Parent(), output);
    ExpectSlider(level, BRect(4, 75, 364, 91), -40, 17, B_HASH_MARKS_TOP, 58);
    EXPECT_EQ(level->kind, SLIDER_OUTPUT_LEVEL);
    EXPECT_EQ(level->Value(), -12);
    EXPECT_STREQ(level->Label(), "");

    SLIDER* polyphony = page.PolyphonySlider();
    ASSERT_EQ(polyphony->Parent(), quality);
    ExpectSlider(polyphony, BRect(8, 58, 255, 79), 0, 30, B_HASH_MARKS_BOTTOM, 31);
    EXPECT_EQ(polyphony->kind, SLIDER_POLYPHONY);
    EXPECT_EQ(polyphony->Value(), 14);
    EXPECT_STREQ(polyphony->Label(), "Polyphony: 128 voices");
    EXPECT_STREQ(polyphony->MinLimitLabel(), "16");
    EXPECT_STREQ(polyphony->MaxLimitLabel(), "256");

    struct Button
    {
        const BView* box;
        const char* name;
        BRect frame;
        const char* label;
        uint32 code;
    };
    for (const Button& b :
         {Button{output, "resetpeak", BRect(275, 97, 357, 121), "Clear Peak",
                 four_char_code("CLRP")},
          Button{quality, "resetsynth", BRect(275, 14, 357, 94), "Panic", four_char_code("SRST")}})
    {
        auto* button = dynamic_cast<BButton*>(b.box->FindView(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->Parent(), b.box);
        EXPECT_EQ(button->Frame(), b.frame);
        EXPECT_STREQ(button->Label(), b.label);
        ASSERT_NE(button->Message(), nullptr);
        EXPECT_EQ(button->Message()->what, b.code);
    }

    auto* field = dynamic_cast<BMenuField*>(quality->FindView("quality"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->Frame(), BRect(7, 14, 249, 36));
    EXPECT_STREQ(field->Label(), "Sound Quality:");
    EXPECT_EQ(field->Divider(), 92);
    BMenu* menu = field->Menu();
    ASSERT_EQ(menu, page.QualityMenu());
    EXPECT_TRUE(menu->IsRadioMode());
    EXPECT_TRUE(menu->IsLabelFromMarked());
    const char* items[] = {"Low", "Medium", "High"};
    const uint32 codes[] = {four_char_code("QLOW"), four_char_code("QMED"), four_char_code("QHI ")};
    ASSERT_EQ(menu->CountItems(), 3);
    for (int32 index = 0; index < 3; index++)
    {
        EXPECT_STREQ(menu->ItemAt(index)->Label(), items[index]);
        ASSERT_NE(menu->ItemAt(index)->Message(), nullptr);
        EXPECT_EQ(menu->ItemAt(index)->Message()->what, codes[index]);
    }
    EXPECT_EQ(menu->FindMarked(), menu->ItemAt(1)) << "the stored quality 1";
    EXPECT_EQ(menu->ShownLabel(), "Medium");

    struct Text
    {
        const char* text;
        BRect frame;
        float size;
    };
    const std::vector<Text> scale = {
        {"-40dB", BRect(6, 48, 38, 64), 9.5f},  {"-30", BRect(64, 48, 96, 64), 9.5f},
        {"-24", BRect(100, 48, 132, 64), 9.5f}, {"-18", BRect(136, 48, 168, 64), 9.5f},
        {"-12", BRect(172, 48, 204, 64), 9.5f}, {"-6", BRect(212, 48, 244, 64), 9.5f},
        {"0dB", BRect(244, 48, 276, 64), 9.5f}, {"+6", BRect(281, 48, 313, 64), 9.5f},
        {"+12", BRect(314, 48, 346, 64), 9.5f}, {"+17", BRect(343, 48, 363, 64), 9.5f},
        {"L", BRect(2, 16, 7, 32), 8.0f},       {"R", BRect(2, 27, 7, 43), 8.0f},
    };
    std::vector<BView*> labels = ChildrenNamed(output, "db");
    ASSERT_EQ(labels.size(), scale.size());
    for (size_t index = 0; index < scale.size(); index++)
    {
        auto* label = dynamic_cast<BStringView*>(labels[index]);
        ASSERT_NE(label, nullptr);
        EXPECT_STREQ(label->Text(), scale[index].text);
        EXPECT_EQ(label->Frame(), scale[index].frame) << scale[index].text;
        EXPECT_EQ(label->Font().Size(), scale[index].size) << scale[index].text;
    }
}

TEST_F(Pages, MainPageTakesOutOfRangeStoredValuesWithoutHarm)
{
    for (int32 stored_quality : {0, 2, 3, -1})
    {
        settings[setting::quality] = stored_quality;
        settings[setting::output_level_db] = 99;
        settings[setting::polyphony_step] = -5;
        MAINVIEW page(kPageFrame, "  Main  ");
        BMenu* menu = page.QualityMenu();
        EXPECT_EQ(menu->FindMarked(), menu->ItemAt(stored_quality)) << stored_quality;
        EXPECT_EQ(settings[setting::quality], stored_quality) << "the page only marks the item";
        EXPECT_EQ(page.LevelSlider()->Value(), 17);
        EXPECT_EQ(settings[setting::output_level_db], 17);
        EXPECT_STREQ(page.PolyphonySlider()->Label(), "Polyphony: 16 voices");
        EXPECT_EQ(settings[setting::polyphony_step], 0);
        EXPECT_EQ(recorder.Take(), (Calls{Gain(Linear(17)), Polyphony(16)}));
    }
}

// The presets as the user knows them: name and the three slider positions.
struct Preset
{
    const char* name;
    int32 values[3];
};

const Preset kReverbPresets[] = {
    {"Small Hall", {18, 20, 21}},  {"Large Hall", {20, 13, 24}},   {"Dark Hall", {19, 30, 21}},
    {"Light Hall", {18, 10, 21}},  {"Concert Hall", {22, 18, 25}}, {"Huge Hall", {27, 18, 25}},
    {"Dark Studio", {12, 16, 24}}, {"Light Studio", {13, 4, 26}},  {"Dark Room", {8, 22, 21}},
    {"Live Room", {8, 2, 24}},     {"Living Room", {6, 4, 26}},    {"Concrete Room", {20, 6, 28}},
    {"Bathroom", {2, 0, 30}},      {"Car Park", {22, 24, 28}},
};
const Preset kChorusPresets[] = {
    {"Light Chorus", {4, 15, 30}},   {"Dark Chorus", {7, 6, 24}},     {"Slight Chorus", {3, 4, 27}},
    {"Shimmer Chorus", {7, 23, 25}}, {"Detuned Chorus", {4, 25, 30}}, {"Thick Chorus", {15, 6, 24}},
    {"Hollow Chorus", {11, 15, 13}}, {"Tremelo", {0, 30, 30}},        {"Phaser", {0, 5, 30}},
};

void ExpectPresetMenu(const BView* box, const char* name, BRect frame, uint32 base,
                      const Preset* presets, int32 count)
{
    auto* field = dynamic_cast<BMenuField*>(box->FindView(name));
    ASSERT_NE(field, nullptr) << name;
    EXPECT_EQ(field->Parent(), box);
    EXPECT_EQ(field->Frame(), frame);
    EXPECT_STREQ(field->Label(), "");
    EXPECT_EQ(field->Divider(), 0);
    BMenu* menu = field->Menu();
    EXPECT_FALSE(menu->IsRadioMode());
    EXPECT_EQ(menu->ShownLabel(), "<Preset...>");
    ASSERT_EQ(menu->CountItems(), count);
    for (int32 n = 0; n < count; n++)
    {
        EXPECT_STREQ(menu->ItemAt(n)->Label(), presets[n].name);
        ASSERT_NE(menu->ItemAt(n)->Message(), nullptr);
        EXPECT_EQ(menu->ItemAt(n)->Message()->what, base + static_cast<uint32>(n));
    }
}

TEST_F(Pages, EffectsPageLayoutAndTheStoredParameters)
{
    FXVIEW page(kPageFrame, "  Effects  ");
    // Depth 30 is 1 ms, the engine's own value: seven calls for eight sliders.
    EXPECT_EQ(recorder.Take(),
              (Calls{Reverb(0.6, 1.3, 1, 0.7), Reverb(0.6, 20 / 30.0, 1, 0.7),
                     Reverb(0.6, 20 / 30.0, 0.7, 0.7), Reverb(0.6, 20 / 30.0, 0.7, 1),
                     Chorus(4, 0.7, 3, 1), Chorus(4, 0.7, 2.5, 1), Chorus(4, 1, 2.5, 1)}));
    EXPECT_EQ(page.ViewColor(), kPanel);
    EXPECT_STREQ(page.reverb_box->Name(), "box");
    EXPECT_EQ(page.reverb_box->Frame(), BRect(8, 8, 183, 258));
    EXPECT_STREQ(page.reverb_box->Label(), "Reverb Processor");
    EXPECT_STREQ(page.chorus_box->Name(), "box2");
    EXPECT_EQ(page.chorus_box->Frame(), BRect(195, 8, 370, 258));
    EXPECT_STREQ(page.chorus_box->Label(), "Modulation Processor");

    struct Row
    {
        SLIDER* slider;
        BBox* box;
        float left, right, top;
        int32 minimum, maximum;
        int kind;
        const char* label;
    };
    const Row rows[] = {
        {page.room_size_slider, page.reverb_box, 12, 167, 24, 0, 30, 1, "Room Size: 60%"},
        {page.damping_slider, page.reverb_box, 12, 167, 72, 0, 30, 2, "Damping: 66%"},
        {page.width_slider, page.reverb_box, 12, 167, 120, 0, 30, 3, "Width: 70%"},
        {page.reverb_level_slider, page.reverb_box, 12, 167, 168, 0, 30, 4, "Return Level: 0.0dB"},
        {page.voices_slider, page.chorus_box, 17, 164, 24, 1, 16, 5, "Voices: 4"},
        {page.frequency_slider, page.chorus_box, 17, 164, 72, 0, 30, 6, "Frequency 2.5Hz"},
        {page.depth_slider, page.chorus_box, 17, 164, 120, 0, 30, 7, "Depth: 100%"},
        {page.chorus_level_slider, page.chorus_box, 17, 164, 168, 0, 30, 8, "Return Level: 0.0dB"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        ASSERT_NE(row.slider, nullptr);
        EXPECT_EQ(row.slider->Parent(), row.box);
        ExpectSlider(row.slider, BRect(row.left, row.top, row.right, row.top + 32), row.minimum,
                     row.maximum, B_HASH_MARKS_TOP, 16);
        EXPECT_EQ(row.slider->kind, row.kind);
        EXPECT_STREQ(row.slider->Label(), row.label);
        EXPECT_EQ(row.slider->IsEnabled(), row.slider != page.reverb_level_slider);
    }
    ExpectPresetMenu(page.reverb_box, "ReverbPreset", BRect(12, 217, 167, 239),
                     four_char_code("RVP "), kReverbPresets, 14);
    ExpectPresetMenu(page.chorus_box, "ChorusPreset", BRect(17, 217, 164, 239),
                     four_char_code("CHP "), kChorusPresets, 9);
}

TEST_F(Pages, PresetsMoveTheirThreeSlidersAndNothingElse)
{
    FXVIEW page(kPageFrame, "  Effects  ");
    page.reverb_level_slider->SetValue(10);
    page.chorus_level_slider->SetValue(5);
    recorder.Take();

    page.LoadReverbPreset(12);
    EXPECT_STREQ(kReverbPresets[12].name, "Bathroom");
    EXPECT_STREQ(page.room_size_slider->Label(), "Room Size: 6%");
    EXPECT_STREQ(page.damping_slider->Label(), "Damping: 0%");
    EXPECT_STREQ(page.width_slider->Label(), "Width: 100%");
    float level = Linear(-18);
    EXPECT_EQ(recorder.Take(),
              (Calls{Reverb(2 / 30.0, 20 / 30.0, 0.7, level), Reverb(2 / 30.0, 0, 0.7, level),
                     Reverb(2 / 30.0, 0, 1, level)}))
        << "one call per changed value, the return level left alone";

    page.LoadChorusPreset(7);
    EXPECT_STREQ(page.voices_slider->Label(), "Voices: 1");
    EXPECT_STREQ(page.frequency_slider->Label(), "Frequency 4.9Hz");
    EXPECT_STREQ(page.depth_slider->Label(), "Depth: 100%");
    EXPECT_EQ(page.chorus_level_slider->Value(), 5);
    EXPECT_EQ(settings[setting::chorus_voices], 1);

    for (int n = 0; n < 14; n++)
    {
        page.LoadReverbPreset(n);
        EXPECT_EQ(page.room_size_slider->Value(), kReverbPresets[n].values[0]) << n;
        EXPECT_EQ(page.damping_slider->Value(), kReverbPresets[n].values[1]) << n;
        EXPECT_EQ(page.width_slider->Value(), kReverbPresets[n].values[2]) << n;
        EXPECT_EQ(settings[setting::reverb_width], kReverbPresets[n].values[2]) << n;
    }
    for (int n = 0; n < 9; n++)
    {
        page.LoadChorusPreset(n);
        EXPECT_EQ(page.voices_slider->Value(), std::max(1, kChorusPresets[n].values[0])) << n;
        EXPECT_EQ(page.frequency_slider->Value(), kChorusPresets[n].values[1]) << n;
        EXPECT_EQ(page.depth_slider->Value(), kChorusPresets[n].values[2]) << n;
        EXPECT_EQ(settings[setting::chorus_frequency], kChorusPresets[n].values[1]) << n;
    }
    EXPECT_EQ(page.reverb_level_slider->Value(), 10);
    EXPECT_EQ(page.chorus_level_slider->Value(), 5);

    recorder.Take();
    for (int beyond : {14, 200, -1})
        page.LoadReverbPreset(beyond);
    for (int beyond : {9, 200, -1})
        page.LoadChorusPreset(beyond);
    EXPECT_EQ(recorder.Take(), Calls{});
    EXPECT_EQ(page.room_size_slider->Value(), kReverbPresets[13].values[0]);
    EXPECT_EQ(page.voices_slider->Value(), kChorusPresets[8].values[0] + 1);
}

TEST_F(Pages, SetupPageShowsTheStoredChoicesAndStoresThemWhenDestroyed)
{
    settings[setting::priority_index] = 2;
    settings[setting::two_ports] = 1;
    auto page = std::make_unique<SETUPVIEW>(kPageFrame, "  Setup  ");
    EXPECT_EQ(recorder.Take(), Calls{}) << "nothing acts while the program runs";
    EXPECT_EQ(page->ViewColor(), kPanel);
    EXPECT_STREQ(page->box->Name(), "box");
    EXPECT_EQ(page->box->Frame(), BRect(4, 4, 376, 268));
    EXPECT_STREQ(page->box->Label(), "Audio Setup Options");

    struct Choice
    {
        const char* name;
        BRect frame;
        const char* label;
        const char* menu_name;
        std::vector<const char*> items;
        int32 marked;
        const char* shown;
    };
    const Choice choices[] = {
        {"OutputDevice", BRect(20, 25, 270, 47), "Output Device:", "None", {"None"}, 0, "None"},
        {"SampleRate",
         BRect(20, 53, 270, 75),
         "Sample Rate:",
         "48 KHz",
         {"32 KHz", "44.1 KHz", "48 KHz", "88.2 KHz", "96 KHz"},
         2,
         "48 KHz"},
        {"Timing",
         BRect(20, 81, 270, 103),
         "Timing Accuracy:",
         "High (1ms)",
         {"Low (4ms)", "Medium (2ms)", "High (1ms)", "Very High (500µs)"},
         2,
         "High (1ms)"},
        {"Priority",
         BRect(20, 109, 270, 131),
         "Priority:",
         "High",
         {"Low (responsive GUI)", "Medium", "High (glitch-free audio)"},
         2,
         "High (glitch-free audio)"},
    };
    for (const Choice& choice : choices)
    {
        SCOPED_TRACE(choice.name);
        auto* field = dynamic_cast<BMenuField*>(page->box->FindView(choice.name));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->Parent(), page->box);
        EXPECT_EQ(field->Frame(), choice.frame);
        EXPECT_STREQ(field->Label(), choice.label);
        EXPECT_EQ(field->Divider(), 105);
        EXPECT_EQ(field->ResizingMode(), B_FOLLOW_LEFT | B_FOLLOW_TOP);
        EXPECT_EQ(field->Flags(), B_WILL_DRAW | B_NAVIGABLE);
        BMenu* menu = field->Menu();
        EXPECT_STREQ(menu->Name(), choice.menu_name);
        EXPECT_TRUE(menu->IsRadioMode());
        ASSERT_EQ(static_cast<size_t>(menu->CountItems()), choice.items.size());
        for (int32 index = 0; index < menu->CountItems(); index++)
        {
            EXPECT_STREQ(menu->ItemAt(index)->Label(), choice.items[static_cast<size_t>(index)]);
            EXPECT_EQ(menu->ItemAt(index)->Message(), nullptr);
        }
        EXPECT_EQ(menu->FindMarked(), menu->ItemAt(choice.marked));
        EXPECT_EQ(menu->ShownLabel(), choice.shown);
        EXPECT_EQ(field->IsEnabled(), std::string(choice.name) != "OutputDevice");
    }

    struct Check
    {
        BCheckBox* box;
        const char* name;
        BRect frame;
        const char* label;
        int32 value;
    };
    for (const Check& check : {Check{page->cutout_box, "Cutout", BRect(20, 141, 340, 163),
                                     "Reduce polyphony if CPU overloaded (recommended)", 1},
                               Check{page->ports_box, "Ports", BRect(20, 169, 250, 191),
                                     "Two MIDI ports (32 part multitimbral)", 1}})
    {
        EXPECT_EQ(check.box->Parent(), page->box);
        EXPECT_STREQ(check.box->Name(), check.name);
        EXPECT_EQ(check.box->Frame(), check.frame);
        EXPECT_EQ(check.box->ResizingMode(), B_FOLLOW_LEFT | B_FOLLOW_TOP);
        EXPECT_EQ(check.box->Flags(), B_WILL_DRAW | B_NAVIGABLE);
        EXPECT_STREQ(check.box->Label(), check.label);
        EXPECT_EQ(check.box->Value(), check.value);
        EXPECT_EQ(check.box->Message(), nullptr);
    }

    struct Notice
    {
        const char* name;
        BRect frame;
        const char* text;
    };
    for (const Notice& notice : {Notice{"Notice", BRect(26, 204, 376, 226),
                                        "Please note:   All changes made on this page only take"},
                                 Notice{"Notice2", BRect(101, 219, 376, 241),
                                        "  effect after restarting the application."}})
    {
        auto* view = dynamic_cast<BStringView*>(page->FindView(notice.name));
        ASSERT_NE(view, nullptr) << notice.name;
        EXPECT_EQ(view->Parent(), page.get()) << "on the page, not in the box";
        EXPECT_EQ(view->Frame(), notice.frame);
        EXPECT_STREQ(view->Text(), notice.text);
        EXPECT_TRUE(view->Font().IsBold());
    }

    // The user's choices reach the record only when the page goes.
    page->rate_field->Chosen(4);
    page->timing_field->Chosen(3);
    page->ports_box->SetValue(0);
    EXPECT_EQ(page->device_menu->ShownLabel(), "None") << "no output is open here";
    EXPECT_EQ(page->rate_menu->ShownLabel(), "96 KHz");
    EXPECT_EQ(settings[setting::sample_rate_index], 2);
    EXPECT_EQ(settings[setting::two_ports], 1);
    page.reset();
    EXPECT_EQ(settings[setting::sample_rate_index], 4);
    EXPECT_EQ(settings[setting::timing_index], 3);
    EXPECT_EQ(settings[setting::priority_index], 2) << "untouched, written back as shown";
    EXPECT_EQ(settings[setting::cutout], 1);
    EXPECT_EQ(settings[setting::two_ports], 0);
}

TEST_F(Pages, SetupPageKeepsDamagedStoredValues)
{
    settings[setting::sample_rate_index] = 5;
    settings[setting::timing_index] = -1;
    settings[setting::priority_index] = 1000;
    settings[setting::cutout] = 7;
    settings[setting::two_ports] = 0;
    auto page = std::make_unique<SETUPVIEW>(kPageFrame, "  Setup  ");
    EXPECT_EQ(page->rate_menu->FindMarked(), nullptr);
    EXPECT_EQ(page->timing_menu->FindMarked(), nullptr);
    EXPECT_EQ(page->priority_menu->FindMarked(), nullptr);
    EXPECT_EQ(page->rate_menu->ShownLabel(), "48 KHz") << "the menu's own name";
    EXPECT_NE(page->cutout_box->Value(), 0);
    page.reset();
    // Start-up maps such values itself; the page leaves them as they were.
    EXPECT_EQ(settings[setting::sample_rate_index], 5);
    EXPECT_EQ(settings[setting::timing_index], -1);
    EXPECT_EQ(settings[setting::priority_index], 1000);
    EXPECT_EQ(settings[setting::cutout], 1);
    EXPECT_EQ(settings[setting::two_ports], 0);
}

TEST(StatusWindow, CentresA280By50WindowOnTheMainWindow)
{
    EXPECT_EQ(StatusWindowFrame(BRect(100, 100, 480, 400)), BRect(150, 225, 430, 275));
    EXPECT_EQ(StatusWindowFrame(BRect(612, 40, 992, 340)), BRect(662, 165, 942, 215));

    // At start-up there is no main window yet: the stored position, as stored.
    unsetenv("DISPLAY");
    InitDefaults();
    OpenStatusWindow();
    ASSERT_NE(statuswindow, nullptr);
    EXPECT_EQ(statuswindow->Frame(), BRect(150, 225, 430, 275));
    EXPECT_STREQ(statuswindow->Title(), "Loading");
    BWindow* shown = statuswindow;
    OpenStatusWindow();
    EXPECT_EQ(statuswindow, shown) << "one window at a time";
    CloseStatusWindow();
    EXPECT_EQ(statuswindow, nullptr);
    CloseStatusWindow();

    settings[setting::window_left] = -500;
    settings[setting::window_top] = 5000;
    OpenStatusWindow();
    ASSERT_NE(statuswindow, nullptr);
    EXPECT_EQ(statuswindow->Frame(), BRect(-450, 5125, -170, 5175));
    CloseStatusWindow();
    stop_event_loop();
}

} // namespace
