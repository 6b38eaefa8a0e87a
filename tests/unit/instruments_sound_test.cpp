// Instrument files through LoadAnyFile into the real FluidSynth: recordings made by sox and
// shipped by alsa-utils are converted, load without a complaint and play at their pitch; a real
// SoundFont goes straight to the engine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "instruments/LoadAnyFile.h"
#include "instruments/WaveToSoundfont.h"
#include "platform/support/AddOn.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr double kRate = 48000;

// What FluidSynth complains about while a test runs, but for the drum channels finding no
// drum kit (bank 128) in a SoundFont that has none: that is about the channels, not the file.
std::vector<std::string> complaints;

void record_complaint(int, const char* message, void*)
{
    if (std::string(message).rfind("No preset found on channel", 0) != 0)
        complaints.emplace_back(message);
}

class Instruments : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        LoadLibrary(HARMOLOOM_BUILD_DIR "/Harmoloom");
        using LogFunction = void (*)(int, const char*, void*);
        LogFunction (*set_log_function)(int, LogFunction, void*) = nullptr;
        get_image_symbol(libraryimage, "fluid_set_log_function", B_SYMBOL_TYPE_ANY,
                         reinterpret_cast<void**>(&set_log_function));
        for (int level : {0, 1, 2}) // panic, error, warning
            set_log_function(level, record_complaint, nullptr);
    }
    static void TearDownTestSuite() { FreeLibrary(); }

    void SetUp() override
    {
        // The conversion template is found from the program's folder.
        ASSERT_EQ(chdir(HARMOLOOM_BUILD_DIR), 0);
        engine = std::make_unique<HARMOLOOM>(kRate);
        ASSERT_EQ(engine->InitCheck(), 0);
        engine->SetGain(0.5f);
        complaints.clear();
    }

    std::string Sox(const std::string& name, const std::vector<std::string>& format,
                    const std::string& sound)
    {
        std::string path = folder.File(name);
        std::vector<std::string> command = {"/usr/bin/sox", "-n"};
        command.insert(command.end(), format.begin(), format.end());
        command.push_back(path);
        command.push_back("synth");
        command.push_back("0.5");
        std::istringstream words(sound);
        for (std::string word; words >> word;)
            command.push_back(word);
        ProcessResult made = RunProcess(command, {});
        EXPECT_EQ(made.exit_status, 0) << made.errors;
        return path;
    }

    // Seconds of output, both channels mixed.
    std::vector<float> Render(double seconds)
    {
        size_t blocks = static_cast<size_t>(seconds * kRate / 64);
        std::vector<float> out(blocks * 128);
        for (size_t block = 0; block < blocks; block++)
            engine->MakeBuffer(out.data() + block * 128, 64);
        return Channel(out, 2);
    }

    std::vector<float> Play(int key, double seconds)
    {
        engine->NoteOn(0, key, 110);
        std::vector<float> sound = Render(seconds);
        engine->NoteOff(0, key);
        return sound;
    }

    double PitchOf(int key)
    {
        std::vector<float> sound = Play(key, 0.3);
        return FundamentalFrequency(std::vector<float>(sound.begin() + 2400, sound.end()), kRate);
    }

    TemporaryFolder folder;
    std::unique_ptr<HARMOLOOM> engine;
};

TEST_F(Instruments, RecordingsOfEveryAcceptedFormatPlayAtTheirPitchOnKey60)
{
    for (const char* bits : {"8", "16"})
    {
        for (const char* channels : {"1", "2"})
        {
            for (const char* rate : {"22050", "44100", "48000", "96000"})
            {
                std::string what = std::string(bits) + " bits, " + channels + " channels, " + rate;
                std::string path =
                    Sox("sine.wav", {"-r", rate, "-b", bits, "-c", channels}, "sine 440 vol 0.5");
                int handle = LoadAnyFile(engine.get(), path.c_str(), 0);
                ASSERT_NE(handle, 0) << what;
                EXPECT_FALSE(FileExists(TemporarySoundfontPath())) << "left behind: " << what;
                EXPECT_NEAR(PitchOf(60), 440.0, 4.4) << what;
                EXPECT_TRUE(complaints.empty()) << what << ": " << complaints.front();
                engine->ClearSoundfont(handle);
            }
        }
    }
}

TEST_F(Instruments, OtherKeysTransposeTheRecording)
{
    std::string path = Sox("sine.wav", {"-r", "44100", "-b", "16", "-c", "1"}, "sine 440 vol 0.5");
    ASSERT_NE(LoadAnyFile(engine.get(), path.c_str(), 0), 0);
    EXPECT_NEAR(PitchOf(72), 880.0, 8.8);
    EXPECT_NEAR(PitchOf(48), 220.0, 2.2);
    EXPECT_NEAR(PitchOf(67), 440.0 * std::pow(2.0, 7 / 12.0), 6.6);
}

TEST_F(Instruments, ARecordingPlaysOnceAndStopsSoonAfterTheKeyIsReleased)
{
    std::string path = Sox("sine.wav", {"-r", "48000", "-b", "16", "-c", "1"}, "sine 440");
    ASSERT_NE(LoadAnyFile(engine.get(), path.c_str(), 0), 0);
    engine->SetReverbLevel(0.0);
    engine->SetChorusLevel(0.0);

    std::vector<float> held = Play(60, 1.0); // the recording lasts 0.5 s
    double during = Rms(held, 4800, 19200);
    ASSERT_GT(during, 0.01);
    EXPECT_LT(Rms(held, 33600, 48000), 0.001 * during) << "no loop: silence after its end";

    engine->NoteOn(0, 60, 110);
    Render(0.1);
    engine->NoteOff(0, 60);
    std::vector<float> after = Render(0.4);
    EXPECT_GT(Rms(after, 0, 480), 0.1 * during) << "a fade, not a cut";
    EXPECT_LT(Rms(after, 14400, 19200), 0.01 * during) << "faded out 0.3 s after release";
}

TEST_F(Instruments, AlsaUtilsRecordingsConvertLoadAndSound)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/share/sounds/alsa"))
    {
        if (entry.path().extension() != ".wav")
            continue;
        files++;
        int handle = LoadAnyFile(engine.get(), entry.path().c_str(), 0);
        ASSERT_NE(handle, 0) << entry.path();
        std::vector<float> sound = Play(60, 0.5);
        EXPECT_GT(Rms(sound, 0, sound.size()), 0.001) << entry.path();
        EXPECT_TRUE(complaints.empty()) << entry.path() << ": " << complaints.front();
        engine->ClearSoundfont(handle);
    }
    EXPECT_GE(files, 5);
}

TEST_F(Instruments, SoundfontsGoStraightToTheEngine)
{
    int handle = LoadAnyFile(engine.get(), TIMGM6MB_SOUNDFONT, 0);
    ASSERT_NE(handle, 0);
    std::vector<float> piano = Play(69, 0.3);
    EXPECT_GT(Rms(piano, 0, piano.size()), 0.005);
}

TEST_F(Instruments, UnconvertibleOrMissingFilesGiveNoHandle)
{
    std::string bits24 = Sox("24.wav", {"-r", "44100", "-b", "24", "-c", "1"}, "sine 440");
    std::string floating = Sox(
        "float.wav", {"-r", "44100", "-e", "floating-point", "-b", "32", "-c", "1"}, "sine 440");
    EXPECT_EQ(LoadAnyFile(engine.get(), bits24.c_str(), 0), 0) << "a WAV file, refused";
    EXPECT_EQ(LoadAnyFile(engine.get(), floating.c_str(), 0), 0) << "goes the SoundFont way";
    EXPECT_EQ(LoadAnyFile(engine.get(), folder.File("missing.wav").c_str(), 0), 0);
    EXPECT_EQ(LoadAnyFile(engine.get(), nullptr, 0), 0);
    EXPECT_EQ(LoadAnyFile(nullptr, TIMGM6MB_SOUNDFONT, 0), 0);
    EXPECT_FALSE(FileExists(TemporarySoundfontPath()));
}

} // namespace
