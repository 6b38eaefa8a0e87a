// The command-line converter: a SoundFont for a good recording, one line of reason for a
// refused one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/support/WaveFiles.h"

namespace
{

class Wav2sf : public ::testing::Test
{
protected:
    ProcessResult Run(const std::string& input, const std::string& program = WAV2SF)
    {
        return RunProcess({program, input, Output()}, {});
    }

    std::string Sox(const std::string& name, const std::vector<std::string>& format,
                    const std::string& length = "0.2")
    {
        std::string path = folder.File(name);
        std::vector<std::string> command = {"/usr/bin/sox", "-n"};
        command.insert(command.end(), format.begin(), format.end());
        command.insert(command.end(), {path, "synth", length, "sine", "440"});
        EXPECT_EQ(RunProcess(command, {}).exit_status, 0);
        return path;
    }

    std::string Output() const { return folder.File("out.sf2"); }

    TemporaryFolder folder;
};

TEST_F(Wav2sf, ConvertsARecording)
{
    ProcessResult result = Run(Sox("in.wav", {"-r", "22050", "-b", "16", "-c", "2"}));
    EXPECT_EQ(result.exit_status, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    std::string soundfont = ReadFile(Output());
    EXPECT_EQ(soundfont.size(), 674u + 2 * 4410); // 0.2 s at 22050 Hz
    EXPECT_EQ(soundfont.substr(0, 4), "RIFF");
    EXPECT_EQ(soundfont.substr(8, 4), "sfbk");
}

TEST_F(Wav2sf, RefusalsGiveOneLineOfReasonAndStatus1)
{
    WaveSpec fifteen_frames;
    fifteen_frames.data = std::string(30, '\x01');
    WaveSpec short_data;
    short_data.data = std::string(64, '\x01');
    short_data.data_size = 640;
    WriteFile(folder.File("15.wav"), MakeWave(fifteen_frames));
    WriteFile(folder.File("short.wav"), MakeWave(short_data));

    struct Case
    {
        std::string input;
        std::string reason;
    };
    const Case cases[] = {
        {Sox("24.wav", {"-r", "44100", "-b", "24", "-c", "1"}), "8-bit and 16-bit"},
        {Sox("3ch.wav", {"-r", "44100", "-b", "16", "-c", "3"}), "mono and stereo"},
        {Sox("slow.wav", {"-r", "4095", "-b", "16", "-c", "1"}), "between 4096 and 96000 Hz"},
        {Sox("fast.wav", {"-r", "96001", "-b", "16", "-c", "1"}), "between 4096 and 96000 Hz"},
        {folder.File("15.wav"), "at least 16 frames"},
        {folder.File("short.wav"), "data chunk ends"},
        {Sox("float.wav", {"-r", "44100", "-e", "floating-point", "-b", "32", "-c", "1"}),
         "not a RIFF WAVE file with PCM samples"},
        {TIMGM6MB_SOUNDFONT, "not a RIFF WAVE file"},
        {folder.File("missing.wav"), "No such file"},
    };
    for (const Case& c : cases)
    {
        ProcessResult result = Run(c.input);
        EXPECT_EQ(result.exit_status, 1) << c.input;
        EXPECT_NE(result.errors.find(c.reason), std::string::npos) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_FALSE(FileExists(Output())) << c.input;
    }
}

TEST_F(Wav2sf, WithoutItsTemplateNothingConverts)
{
    TemporaryFolder installed;
    std::string program = installed.File("wav2sf");
    std::filesystem::copy_file(WAV2SF, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    ProcessResult result = Run(Sox("in.wav", {"-r", "44100", "-b", "16", "-c", "1"}), program);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.errors.find("conversion template"), std::string::npos) << result.errors;
}

TEST_F(Wav2sf, WrongUsageIsStatus2)
{
    EXPECT_EQ(RunProcess({WAV2SF}, {}).exit_status, 2);
    EXPECT_EQ(RunProcess({WAV2SF, "a", "b", "c"}, {}).exit_status, 2);
}

} // namespace
