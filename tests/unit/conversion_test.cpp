// Finding RIFF chunks and turning WAV recordings into SoundFonts, byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "instruments/RiffChunks.h"
#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveFiles.h"

namespace
{

const std::string kImporter = HARMOLOOM_BUILD_DIR "/Support Files/System Files/Audio File Importer";

uint32_t le32_at(const std::string& bytes, size_t offset)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + 3])) << 24;
}

int16_t sample_at(const std::string& soundfont, size_t index)
{
    return static_cast<int16_t>(le32_at(soundfont, 246 + 2 * index) & 0xFFFF);
}

class Conversion : public ::testing::Test
{
protected:
    // Writes the bytes as a file and opens it for reading.
    FILE* Open(const std::string& bytes)
    {
        WriteFile(folder.File("input"), bytes);
        FILE* file = std::fopen(folder.File("input").c_str(), "rb");
        files.push_back(file);
        return file;
    }

    // Probes and converts a WAV file; the SoundFont's bytes, or "" when none was written.
    std::string Convert(const WaveSpec& spec, ConversionStatus* status = nullptr,
                        const std::string& importer = kImporter)
    {
        FILE* file = Open(MakeWave(spec));
        WaveFormat format;
        EXPECT_TRUE(ProbeWave(file, &format));
        ConversionStatus result =
            ConvertWave(file, format.data_length, format.bits_per_sample, format.channels,
                        format.sample_rate, importer.c_str(), Output().c_str());
        if (status != nullptr)
            *status = result;
        return FileExists(Output()) ? ReadFile(Output()) : "";
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

WaveSpec stereo16(const std::vector<int16_t>& samples)
{
    WaveSpec spec;
    spec.channels = 2;
    spec.data = Samples16(samples);
    return spec;
}

std::vector<int16_t> frames_of(size_t count, int16_t left, int16_t right)
{
    std::vector<int16_t> samples;
    for (size_t frame = 0; frame < count; frame++)
    {
        samples.push_back(left);
        samples.push_back(right);
    }
    return samples;
}

} // namespace

TEST_F(Conversion, SixteenFramesMakeA706ByteSoundfontAroundTheTemplate)
{
    WaveSpec spec = stereo16(frames_of(16, 1000, 3000));
    spec.sample_rate = 22050;
    std::string soundfont = Convert(spec);
    ASSERT_EQ(soundfont.size(), 706u);
    const size_t d = 32;
    std::string importer = ReadFile(kImporter);
    ASSERT_EQ(importer.size(), 598u);

    EXPECT_EQ(soundfont.substr(0, 4), "RIFF");
    EXPECT_EQ(le32_at(soundfont, 4), d + 666);
    EXPECT_EQ(soundfont.substr(8, 222), importer.substr(16, 222));
    EXPECT_EQ(le32_at(soundfont, 230), d + 76);
    EXPECT_EQ(soundfont.substr(234, 8), importer.substr(238, 8));
    EXPECT_EQ(le32_at(soundfont, 242), d + 64);
    for (size_t index = 0; index < 16; index++)
        EXPECT_EQ(sample_at(soundfont, index), 2000);
    EXPECT_EQ(soundfont.substr(246 + d, 64), std::string(64, '\0'));
    EXPECT_EQ(soundfont.substr(310 + d, 296), importer.substr(246, 296));
    EXPECT_EQ(le32_at(soundfont, 606 + d), 16u) << "sample end";
    EXPECT_EQ(soundfont.substr(610 + d, 4), importer.substr(542, 4)) << "loop start";
    EXPECT_EQ(le32_at(soundfont, 614 + d), 8u) << "loop end";
    EXPECT_EQ(le32_at(soundfont, 618 + d), 22050u) << "sample rate";
    EXPECT_EQ(soundfont.substr(622 + d, 52), importer.substr(546, 52));
}

TEST_F(Conversion, SixteenBitStereoHalvesEachSideTowardsZero)
{
    std::string soundfont = Convert(
        stereo16({-3, 3, -32768, -32768, 32767, 32767, -1, 0, 1, -2, -7, -7, 100, -101, 0, 0,
                  0,  0, 0,      0,      0,     0,     0,  0, 0, 0,  0,  0,  0,   0,    0, 0}));
    ASSERT_EQ(soundfont.size(), 706u);
    const int16_t expected[] = {0, -32768, 32766, 0, -1, -6, 0};
    for (size_t index = 0; index < 7; index++)
        EXPECT_EQ(sample_at(soundfont, index), expected[index]) << "frame " << index;
}

TEST_F(Conversion, SixteenBitMonoIsCopied)
{
    WaveSpec spec;
    std::vector<int16_t> samples;
    for (int index = 0; index < 20; index++)
        samples.push_back(static_cast<int16_t>(index * 3277 - 32768));
    spec.data = Samples16(samples);
    std::string soundfont = Convert(spec);
    ASSERT_EQ(soundfont.size(), 674u + 40);
    for (size_t index = 0; index < 20; index++)
        EXPECT_EQ(sample_at(soundfont, index), samples[index]);
    EXPECT_EQ(le32_at(soundfont, 606 + 40), 20u);
    EXPECT_EQ(le32_at(soundfont, 614 + 40), 12u);
}

TEST_F(Conversion, EightBitSamplesAreCentredAndScaled)
{
    WaveSpec mono;
    mono.bits = 8;
    mono.data = std::string("\x00\xFF\x80\x7F\x81", 5) + std::string(11, '\x80');
    std::string soundfont = Convert(mono);
    ASSERT_EQ(soundfont.size(), 674u + 32);
    const int16_t mono_expected[] = {-32768, 32512, 0, -256, 256};
    for (size_t index = 0; index < 5; index++)
        EXPECT_EQ(sample_at(soundfont, index), mono_expected[index]);

    // The second channel is halved at 8-bit precision, so it loses its lowest bit.
    WaveSpec stereo = mono;
    stereo.channels = 2;
    stereo.data = std::string("\x00\x00\xFF\xFF\x7F\x7F\x80\x7F\x80\x7E\x81\x82", 12) +
                  std::string(20, '\x80');
    soundfont = Convert(stereo);
    ASSERT_EQ(soundfont.size(), 674u + 32);
    const int16_t stereo_expected[] = {-32768, 32384, -128, 0, -256, 384};
    for (size_t index = 0; index < 6; index++)
        EXPECT_EQ(sample_at(soundfont, index), stereo_expected[index]) << "frame " << index;
}

TEST_F(Conversion, RefusedInputsWriteNothing)
{
    struct Case
    {
        const char* what;
        WaveSpec spec;
        ConversionStatus status;
    };
    WaveSpec fifteen = stereo16(frames_of(15, 1, 1));
    WaveSpec rate_low = stereo16(frames_of(16, 1, 1));
    rate_low.sample_rate = 4095;
    WaveSpec rate_high = rate_low;
    rate_high.sample_rate = 96001;
    WaveSpec bits24;
    bits24.bits = 24;
    bits24.data = std::string(3 * 16, '\x01');
    WaveSpec three_channels;
    three_channels.channels = 3;
    three_channels.data = std::string(6 * 16, '\x01');
    WaveSpec short_data = stereo16(frames_of(16, 1, 1));
    short_data.data_size = 6400; // it holds 64 bytes
    WaveSpec too_long_for_a_soundfont;
    too_long_for_a_soundfont.bits = 8;
    too_long_for_a_soundfont.data = std::string(16, '\x80');
    too_long_for_a_soundfont.data_size = 0xFFFFFFF0; // 2 bytes a sample: past 32-bit sizes

    const Case cases[] = {
        {"15 frames", fifteen, ConversionStatus::Length},
        {"4095 Hz", rate_low, ConversionStatus::Rate},
        {"96001 Hz", rate_high, ConversionStatus::Rate},
        {"24 bits", bits24, ConversionStatus::Bits},
        {"3 channels", three_channels, ConversionStatus::Channels},
        {"short data chunk", short_data, ConversionStatus::ShortData},
        {"4 GB of 8-bit samples", too_long_for_a_soundfont, ConversionStatus::Length},
    };
    for (const Case& c : cases)
    {
        WriteFile(Output(), "an earlier conversion");
        ConversionStatus status = ConversionStatus::Done;
        EXPECT_EQ(Convert(c.spec, &status), "") << c.what;
        EXPECT_EQ(status, c.status) << c.what;
    }
}

TEST_F(Conversion, RateLimitsAreInclusive)
{
    for (uint32_t rate : {4096u, 48000u, 96000u})
    {
        WaveSpec spec = stereo16(frames_of(16, 5, 5));
        spec.sample_rate = rate;
        std::string soundfont = Convert(spec);
        ASSERT_EQ(soundfont.size(), 706u) << rate;
        EXPECT_EQ(le32_at(soundfont, 618 + 32), rate);
    }
}

TEST_F(Conversion, DamagedTemplateStopsEveryConversion)
{
    std::string good = ReadFile(kImporter);
    struct Case
    {
        const char* what;
        std::string bytes;
    };
    std::string wrong_mark = good;
    wrong_mark[15] = '\x00';
    std::string wrong_name = good;
    wrong_name[0] = 'h';
    std::string wrong_version = good;
    wrong_version[13] = 3;
    const Case cases[] = {{"599 bytes", good + '\0'},       {"597 bytes", good.substr(0, 597)},
                          {"byte 15 not 0xFF", wrong_mark}, {"another name", wrong_name},
                          {"byte 13 not 2", wrong_version}, {"10 bytes", good.substr(0, 10)}};
    for (const Case& c : cases)
    {
        WriteFile(folder.File("importer"), c.bytes);
        ConversionStatus status = ConversionStatus::Done;
        EXPECT_EQ(Convert(stereo16(frames_of(16, 1, 1)), &status, folder.File("importer")), "")
            << c.what;
        EXPECT_EQ(status, ConversionStatus::Template) << c.what;
    }
    ConversionStatus status = ConversionStatus::Done;
    EXPECT_EQ(Convert(stereo16(frames_of(16, 1, 1)), &status, folder.File("none")), "");
    EXPECT_EQ(status, ConversionStatus::Template);
}

TEST_F(Conversion, APlantedLinkIsReplacedNotFollowed)
{
    WriteFile(folder.File("victim"), "precious");
    std::filesystem::create_symlink(folder.File("victim"), Output());
    ConversionStatus status = ConversionStatus::Template;
    std::string soundfont = Convert(stereo16(frames_of(16, 1, 1)), &status);
    EXPECT_EQ(status, ConversionStatus::Done);
    EXPECT_EQ(soundfont.size(), 706u);
    EXPECT_FALSE(std::filesystem::is_symlink(Output()));
    EXPECT_EQ(ReadFile(folder.File("victim")), "precious");
}

TEST_F(Conversion, ConvertToSfWritesTheTemporarySoundfontInThePrivateFolder)
{
    const std::string temporary = TemporarySoundfontPath();
    ASSERT_FALSE(temporary.empty());
    struct stat folder_info;
    ASSERT_EQ(stat(std::filesystem::path(temporary).parent_path().c_str(), &folder_info), 0);
    EXPECT_EQ(folder_info.st_mode & 077, 0u) << "nobody else may plant files there";

    // The template is found from the program's folder, the working directory once it runs.
    ASSERT_EQ(chdir(HARMOLOOM_BUILD_DIR), 0);
    FILE* file = Open(MakeWave(stereo16(frames_of(16, 1, 1))));
    WaveFormat format;
    ASSERT_TRUE(ProbeWave(file, &format));
    ConvertToSf(file, format.data_length, format.bits_per_sample, format.channels,
                format.sample_rate);
    EXPECT_EQ(ReadFile(temporary).size(), 706u);

    ConvertToSf(file, 60, 16, 2, 44100); // refused: the old file goes
    EXPECT_FALSE(FileExists(temporary));
}

TEST_F(Conversion, ChunkSearchSkipsOddChunksAndStopsAtTheEnds)
{
    WaveSpec spec = stereo16(frames_of(16, 1, 1));
    spec.before_format = Chunk("LIST", "odd") + Chunk("junk", std::string(7, 'j'));
    spec.before_data = Chunk("fact", "12345");
    FILE* file = Open(MakeWave(spec));
    EXPECT_EQ(GoToChunk(file, RiffId("WAVE"), RiffId("fmt ")), 16u);
    EXPECT_EQ(std::ftell(file), 12 + 12 + 16 + 8);
    EXPECT_EQ(GoToChunk(file, RiffId("WAVE"), RiffId("data")), 64u);
    EXPECT_EQ(GoToChunk(file, RiffId("WAVE"), RiffId("cue ")), 0u);
    EXPECT_EQ(GoToChunk(file, RiffId("sfbk"), RiffId("fmt ")), 0u) << "another form";
    EXPECT_EQ(GoToChunk(nullptr, RiffId("WAVE"), RiffId("fmt ")), 0u);

    std::string whole = MakeWave(stereo16(frames_of(16, 1, 1)));
    // Cut inside the header of the data chunk.
    EXPECT_EQ(GoToChunk(Open(whole.substr(0, 12 + 24 + 5)), RiffId("WAVE"), RiffId("data")), 0u);
    // A RIFF size that claims more than the file holds, with the chunk missing.
    std::string claims_more = "RIFF" + Le32(100000) + "WAVE" + Chunk("fmt ", std::string(16, 'f'));
    EXPECT_EQ(GoToChunk(Open(claims_more), RiffId("WAVE"), RiffId("data")), 0u);
    // A size just below 2^32 leaps past the end of the RIFF data.
    std::string leap = "RIFF" + Le32(40) + "WAVE" + "junk" + Le32(4294967288u) + "fmt " + Le32(16) +
                       std::string(16, 'f');
    EXPECT_EQ(GoToChunk(Open(leap), RiffId("WAVE"), RiffId("fmt ")), 0u);
    // An empty chunk counts as absent.
    std::string empty = "RIFF" + Le32(20) + "WAVE" + "fmt " + Le32(0) + "data" + Le32(0);
    EXPECT_EQ(GoToChunk(Open(empty), RiffId("WAVE"), RiffId("fmt ")), 0u);
    EXPECT_EQ(GoToChunk(Open("RIFX" + whole.substr(4)), RiffId("WAVE"), RiffId("fmt ")), 0u);
}

TEST_F(Conversion, ProbeTakesPcmAndExtensibleOnly)
{
    for (int tag : {1, 0xFFFE})
    {
        WaveSpec spec = stereo16(frames_of(16, 1, 1));
        spec.format_tag = static_cast<uint16_t>(tag);
        WaveFormat format;
        ASSERT_TRUE(ProbeWave(Open(MakeWave(spec)), &format)) << tag;
        EXPECT_EQ(format.channels, 2);
        EXPECT_EQ(format.bits_per_sample, 16u);
        EXPECT_EQ(format.sample_rate, 44100u);
        EXPECT_EQ(format.data_length, 64u);
    }
    WaveSpec floating;
    floating.format_tag = 3;
    floating.bits = 32;
    floating.data = std::string(64, '\0');
    WaveFormat format;
    EXPECT_FALSE(ProbeWave(Open(MakeWave(floating)), &format));

    WaveSpec no_data = stereo16({});
    EXPECT_FALSE(ProbeWave(Open(MakeWave(no_data)), &format)) << "an empty data chunk";
    std::string short_format = "RIFF" + Le32(16) + "WAVE" + "fmt " + Le32(4) + Le16(1) + Le16(2);
    EXPECT_FALSE(ProbeWave(Open(short_format), &format));
}
