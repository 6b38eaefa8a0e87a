// The meter's bar, cell by cell and pixel by pixel, and the scale's tick marks, drawn without a
// display: a bitmap is plain memory and a view keeps what is painted into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/interface/Box.h"
#include "ui/MeterDisplay.h"

namespace
{

constexpr uint32 Rgb(uint32 red, uint32 green, uint32 blue)
{
    return red << 16 | green << 8 | blue;
}

const uint32 kPaleGreen = Rgb(104, 200, 104);
const uint32 kGreen = Rgb(23, 184, 23);
const uint32 kPaleRed = Rgb(232, 160, 160);
const uint32 kRed = Rgb(255, 0, 0);
const uint32 kGrey = Rgb(200, 200, 200);
const uint32 kLightGrey = Rgb(216, 216, 216);

const std::vector<uint32> kGreenCell = {kPaleGreen, kGreen, kGreen, kGreen, kPaleGreen, kGrey};
const std::vector<uint32> kRedCell = {kPaleRed, kRed, kRed, kRed, kPaleRed, kGrey};
const std::vector<uint32> kUnlitCell = {kGrey, kGrey, kGrey, kGrey, kGrey, kLightGrey};

// The bar as it should look: green cells, red cells, unlit cells, and a mark in cell `mark`
// (1..58; 0 for none) of the given kind.
std::vector<uint32> Bar(int green, int red, int mark = 0, bool red_mark = false)
{
    std::vector<uint32> pixels;
    for (int cell = 0; cell < 58; cell++)
    {
        const std::vector<uint32>& kind =
            cell < green ? kGreenCell : (cell < green + red ? kRedCell : kUnlitCell);
        pixels.insert(pixels.end(), kind.begin(), kind.end());
    }
    if (mark > 0)
    {
        const std::vector<uint32>& kind = red_mark ? kRedCell : kGreenCell;
        std::copy(kind.begin(), kind.end(), pixels.begin() + (mark - 1) * 6);
    }
    return pixels;
}

// Which cells differ, for a readable failure.
std::string Differences(const std::vector<uint32>& drawn, const std::vector<uint32>& expected)
{
    std::string cells;
    for (size_t cell = 0; cell < 58; cell++)
    {
        if (!std::equal(drawn.begin() + 6 * cell, drawn.begin() + 6 * cell + 6,
                        expected.begin() + 6 * cell))
            cells += " " + std::to_string(cell + 1);
    }
    return cells.empty() ? cells : " cells" + cells + " differ";
}

class MeterBar : public ::testing::Test
{
protected:
    std::vector<uint32> Draw(float level, float peak)
    {
        DrawMeter(&bitmap, level, peak);
        return std::vector<uint32>(bitmap.Pixels(), bitmap.Pixels() + 348);
    }

    BBitmap bitmap{BRect(0, 0, 347, 0), B_RGB32};
};

TEST_F(MeterBar, LevelsLightTheirCells)
{
    ASSERT_EQ(bitmap.PixelWidth(), 348);
    ASSERT_EQ(bitmap.PixelHeight(), 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case
    {
        float level;
        int green, red;
    };
    // Drawn one after the other into the same bitmap: nothing of a bar may stay behind.
    for (const Case& c :
         {Case{10.0f, 40, 18}, Case{1.0f, 40, 1}, Case{0.999f, 40, 0}, Case{0.01f, 1, 0},
          Case{0.0099f, 0, 0}, Case{0.1f, 21, 0}, Case{0.0f, 0, 0}, Case{2.0f, 40, 7},
          Case{nan, 0, 0}, Case{infinity, 40, 18}, Case{-1.0f, 0, 0}})
    {
        std::vector<uint32> expected = Bar(c.green, c.red);
        std::vector<uint32> drawn = Draw(c.level, 0.0f);
        EXPECT_EQ(drawn, expected) << "level " << c.level << ":" << Differences(drawn, expected);
    }
}

TEST_F(MeterBar, PeaksMarkTheirCell)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float plus3db = static_cast<float>(std::pow(10.0, 3.0 / 20.0));
    struct Case
    {
        float level, peak;
        int green, red, mark;
        bool red_mark;
    };
    for (const Case& c : {
             Case{0.1f, plus3db, 21, 0, 44, true}, // a red mark above a lower bar
             Case{0.0f, 0.01f, 0, 0, 1, false},    // -40 dB: the first cell
             Case{0.0f, 0.9f, 0, 0, 40, false},    // the last green cell
             Case{0.0f, 1.0f, 0, 0, 41, true},     // 0 dB: the first red cell
             Case{0.0f, 10.0f, 0, 0, 58, true},    // beyond the scale: the last cell
             Case{0.0f, std::numeric_limits<float>::infinity(), 0, 0, 58, true},
             Case{2.0f, 0.5f, 40, 7, 34, false},   // inside the lit bar (-6.02 dB)
             Case{0.5f, 0.0f, 34, 0, 0, false},    // no peak, no mark
             Case{0.5f, 0.0099f, 34, 0, 0, false}, // below the scale
             Case{0.5f, nan, 34, 0, 0, false},
         })
    {
        std::vector<uint32> expected = Bar(c.green, c.red, c.mark, c.red_mark);
        std::vector<uint32> drawn = Draw(c.level, c.peak);
        EXPECT_EQ(drawn, expected)
            << "level " << c.level << ", peak " << c.peak << ":" << Differences(drawn, expected);
    }
}

TEST(MeterScale, MarksAreFilledInTheBoxHighColour)
{
    BBox box(BRect(6, 4, 372, 135), "box");
    const rgb_color high = {12, 34, 56, 255};
    box.SetHighColor(high);
    DrawScaleMarks(&box);

    using Rect = std::tuple<float, float, float, float>;
    std::vector<Rect> expected;
    for (int k = 0; k < 8; k++)
    {
        float major = 73.0f + 36.0f * static_cast<float>(k);
        float minor = 91.0f + 36.0f * static_cast<float>(k);
        expected.emplace_back(major, 41, major + (k == 5 ? 1 : 0), 48);
        expected.emplace_back(minor, 41, minor, 43);
        expected.emplace_back(major, 63, major + (k == 3 || k == 5 ? 1 : 0), 72);
        expected.emplace_back(minor, 69, minor, 71);
    }
    for (const Rect& end : {Rect{12, 41, 13, 48}, Rect{12, 63, 13, 72}, Rect{355, 41, 356, 48},
                            Rect{355, 63, 356, 72}, Rect{55, 41, 55, 43}, Rect{37, 41, 37, 43},
                            Rect{55, 69, 55, 71}, Rect{37, 69, 37, 71}, Rect{253, 19, 254, 21}})
        expected.push_back(end);

    std::vector<Rect> drawn;
    for (const BView::Painting& painting : box.Paintings())
    {
        const BRect& r = painting.rect;
        drawn.emplace_back(r.left, r.top, r.right, r.bottom);
        size_t area =
            static_cast<size_t>(r.IntegerWidth() + 1) * static_cast<size_t>(r.IntegerHeight() + 1);
        EXPECT_EQ(painting.pixels, std::vector<uint32>(area, Rgb(12, 34, 56)));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(drawn.begin(), drawn.end());
    EXPECT_EQ(drawn, expected);

    // Drawn again each frame: the marks replace themselves, they do not pile up.
    DrawScaleMarks(&box);
    EXPECT_EQ(box.Paintings().size(), expected.size());
}

} // namespace
