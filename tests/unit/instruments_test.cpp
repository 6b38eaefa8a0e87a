// Instrument files: RIFF chunks found, WAV recordings turned into SoundFonts byte for byte, and
// whatever LoadAnyFile makes of real files (recordings by sox and alsa-utils, a real SoundFont),
// heard through the real FluidSynth.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "instruments/LoadAnyFile.h"
#include "instruments/RiffChunks.h"
#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/support/Engines.h"
#include "tests/support/WaveFiles.h"

namespace
{

const std::string kImporter = HARMOLOOM_BUILD_DIR "/Support Files/System Files/Audio File Importer";

// A recording of at least 16 frames (the shortest the converter takes), silence after data.
WaveSpec wave(uint16_t channels, uint16_t bits, std::string data, uint32_t rate = 44100)
{
    WaveSpec spec;
    spec.channels = channels;
    spec.bits = bits;
    spec.sample_rate = rate;
    spec.data = data;
    spec.data.resize(std::max<size_t>(data.size(), 16u * channels * bits / 8),
                     bits == 8 ? '\x80' : 0);
    return spec;
}

int16_t sample_at(const std::string& soundfont, size_t index)
{
    return static_cast<int16_t>(static_cast<unsigned char>(soundfont[246 + 2 * index]) |
                                static_cast<unsigned char>(soundfont[247 + 2 * index]) << 8);
}

class Conversion : public ::testing::Test
{
protected:
    FILE* Open(const std::string& bytes)
    {
        std::string path = folder.File("input" + std::to_string(files.size()));
        WriteFile(path, bytes);
        files.push_back(std::fopen(path.c_str(), "rb"));
        return files.back();
    }
    // Probes and converts a WAV file: the status and the SoundFont's bytes ("" when none).
    std::pair<ConversionStatus, std::string> Convert(const WaveSpec& spec,
                                                     const std::string& importer = kImporter)
    {
        FILE* file = Open(MakeWave(spec));
        WaveFormat format;
        EXPECT_TRUE(ProbeWave(file, &format));
        ConversionStatus status =
            ConvertWave(file, format.data_length, format.bits_per_sample, format.channels,
                        format.sample_rate, importer.c_str(), Output().c_str());
        return {status, FileExists(Output()) ? ReadFile(Output()) : ""};
    }
    std::string Output() const { return folder.File("converted.sf2"); }
    void TearDown() override
    {
        for (FILE* file : files)
            std::fclose(file);
    }
    TemporaryFolder folder;
    std::vector<FILE*> files;
};

} // namespace

// The rate limits are inclusive; each side of a stereo recording is halved towards zero, 8-bit
// ones at 8-bit precision, before they are added. The refusals a user meets are wav2sf's test;
// here a damaged template, a size no SoundFont holds and a planted link. The temporary file is
// private.
TEST_F(Conversion, MixesDownToSixteenBitMonoRefusesDamageReplacesLinksAndFindsPcmPastOddChunks)
{
    for (uint32_t rate : {4096, 96000})
        EXPECT_EQ(Convert(wave(2, 16, "", rate)).second.size(), 674u + 32) << rate;
    const std::pair<WaveSpec, std::vector<int16_t>> cases[] = {
        {wave(2, 16, Samples16({-3, 3, -32768, -32768, 32767, 32767, -1, 0, 1, -2, -7, -7})),
         {0, -32768, 32766, 0, -1, -6}},
        {wave(2, 8, std::string("\x00\x00\xFF\xFF\x7F\x7F\x80\x7F\x80\x7E\x81\x82", 12)),
         {-32768, 32384, -128, 0, -256, 384}},
    };
    for (const auto& [spec, expected] : cases)
    {
        std::string soundfont = Convert(spec).second;
        ASSERT_EQ(soundfont.size(), 674u + 2 * 16) << spec.bits;
        for (size_t index = 0; index < expected.size(); index++)
            EXPECT_EQ(sample_at(soundfont, index), expected[index]) << spec.bits << ", " << index;
    }

    std::string good = ReadFile(kImporter);
    ASSERT_EQ(good.size(), 598u);
    std::vector<std::string> damaged = {
        good + '\0', good.substr(0, 597), good.substr(0, 10), good, good, good};
    damaged[3][15] = '\x00'; // the mark
    damaged[4][0] = 'h';     // the name
    damaged[5][13] = 3;      // the version
    for (const std::string& importer : damaged)
    {
        WriteFile(folder.File("importer"), importer);
        EXPECT_EQ(Convert(wave(1, 16, ""), folder.File("importer")),
                  std::make_pair(ConversionStatus::Template, std::string()))
            << &importer - damaged.data();
    }
    WaveSpec four_gigabytes = wave(1, 8, "");
    four_gigabytes.data_size = 0xFFFFFFF0; // 2 bytes a sample: past a SoundFont's 32-bit sizes
    WriteFile(Output(), "an earlier conversion");
    EXPECT_EQ(Convert(four_gigabytes), std::make_pair(ConversionStatus::Length, std::string()));
    WriteFile(folder.File("victim"), "precious");
    std::filesystem::create_symlink(folder.File("victim"), Output());
    EXPECT_EQ(Convert(wave(1, 16, "")).second.size(), 674u + 32);
    EXPECT_FALSE(std::filesystem::is_symlink(Output()));
    EXPECT_EQ(ReadFile(folder.File("victim")), "precious");

    WaveSpec spec = wave(2, 16, "");
    spec.before_format = Chunk("LIST", "odd") + Chunk("junk", std::string(7, 'j'));
    spec.before_data = Chunk("fact", "12345");
    spec.format_tag = 0xFFFE; // extensible
    constexpr unsigned long kWave = RiffId("WAVE");
    std::string odd = MakeWave(spec);
    EXPECT_EQ(GoToChunk(Open(odd), kWave, RiffId("fmt ")), 16u);
    EXPECT_EQ(GoToChunk(Open(odd), kWave, RiffId("data")), 64u);
    EXPECT_EQ(GoToChunk(Open(odd), kWave, RiffId("cue ")), 0u);
    EXPECT_EQ(GoToChunk(Open(odd), RiffId("sfbk"), RiffId("fmt ")), 0u);
    EXPECT_EQ(GoToChunk(Open(odd.substr(0, odd.size() - 64 - 3)), kWave, RiffId("data")), 0u);
    WaveFormat format;
    EXPECT_TRUE(ProbeWave(Open(odd), &format));
    EXPECT_EQ(format.data_length, 64u);
    spec.format_tag = 3; // floating point
    EXPECT_FALSE(ProbeWave(Open(MakeWave(spec)), &format));

    const std::string temporary = TemporarySoundfontPath();
    ASSERT_NE(temporary.find("." + std::to_string(getpid())), std::string::npos) << temporary;
    struct stat folder_info;
    ASSERT_EQ(stat(std::filesystem::path(temporary).parent_path().c_str(), &folder_info), 0);
    EXPECT_EQ(folder_info.st_mode & 077, 0u) << "nobody else may plant files there";
    ASSERT_EQ(chdir(HARMOLOOM_BUILD_DIR), 0); // the template lies beside the program
    FILE* file = Open(MakeWave(wave(2, 16, "")));
    ASSERT_TRUE(ProbeWave(file, &format));
    ConvertToSf(file, format.data_length, format.bits_per_sample, format.channels,
                format.sample_rate);
    EXPECT_EQ(ReadFile(temporary).size(), 674u + 32);
    ConvertToSf(file, 60, 16, 2, 44100); // refused: the old file goes
    EXPECT_FALSE(FileExists(temporary));
}

namespace
{

// What FluidSynth complains about, but for the drum channels finding no drum kit in a SoundFont
// that has none: that is about the channels, not the file.
std::vector<std::string> complaints;

void record_complaint(int, const char* message, void*)
{
    if (std::string(message).rfind("No preset found on channel", 0) != 0)
        complaints.emplace_back(message);
}

class Instruments : public RealEngine
{
protected:
    void SetUp() override
    {
        RealEngine::SetUp();
        Synth->ClearSoundfont(font);
        ASSERT_EQ(chdir(HARMOLOOM_BUILD_DIR), 0); // the template lies beside the program
        for (int level : {0, 1, 2})               // panic, error, warning
            hook_fluid_set_log_function(level, record_complaint, nullptr);
    }
    TemporaryFolder folder;
};

} // namespace

TEST_F(Instruments, RecordingsOfEveryFormatLoadWithoutComplaintPlayOnceAndTransposeAndFadeOut)
{
    auto load = [](const std::string& path)
    {
        complaints.clear();
        int handle = LoadAnyFile(Synth, path.c_str(), 0);
        EXPECT_NE(handle, 0) << path;
        EXPECT_FALSE(FileExists(TemporarySoundfontPath())) << "left behind by " << path;
        return handle;
    };
    for (const char* bits : {"8", "16"})
        for (const char* channels : {"1", "2"})
            for (const char* rate : {"22050", "44100", "48000", "96000"})
            {
                std::string what = std::string(bits) + " bits, " + channels + " channels, " + rate;
                int handle =
                    load(Tone(folder.File("sound.wav"), {"-b", bits, "-c", channels, "-r", rate},
                              {"0.5", "sine", "440", "vol", "0.5"}));
                EXPECT_NEAR(PitchOf(0, 60), 440.0, 4.4) << what;
                EXPECT_TRUE(complaints.empty()) << what << ": " << complaints.front();
                Synth->ClearSoundfont(handle);
            }
    int others = 0; // and recordings made by alsa-utils
    for (const auto& entry : std::filesystem::directory_iterator("/usr/share/sounds/alsa"))
    {
        if (entry.path().extension() != ".wav")
            continue;
        int handle = load(entry.path());
        Synth->NoteOn(0, 60, 110);
        EXPECT_GT(Level(0.5), 0.001) << entry.path();
        EXPECT_TRUE(complaints.empty()) << entry.path() << ": " << complaints.front();
        Synth->ClearSoundfont(handle);
        others++;
    }
    EXPECT_GE(others, 5);

    std::string tone = Tone(folder.File("sound.wav"), {"-r", "48000"}, {"0.5", "sine", "440"});
    ASSERT_NE(LoadAnyFile(Synth, tone.c_str(), 0), 0);
    EXPECT_NEAR(PitchOf(0, 72), 880.0, 8.8);
    EXPECT_NEAR(PitchOf(0, 48), 220.0, 2.2);
    EXPECT_NEAR(PitchOf(0, 67), 440.0 * std::pow(2.0, 7 / 12.0), 6.6);
    Synth->NoteOn(0, 60, 110);
    std::vector<float> held = Render(1.0); // the recording lasts 0.5 s
    double during = Rms(held, 9600, 38400);
    ASSERT_GT(during, 0.01);
    EXPECT_LT(Rms(held, 67200, 96000), 0.001 * during) << "no loop: silence after its end";
    Synth->NoteOff(0, 60);
    Synth->NoteOn(0, 60, 110);
    Render(0.1);
    Synth->NoteOff(0, 60);
    EXPECT_GT(Level(0.01), 0.1 * during) << "a fade, not a cut";
    Render(0.29);
    EXPECT_LT(Level(), 0.01 * during) << "faded out 0.3 s after release";
}
