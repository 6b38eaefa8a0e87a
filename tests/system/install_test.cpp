// The program as `cmake --install` lays it out for a desktop: the tree, its desktop data checked
// by the tools the distributions check it with, and the installed commands run through their
// links in bin/; and the converter: a SoundFont for a good recording, one line of reason for a
// refused one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/ProgramUnderX.h"
#include "tests/support/WaveFiles.h"

namespace
{

const std::string kId = "org.harmoloom.Harmoloom";

class Installed : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(copy.installation.exit_status, 0) << copy.installation.errors;
    }
    InstalledCopy copy;
};

TEST_F(Installed, TheTreeAndItsDesktopDataPassTheirCheckersAndItsCommandsRunFromAnywhere)
{
    for (std::string file : {"libexec/harmoloom/Support Files/Tools/alert",
                             "libexec/harmoloom/Support Files/System Files/Audio File Importer",
                             "share/icons/hicolor/scalable/apps/org.harmoloom.Harmoloom.svg"})
        EXPECT_TRUE(std::filesystem::is_regular_file(copy.At(file))) << file;
    for (std::string size : {"48", "128"})
    {
        std::string icon = "share/icons/hicolor/" + size + "x" + size + "/apps/" + kId + ".png";
        EXPECT_EQ(RunProcess({"/usr/bin/identify", "-format", "%wx%h", copy.At(icon)}, {}).output,
                  size + "x" + size);
    }
    // Listed as installed, without the DESTDIR they were staged in.
    EXPECT_TRUE(InOrder(ReadFile(HARMOLOOM_BUILD_DIR "/install_manifest_Unspecified.txt"),
                        {"/usr/local/bin/harmoloom\n", "/usr/local/bin/wav2sf\n"}));

    ProcessResult entry = RunProcess(
        {"/usr/bin/desktop-file-validate", copy.At("share/applications/" + kId + ".desktop")}, {});
    EXPECT_EQ(entry.exit_status, 0);
    EXPECT_EQ(entry.output + entry.errors, "");
    ProcessResult metainfo = RunProcess({"/usr/bin/appstreamcli", "validate", "--no-net",
                                         copy.At("share/metainfo/" + kId + ".metainfo.xml")},
                                        {});
    EXPECT_EQ(metainfo.exit_status, 0) << metainfo.output << metainfo.errors;
    for (std::string page : {"harmoloom.1", "wav2sf.1"})
    {
        ProcessResult man =
            RunProcess({"/usr/bin/man", "--warnings", "-l", copy.At("share/man/man1/" + page)},
                       {{"MANWIDTH", "80"}});
        EXPECT_EQ(man.exit_status, 0) << page;
        EXPECT_EQ(man.errors, "") << page;
        EXPECT_TRUE(InOrder(man.output, {"EXIT STATUS"})) << page;
    }

    // Through relative links, to a tree that works wherever it is put.
    ProgramUnderX x;
    ASSERT_TRUE(x.ServersRunning());
    std::filesystem::current_path(x.env.Home().Path()); // nowhere near the program
    for (const char* command : {"bin/harmoloom", "bin/wav2sf"})
        EXPECT_TRUE(std::filesystem::read_symlink(copy.At(command)).is_relative()) << command;
    ProcessResult converted = RunProcess(
        {copy.At("bin/wav2sf"), Tone("tone.wav", {"-r", "22050", "-c", "2"}), "tone.sf2"}, {});
    EXPECT_EQ(converted.exit_status, 0);
    EXPECT_EQ(converted.errors, "");
    std::string soundfont = ReadFile("tone.sf2");
    EXPECT_EQ(soundfont.size(), 674u + 2 * 4410); // 0.2 s at 22050 Hz
    EXPECT_EQ(soundfont.substr(0, 4) + soundfont.substr(8, 4), "RIFFsfbk");

    x.env.WriteSettings(DefaultSettings(), {{0, {0, TIMGM6MB_SOUNDFONT}}});
    x.env.program = copy.At("bin/harmoloom");
    ASSERT_TRUE(x.Launch()) << x.Errors();
    std::string desktop = ReadFile(copy.At("share/applications/" + kId + ".desktop"));
    size_t key = desktop.find("\nStartupWMClass=");
    ASSERT_NE(key, std::string::npos);
    std::string wm_class = desktop.substr(key + 16, desktop.find('\n', key + 1) - key - 16);
    EXPECT_EQ(x.WindowProperty("WM_CLASS"), "WM_CLASS = \"harmoloom\", \"" + wm_class + "\"\n");
    EXPECT_TRUE(InOrder(x.WindowProperty("_NET_WM_ICON"), {"48 x 48"}));
    EXPECT_NEAR(x.Play({{0xC0, 80}}, 69).pitch, 440.0, 4.4) << "TimGM6mb's square lead";
    EXPECT_EQ(x.CloseWindow().exit_status, 0);
}

TEST(Wav2sf, RefusalsGiveOneLineOfReasonAndStatus1AndWrongUsageStatus2)
{
    TemporaryFolder folder;
    auto convert = [&](const std::string& input, const std::string& program) {
        return RunProcess({program, input, folder.File("out.sf2")}, {});
    };
    WaveSpec fifteen_frames;
    fifteen_frames.data = std::string(30, '\x01');
    WaveSpec short_data;
    short_data.data = std::string(64, '\x01');
    short_data.data_size = 640;
    WriteFile(folder.File("15.wav"), MakeWave(fifteen_frames));
    WriteFile(folder.File("short.wav"), MakeWave(short_data));
    auto tone = [&](const char* name, const std::vector<std::string>& format)
    { return Tone(folder.File(name), format); };
    const std::pair<std::string, std::string> cases[] = {
        {tone("24.wav", {"-r", "44100", "-b", "24"}), "8-bit and 16-bit"},
        {tone("3ch.wav", {"-r", "44100", "-c", "3"}), "mono and stereo"},
        {tone("slow.wav", {"-r", "4095"}), "between 4096 and 96000 Hz"},
        {tone("fast.wav", {"-r", "96001"}), "between 4096 and 96000 Hz"},
        {folder.File("15.wav"), "at least 16 frames"},
        {folder.File("short.wav"), "data chunk ends"},
        {tone("float.wav", {"-r", "44100", "-e", "floating-point", "-b", "32"}),
         "not a RIFF WAVE file with PCM samples"},
        {TIMGM6MB_SOUNDFONT, "not a RIFF WAVE file"},
        {folder.File("missing.wav"), "No such file"}};
    for (const auto& [input, reason] : cases)
    {
        ProcessResult result = convert(input, WAV2SF);
        EXPECT_EQ(result.exit_status, 1) << input;
        EXPECT_TRUE(InOrder(result.errors, {reason}));
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_FALSE(FileExists(folder.File("out.sf2"))) << input;
    }
    std::filesystem::copy_file(WAV2SF, folder.File("wav2sf"));
    ProcessResult result =
        convert(Tone(folder.File("in.wav"), {"-r", "44100"}), folder.File("wav2sf"));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(InOrder(result.errors, {"conversion template"})) << "nothing converts without it";
    EXPECT_EQ(RunProcess({WAV2SF}, {}).exit_status, 2);
    EXPECT_EQ(RunProcess({WAV2SF, "a", "b", "c"}, {}).exit_status, 2);
}

} // namespace
