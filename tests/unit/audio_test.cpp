// The audio output: the sound player on a real JACK server, BufferFiller's steps, the level
// meter's arithmetic, and the failure alert.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "app/AudioSetup.h"
#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "audio/LevelMeter.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "platform/support/Threads.h"
#include "tests/support/JackRig.h"
#include "tests/support/TestSupport.h"

namespace
{

void reset_levels()
{
    current_meter_level_l = current_meter_level_r = 0.0f;
    peak_meter_level_l = peak_meter_level_r = 0.0f;
}

media_raw_audio_format float_format(unsigned long frames)
{
    media_raw_audio_format format;
    format.frame_rate = 48000;
    format.channel_count = 2;
    format.format = B_AUDIO_FLOAT;
    format.byte_order = B_MEDIA_LITTLE_ENDIAN;
    format.buffer_size = frames * 8;
    return format;
}

} // namespace

TEST(LevelMeter, PeakScanTakesTheLargestPositiveSampleOfEachSide)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> all_negative = {-0.9f, -0.5f, -1.0f, -0.2f};
    float left = 1;
    float right = 1;
    PeakScan(all_negative.data(), 2, &left, &right);
    EXPECT_EQ(left, 0.0f);
    EXPECT_EQ(right, 0.0f);

    std::vector<float> mixed = {0.1f, nan, nan, 0.3f, 0.7f, -0.8f, 0.2f, 0.25f};
    PeakScan(mixed.data(), 4, &left, &right);
    EXPECT_EQ(left, 0.7f);
    EXPECT_EQ(right, 0.3f);
    PeakScan(mixed.data(), 0, &left, &right);
    EXPECT_EQ(left, 0.0f);
}

TEST(LevelMeter, LevelsRiseAtOnceAndDecayByTheBuffersLength)
{
    for (int rate : {48000, 96000})
    {
        reset_levels();
        UpdateMeterLevels(0.5f, 0.25f, 64, rate);
        EXPECT_EQ(current_meter_level_l, 0.5f) << "instant attack";
        EXPECT_EQ(peak_meter_level_r, 0.25f);

        double constant = rate > 50000 ? 0.00005 : 0.0001;
        UpdateMeterLevels(0.0f, 0.1f, 128, rate);
        EXPECT_EQ(current_meter_level_l, static_cast<float>(0.5 / (1 + 128 * constant))) << rate;
        EXPECT_EQ(current_meter_level_r, static_cast<float>(0.25 / (1 + 128 * constant)));
        EXPECT_EQ(peak_meter_level_l, 0.5f) << "peaks hold";
    }

    // 1.0 goes dark (below 0.01) in a little over one second of 64-frame buffers at 44100 Hz.
    reset_levels();
    UpdateMeterLevels(1.0f, 1.0f, 64, 44100);
    int buffers = 0;
    while (current_meter_level_l >= 0.01f)
    {
        UpdateMeterLevels(0.0f, 0.0f, 64, 44100);
        buffers++;
    }
    double seconds = buffers * 64.0 / 44100;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 1.1);
    EXPECT_EQ(peak_meter_level_l, 1.0f);

    ClearPeakLevels();
    EXPECT_EQ(peak_meter_level_l, 0.0f);
    EXPECT_EQ(peak_meter_level_r, 0.0f);
    EXPECT_GT(current_meter_level_l, 0.0f) << "clearing leaves the current levels";
}

TEST(AudioOutput, RatesAndBufferSizesForEveryStoredIndex)
{
    const int rates[] = {32000, 44100, 48000, 88200, 96000, 96000, 96000};
    const int rate_indexes[] = {0, 1, 2, 3, 4, 5, -1};
    for (int index = 0; index < 7; index++)
        EXPECT_EQ(SampleRateForIndex(rate_indexes[index]), rates[index]) << rate_indexes[index];

    // Timing index 0..3 and an unknown one, up to and above 50000 Hz.
    const int up_to_50000[] = {256, 128, 64, 64, 64};
    const int above_50000[] = {512, 256, 128, 64, 64};
    const int timing_indexes[] = {0, 1, 2, 3, 17};
    for (int index = 0; index < 5; index++)
    {
        for (int rate : {32000, 44100, 48000, 50000})
            EXPECT_EQ(FramesPerBuffer(timing_indexes[index], rate), up_to_50000[index]) << rate;
        for (int rate : {50001, 88200, 96000})
            EXPECT_EQ(FramesPerBuffer(timing_indexes[index], rate), above_50000[index]) << rate;
    }
}

TEST(AudioOutput, EnginePatienceIsAQuarterOfTheBufferPeriod)
{
    EXPECT_EQ(EnginePatience(64, 48000), 333);
    EXPECT_EQ(EnginePatience(512, 96000), 1333);
    EXPECT_EQ(EnginePatience(256, 32000), 2000);
}

// BufferFiller against the recording stand-in, whose renders are 0.25 left and -0.5 right.
class Filler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitDefaults();
        unsetenv("DISPLAY");
        unsetenv("HARMOLOOM_ALERT_ANSWERS");
        LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
        Synth = new HARMOLOOM(48000);
        current_sample_rate = 48000;
        reset_levels();
    }
    void TearDown() override
    {
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
    }
    TemporaryFolder folder;
};

TEST_F(Filler, RendersThenMetersTheBuffer)
{
    std::vector<float> buffer(128, 9.0f);
    BufferFiller(nullptr, buffer.data(), buffer.size() * sizeof(float), float_format(64));
    EXPECT_EQ(buffer[0], 0.25f);
    EXPECT_EQ(buffer[1], -0.5f);
    EXPECT_EQ(current_meter_level_l, 0.25f);
    EXPECT_EQ(current_meter_level_r, 0.0f) << "negative samples never raise the level";

    // A buffer too small to hold a frame renders and scans nothing, but the meter still runs:
    // the cleared peak climbs back to the current level.
    ClearPeakLevels();
    float tiny[1] = {5.0f};
    BufferFiller(nullptr, tiny, 4, float_format(64));
    EXPECT_EQ(tiny[0], 5.0f);
    EXPECT_EQ(peak_meter_level_l, 0.25f);
}

TEST_F(Filler, AnEngineHeldElsewhereGivesSilenceInsteadOfAWait)
{
    std::atomic<bool> holding{false};
    std::thread loader(
        [&]
        {
            Synth->lock.Lock(); // as a long SoundFont load does
            holding = true;
            snooze(1000000);
            Synth->lock.Unlock();
        });
    while (!holding)
        snooze(100);
    UpdateMeterLevels(0.5f, 0.5f, 64, 48000);
    std::vector<float> buffer(128, 9.0f);
    bigtime_t before = system_time();
    BufferFiller(nullptr, buffer.data(), buffer.size() * sizeof(float), float_format(64));
    bigtime_t waited = system_time() - before;
    loader.join();
    EXPECT_LT(waited, 200000) << "it must not wait out the load";
    for (float sample : buffer)
        ASSERT_EQ(sample, 0.0f);
    EXPECT_LT(current_meter_level_l, 0.5f) << "the meter decays meanwhile";
    EXPECT_GT(current_meter_level_l, 0.49f);
}

// The priority is set once per process, so each case runs in a fresh process of its own.
TEST_F(Filler, PriorityIsSetOnTheFirstBufferOnly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [](int priority_index)
    {
        settings[setting::priority_index] = priority_index;
        int nice_after_first = -100;
        int nice_after_second = -100;
        std::thread audio(
            [&]
            {
                std::vector<float> buffer(128);
                setpriority(PRIO_PROCESS, static_cast<id_t>(find_thread(nullptr)), 5);
                BufferFiller(nullptr, buffer.data(), 512, float_format(64));
                nice_after_first =
                    getpriority(PRIO_PROCESS, static_cast<id_t>(find_thread(nullptr)));
                setpriority(PRIO_PROCESS, static_cast<id_t>(find_thread(nullptr)), 5);
                BufferFiller(nullptr, buffer.data(), 512, float_format(64));
                nice_after_second =
                    getpriority(PRIO_PROCESS, static_cast<id_t>(find_thread(nullptr)));
            });
        audio.join();
        bool first_set = nice_after_first != 5;
        bool second_set = nice_after_second != 5;
        _exit((first_set ? 1 : 0) + (second_set ? 2 : 0));
    };
    EXPECT_EXIT(run(0), ::testing::ExitedWithCode(1), "") << "normal priority, once";
    EXPECT_EXIT(run(2), ::testing::ExitedWithCode(0), "") << "left to the audio system";
}

TEST_F(Filler, AnotherSampleFormatEndsInTheAudioFailureAlert)
{
    std::string settings_path = SettingsFilePath();
    auto feed_integers = [](const char* answers)
    {
        if (answers != nullptr)
            setenv("HARMOLOOM_ALERT_ANSWERS", answers, 1);
        media_raw_audio_format format = float_format(64);
        format.format = 0x4; // 16-bit integers
        std::vector<float> buffer(128);
        BufferFiller(nullptr, buffer.data(), 512, format);
        _exit(0); // not reached
    };
    const std::string alert = "Alert \"failed\" (stop):\nSorry, an unexpected error occured when "
                              "trying to initialize the audio output.";
    WriteFile(settings_path, "kept");
    EXPECT_EXIT(feed_integers(nullptr), ::testing::ExitedWithCode(1), RegexLiteral(alert));
    EXPECT_EQ(ReadFile(settings_path), "kept") << "\"OK\" leaves the settings";
    EXPECT_EXIT(feed_integers("0"), ::testing::ExitedWithCode(1),
                RegexLiteral("Answered [0] \"Restore to defaults\""));
    EXPECT_EQ(ReadFile(settings_path), "") << "\"Restore to defaults\" empties them";
}

// The player on a JACK server with the dummy driver.
class Player : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
        unsetenv("HARMOLOOM_AUDIO");
    }
    JackServer server{48000, 64};
};

namespace
{

struct Calls
{
    std::atomic<int> count{0};
    std::atomic<size_t> last_size{0};
    std::atomic<int> inside{0};
    bigtime_t stay = 0;
};

void count_call(void* cookie, void* buffer, size_t size, const media_raw_audio_format&)
{
    auto* calls = static_cast<Calls*>(cookie);
    calls->inside = 1;
    std::memset(buffer, 0, size);
    calls->last_size = size;
    if (calls->stay > 0)
        snooze(calls->stay);
    calls->count++;
    calls->inside = 0;
}

} // namespace

TEST_F(Player, WithJackBuffersAreTheServersPeriodAtItsRateWhateverWasAsked)
{
    for (unsigned long frames : {256ul, 32ul})
    {
        Calls calls;
        media_raw_audio_format format = float_format(frames);
        format.frame_rate = 96000;
        BSoundPlayer sound(&format, "Harmoloom", count_call, nullptr, &calls);
        ASSERT_EQ(sound.InitCheck(), B_OK);
        EXPECT_STREQ(sound.BackendName(), "jack");
        EXPECT_EQ(sound.FrameRate(), 48000);
        EXPECT_EQ(sound.Period(), 64u);
        EXPECT_EQ(sound.BackendDescription(), "JACK (48 kHz, 64)");
        ASSERT_EQ(sound.Start(), B_OK);
        bigtime_t begin = system_time();
        while (calls.count < 50 && system_time() - begin < 10000000)
            snooze(1000);
        sound.Stop(true, true);
        EXPECT_GE(calls.count, 50) << frames;
        EXPECT_EQ(calls.last_size, 64u * 8) << frames;
    }
}

TEST_F(Player, StopReturnsOnlyOnceNoCallRuns)
{
    Calls calls;
    calls.stay = 20000; // each call lingers, as one waiting for a lock would
    media_raw_audio_format format = float_format(64);
    BSoundPlayer sound(&format, "Harmoloom", count_call, nullptr, &calls);
    ASSERT_EQ(sound.Start(), B_OK);
    while (calls.count < 2)
        snooze(1000);
    sound.Stop(true, true);
    EXPECT_EQ(calls.inside, 0);
    int stopped_at = calls.count;
    snooze(100000);
    EXPECT_EQ(calls.count, stopped_at);
}

TEST_F(Player, StartAudioOpensOnceAndConnectsToThePlaybackPorts)
{
    InitDefaults();
    TemporaryFolder folder;
    LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
    Synth = new HARMOLOOM(48000);
    int first_view = 0;
    int second_view = 0;
    StartAudio(48000, 64, reinterpret_cast<MAINVIEW*>(&first_view));
    ASSERT_NE(player, nullptr);
    StartAudio(96000, 128, reinterpret_cast<MAINVIEW*>(&second_view));
    EXPECT_EQ(theview, reinterpret_cast<MAINVIEW*>(&first_view));
    EXPECT_EQ(current_sample_rate, 48000);

    JackRig rig(server.Name());
    ASSERT_TRUE(rig.Open());
    std::string left = rig.FindPort("Harmoloom:left");
    EXPECT_EQ(rig.Connections(left), std::vector<std::string>{"system:playback_1"});
    EXPECT_EQ(rig.Connections(rig.FindPort("Harmoloom:right")),
              std::vector<std::string>{"system:playback_2"});

    StopAudio();
    EXPECT_EQ(player, nullptr);
    StopAudio();
    EXPECT_EQ(player, nullptr);
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

TEST(AudioOutputDeathTest, NoOutputToBeHadEndsInTheAlert)
{
    auto start_without_output = []
    {
        setenv("HARMOLOOM_AUDIO", "none", 1);
        unsetenv("HARMOLOOM_ALERT_ANSWERS");
        unsetenv("DISPLAY");
        StartAudio(48000, 64, nullptr);
        _exit(0);
    };
    EXPECT_EXIT(start_without_output(), ::testing::ExitedWithCode(1),
                RegexLiteral("Buttons: [0] \"Restore to defaults\" [1] \"OK\"\nAnswered [1]"));
}
