// The meter as the Main page shows it: two bars of 58 cells with a peak mark each, redrawn by a
// thread of their own about 25 times a second, and the scale marks under them.
#pragma once

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"

class BView;

constexpr int METER_CELLS = 58;
constexpr int METER_CELL_PIXELS = 6;

// Paints one bar for a level and its peak (linear, 1.0 full scale) into a 348 x 1 bitmap.
void DrawMeter(BBitmap* bitmap, float level, float peak);

// The scale's tick marks, in the output box's high colour.
void DrawScaleMarks(BView* box);

// The meter thread: view is the Main page. Never returns; at quit it is suspended.
status_t meter_thread(void* view);
