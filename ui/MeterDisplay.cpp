#include "ui/MeterDisplay.h"

#include <algorithm>
#include <cmath>

#include "audio/LevelMeter.h"
#include "engine/FluidLog.h"
#include "platform/interface/Box.h"
#include "platform/interface/Screen.h"
#include "platform/support/Threads.h"
#include "ui/ChannelsView.h"
#include "ui/MainView.h"
#include "ui/Window.h"

namespace
{

constexpr uint32 pixel(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint32>(red) << 16 | static_cast<uint32>(green) << 8 | blue;
}

constexpr uint32 kPaleGreen = pixel(104, 200, 104);
constexpr uint32 kGreen = pixel(23, 184, 23);
constexpr uint32 kPaleRed = pixel(232, 160, 160);
constexpr uint32 kRed = pixel(255, 0, 0);
constexpr uint32 kGrey = pixel(200, 200, 200);
constexpr uint32 kLightGrey = pixel(216, 216, 216);
// Unlit cells stand out from the panel's grey at 3.2:1, as a control's parts should (3:1).
constexpr uint32 kUnlitGrey = pixel(118, 118, 118);

constexpr uint32 kGreenCell[METER_CELL_PIXELS] = {kPaleGreen, kGreen,     kGreen,
                                                  kGreen,     kPaleGreen, kGrey};
constexpr uint32 kRedCell[METER_CELL_PIXELS] = {kPaleRed, kRed, kRed, kRed, kPaleRed, kGrey};
constexpr uint32 kUnlitCell[METER_CELL_PIXELS] = {kUnlitGrey, kUnlitGrey, kUnlitGrey,
                                                  kUnlitGrey, kUnlitGrey, kLightGrey};
constexpr int kGreenCells = 40;

const BRect kLeftBar(11, 24, 358, 29);
const BRect kRightBar(11, 34, 358, 39);
const BRect kBitmapSource(0, 0, 347, 0);

// Cells lit for a level: 20 log10, limited to -41 dB, shifted by 41, cut to 0..58.
int lit_cells(float level)
{
    auto db = static_cast<float>(20.0 * std::log10(static_cast<double>(level)));
    if (db < -41)
        db = -41;
    float shifted = db + 41;
    if (!(shifted >= 0)) // not a number
        return 0;
    // Limited before the conversion: an infinite level has no integer.
    return static_cast<int>(std::min(shifted, static_cast<float>(METER_CELLS)));
}

void put_cell(uint32* bits, int cell, const uint32* pattern)
{
    std::copy(pattern, pattern + METER_CELL_PIXELS, bits + cell * METER_CELL_PIXELS);
}

} // namespace

void DrawMeter(BBitmap* bitmap, float level, float peak)
{
    int bar = lit_cells(level);
    int mark = lit_cells(peak);
    bitmap->Lock();
    auto* bits = static_cast<uint32*>(bitmap->Bits());
    int cell = 0;
    for (int green = 0; green < std::min(bar, kGreenCells); green++)
        put_cell(bits, cell++, kGreenCell);
    for (int red = 0; red < std::max(bar - kGreenCells, 0); red++)
        put_cell(bits, cell++, kRedCell);
    while (cell < METER_CELLS)
        put_cell(bits, cell++, kUnlitCell);
    if (mark > 0)
    {
        // Cell n is at n - 1: its first five pixels in the mark's colour, the sixth grey.
        put_cell(bits, mark - 1, mark <= kGreenCells ? kGreenCell : kRedCell);
        bits[(mark - 1) * METER_CELL_PIXELS + 5] = kGrey;
    }
    bitmap->Unlock();
}

void DrawScaleMarks(BView* box)
{
    for (int k = 0; k < 8; k++)
    {
        float major = 73 + 36.0f * static_cast<float>(k);
        float minor = 91 + 36.0f * static_cast<float>(k);
        float upper_width = k == 5 ? 1 : 0;
        float lower_width = (k == 3 || k == 5) ? 1 : 0;
        box->FillRect(BRect(major, 41, major + upper_width, 48), B_SOLID_HIGH);
        box->FillRect(BRect(minor, 41, minor, 43), B_SOLID_HIGH);
        box->FillRect(BRect(major, 63, major + lower_width, 72), B_SOLID_HIGH);
        box->FillRect(BRect(minor, 69, minor, 71), B_SOLID_HIGH);
    }
    box->FillRect(BRect(12, 41, 13, 48), B_SOLID_HIGH);
    box->FillRect(BRect(12, 63, 13, 72), B_SOLID_HIGH);
    box->FillRect(BRect(355, 41, 356, 48), B_SOLID_HIGH);
    box->FillRect(BRect(355, 63, 356, 72), B_SOLID_HIGH);
    box->FillRect(BRect(55, 41, 55, 43), B_SOLID_HIGH);
    box->FillRect(BRect(37, 41, 37, 43), B_SOLID_HIGH);
    box->FillRect(BRect(55, 69, 55, 71), B_SOLID_HIGH);
    box->FillRect(BRect(37, 69, 37, 71), B_SOLID_HIGH);
    box->FillRect(BRect(253, 19, 254, 21), B_SOLID_HIGH);
}

status_t meter_thread(void* view)
{
    auto* page = static_cast<MAINVIEW*>(view);
    BScreen screen(B_MAIN_SCREEN_ID);
    auto* bitmap = new BBitmap(BRect(0, 0, 347, 0), B_RGB32);
    // The window lock is asked for with a limit: a window that is closing holds it while it
    // suspends this thread, which must then get to its next pause to be suspended.
    constexpr bigtime_t kLockPatience = 20000;
    for (;;)
    {
        snooze(40000);   // no retrace to wait for here: paced by time alone
        FlushFluidLog(); // what FluidSynth said on the audio thread
        float level_left = current_meter_level_l.load();
        float level_right = current_meter_level_r.load();
        float peak_left = peak_meter_level_l.load();
        float peak_right = peak_meter_level_r.load();
        WINDOW* window = app_window.load();
        if (window == nullptr)
            continue;

        BBox* box = page->OutputBox();
        DrawMeter(bitmap, level_left, peak_left);
        if (window->LockWithTimeout(kLockPatience) != B_OK)
            continue;
        box->DrawBitmap(bitmap, kBitmapSource, kLeftBar);
        window->Unlock();

        DrawMeter(bitmap, level_right, peak_right);
        if (window->LockWithTimeout(kLockPatience) != B_OK)
            continue;
        box->DrawBitmap(bitmap, kBitmapSource, kRightBar);
        DrawScaleMarks(box);
        window->ChannelsPage()->Refresh(); // the channels' lights at the same cadence
        window->Unlock();
    }
    return B_OK;
}
