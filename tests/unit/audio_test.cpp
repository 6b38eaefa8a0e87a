// The audio output: the level meter, the sound player on a real JACK server, and the meter's bar
// in a bitmap.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "audio/AudioOutput.h"
#include "audio/LevelMeter.h"
#include "platform/interface/Bitmap.h"
#include "platform/support/Threads.h"
#include "tests/support/JackRig.h"
#include "tests/support/TestSupport.h"
#include "ui/MeterDisplay.h"

namespace
{

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInfinity = std::numeric_limits<float>::infinity();

struct Callbacks
{
    std::atomic<int> count{0};
    std::atomic<size_t> last_size{0};
    std::atomic<bool> inside{false};
    std::atomic<bigtime_t> stay{0};
};

void CountCall(void* cookie, void* buffer, size_t size, const media_raw_audio_format&)
{
    auto* calls = static_cast<Callbacks*>(cookie);
    calls->inside = true;
    std::memset(buffer, 0, size);
    calls->last_size = size;
    snooze(calls->stay);
    calls->count++;
    calls->inside = false;
}

// On a server with the dummy driver at 48 kHz and 64 frames, whatever the format asks.
TEST(PlayerOnJack, RunsAtTheServersRateAndPeriodAndStopsOnlyOnceNoCallRuns)
{
    JackServer server{48000, 64};
    ASSERT_TRUE(server.Running());
    setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
    unsetenv("HARMOLOOM_AUDIO");
    Callbacks calls;
    media_raw_audio_format format = {96000, 2, B_AUDIO_FLOAT, B_MEDIA_LITTLE_ENDIAN, 256 * 8};
    BSoundPlayer sound(&format, "Harmoloom", CountCall, nullptr, &calls);
    ASSERT_EQ(sound.InitCheck(), B_OK);
    EXPECT_STREQ(sound.BackendName(), "jack");
    EXPECT_EQ(sound.FrameRate() * 1000 + sound.Period(), 48000 * 1000 + 64);
    EXPECT_EQ(sound.BackendDescription(), "JACK (48 kHz, 64)");
    ASSERT_EQ(sound.Start(), B_OK);
    ASSERT_TRUE(Eventually([&] { return calls.count >= 20; }, 10));
    EXPECT_EQ(calls.last_size, 64u * 8);
    calls.stay = 20000; // each call lingers, as one waiting for a lock would
    int lingering = calls.count + 2;
    ASSERT_TRUE(Eventually([&] { return calls.count >= lingering; }, 10));
    sound.Stop(true, true);
    EXPECT_FALSE(calls.inside);
    int stopped_at = calls.count;
    snooze(100000);
    EXPECT_EQ(calls.count, stopped_at);
}

// Each cell of the bar (58 of six pixels) by the colour of its middle: green, red or unlit.
std::string Cells(const BBitmap& bitmap)
{
    std::string cells;
    for (int cell = 0; cell < 58; cell++)
    {
        uint32 pixel = bitmap.Pixels()[cell * 6 + 2];
        cells += pixel == 0x17B817 ? 'G' : pixel == 0xFF0000 ? 'R' : pixel == 0x767676 ? '.' : '?';
    }
    return cells;
}

TEST(LevelMeter, PeakScanDecayAndTheCellsOfTheBar)
{
    BBitmap bitmap(BRect(0, 0, 347, 0), B_RGB32);
    const float plus3db = static_cast<float>(std::pow(10.0, 3.0 / 20.0));
    // Level, peak, green and red cells, and the peak's cell (1..58) with its colour.
    const std::tuple<float, float, int, int, int, char> cases[] = {
        {10.0f, 0, 40, 18, 0, 0},        {1.0f, 0, 40, 1, 0, 0},
        {0.999f, 0, 40, 0, 0, 0},        {0.01f, 0, 1, 0, 0, 0},
        {0.0099f, 0, 0, 0, 0, 0},        {kNan, 0, 0, 0, 0, 0},
        {kInfinity, 0, 40, 18, 0, 0},    {-1.0f, 0, 0, 0, 0, 0},
        {0.1f, plus3db, 21, 0, 44, 'R'}, {0, 0.01f, 0, 0, 1, 'G'},
        {0, 0.9f, 0, 0, 40, 'G'},        {0, 1.0f, 0, 0, 41, 'R'},
        {0, 10.0f, 0, 0, 58, 'R'},       {0, kInfinity, 0, 0, 58, 'R'},
        {2.0f, 0.5f, 40, 7, 34, 'G'},    {0.5f, 0.0099f, 34, 0, 0, 0},
        {0.5f, kNan, 34, 0, 0, 0},
    };
    // Drawn one after the other into the same bitmap: nothing of a bar may stay behind.
    for (auto [level, peak, green, red, mark, colour] : cases)
    {
        std::string expected = std::string(green, 'G') + std::string(red, 'R');
        expected.resize(58, '.');
        if (mark > 0)
            expected[mark - 1] = colour;
        DrawMeter(&bitmap, level, peak);
        EXPECT_EQ(Cells(bitmap), expected) << "level " << level << ", peak " << peak;
    }

    std::vector<float> samples = {-0.9f, -0.5f, 0.1f, kNan, kNan, 0.3f, 0.7f, -0.8f, 0.2f, 0.25f};
    float left = 1;
    float right = 1;
    PeakScan(samples.data(), 1, &left, &right);
    EXPECT_EQ(left + right, 0.0f) << "negative samples never raise the level";
    PeakScan(samples.data(), 5, &left, &right);
    EXPECT_EQ(left, 0.7f);
    EXPECT_EQ(right, 0.3f);
    PeakScan(samples.data(), 0, &left, &right);
    EXPECT_EQ(left, 0.0f);

    // Full scale rises at once and goes dark (below 0.01) a little over a second later in
    // 64-frame buffers at 44.1 kHz.
    UpdateMeterLevels(1.0f, 0.5f, 64, 44100);
    EXPECT_EQ(current_meter_level_l, 1.0f);
    int frames = 0;
    for (; current_meter_level_l >= 0.01f; frames += 64)
        UpdateMeterLevels(0.0f, 0.0f, 64, 44100);
    EXPECT_GT(frames, 44100);
    EXPECT_LT(frames, 1.1 * 44100);
}

} // namespace
