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

namespace fs = std::filesystem;
const std::string kId = "org.harmoloom.Harmoloom";
const std::string kProgram = "libexec/harmoloom/";

std::string sox(const std::string& path, const std::vector<std::string>& format)
{
    std::vector<std::string> command = {"/usr/bin/sox", "-n"};
    command.insert(command.end(), format.begin(), format.end());
    command.insert(command.end(), {path, "synth", "0.2", "sine", "440"});
    EXPECT_EQ(RunProcess(command, {}).exit_status, 0) << path;
    return path;
}

TEST(Installed, TheTreeHoldsTheProgramItsSupportFilesAndItsDesktopData)
{
    InstalledCopy installed;
    ASSERT_EQ(installed.installation.exit_status, 0) << installed.installation.errors;
    for (const std::string& file :
         {kProgram + "Harmoloom", kProgram + "wav2sf", kProgram + "Support Files/Tools/alert",
          kProgram + "Support Files/System Files/Audio File Importer",
          "share/applications/" + kId + ".desktop", "share/metainfo/" + kId + ".metainfo.xml",
          "share/icons/hicolor/scalable/apps/" + kId + ".svg",
          std::string("share/man/man1/harmoloom.1"), std::string("share/man/man1/wav2sf.1")})
        EXPECT_TRUE(fs::is_regular_file(installed.At(file))) << file;
    fs::path fluidsynth = installed.At(kProgram + "Support Files/Libraries/fluidsynth");
    EXPECT_EQ(fs::read_symlink(fluidsynth).filename(), "libfluidsynth.so.3");
    EXPECT_TRUE(fs::exists(fluidsynth)) << "the system's library";
    // Relative links, so that the tree works wherever it is put.
    for (auto [command, target] : {std::pair{"harmoloom", "Harmoloom"}, {"wav2sf", "wav2sf"}})
    {
        fs::path link = installed.At(std::string("bin/") + command);
        EXPECT_TRUE(fs::read_symlink(link).is_relative()) << command;
        EXPECT_TRUE(fs::equivalent(link, installed.At(kProgram + target))) << command;
    }
    // Listed as installed, without the DESTDIR they were staged in.
    std::string manifest = ReadFile(HARMOLOOM_BUILD_DIR "/install_manifest_Unspecified.txt");
    EXPECT_TRUE(InOrder(manifest, {"/usr/local/bin/harmoloom\n"})) << manifest;
    EXPECT_TRUE(InOrder(manifest, {"/usr/local/bin/wav2sf\n"}));
    for (std::string size : {"48", "128"})
    {
        std::string icon = "share/icons/hicolor/" + size + "x" + size + "/apps/" + kId + ".png";
        EXPECT_EQ(
            RunProcess({"/usr/bin/identify", "-format", "%wx%h", installed.At(icon)}, {}).output,
            size + "x" + size);
    }
}

TEST(Installed, DesktopEntryAppStreamDataAndManualPagesPassTheirCheckers)
{
    InstalledCopy installed;
    ASSERT_EQ(installed.installation.exit_status, 0) << installed.installation.errors;
    ProcessResult entry = RunProcess(
        {"/usr/bin/desktop-file-validate", installed.At("share/applications/" + kId + ".desktop")},
        {});
    EXPECT_EQ(entry.exit_status, 0);
    EXPECT_EQ(entry.output + entry.errors, "");
    ProcessResult metainfo = RunProcess({"/usr/bin/appstreamcli", "validate", "--no-net",
                                         installed.At("share/metainfo/" + kId + ".metainfo.xml")},
                                        {});
    EXPECT_EQ(metainfo.exit_status, 0) << metainfo.output << metainfo.errors;
    for (std::string page : {"harmoloom.1", "wav2sf.1"})
    {
        ProcessResult man =
            RunProcess({"/usr/bin/man", "--warnings", "-l", installed.At("share/man/man1/" + page)},
                       {{"MANWIDTH", "80"}});
        EXPECT_EQ(man.exit_status, 0) << page;
        EXPECT_EQ(man.errors, "") << page;
        EXPECT_TRUE(InOrder(man.output, {"EXIT STATUS"})) << page;
    }
}

TEST(Installed, CommandsInBinRunFromAnywhereAndTheWindowIsTheDesktopEntrys)
{
    InstalledCopy installed;
    ASSERT_EQ(installed.installation.exit_status, 0) << installed.installation.errors;
    ProgramUnderX x;
    ASSERT_TRUE(x.ServersRunning());
    fs::current_path(x.env.Home().Path()); // nowhere near the program
    ProcessResult converted =
        RunProcess({installed.At("bin/wav2sf"), sox("tone.wav", {"-r", "22050", "-b", "16"}), "tone.sf2"}, {});
    EXPECT_EQ(converted.exit_status, 0) << converted.errors;
    EXPECT_TRUE(FileExists("tone.sf2"));

    x.env.WriteSettings(DefaultSettings(), {{0, {0, TIMGM6MB_SOUNDFONT}}});
    x.env.program = installed.At("bin/harmoloom");
    ASSERT_TRUE(x.Launch()) << x.Errors();
    std::string entry = ReadFile(installed.At("share/applications/" + kId + ".desktop"));
    size_t key = entry.find("\nStartupWMClass=");
    ASSERT_NE(key, std::string::npos);
    std::string wm_class = entry.substr(key + 16, entry.find('\n', key + 1) - key - 16);
    EXPECT_EQ(x.WindowProperty("WM_CLASS"), "WM_CLASS = \"harmoloom\", \"" + wm_class + "\"\n");
    EXPECT_TRUE(InOrder(x.WindowProperty("_NET_WM_ICON"), {"48 x 48"}));
    EXPECT_NEAR(x.Play({{0xC0, 80}}, 69).pitch, 440.0, 4.4) << "TimGM6mb's square lead";
    EXPECT_EQ(x.CloseWindow().exit_status, 0);
}

class Wav2sf : public ::testing::Test
{
protected:
    ProcessResult Convert(const std::string& input, const std::string& program = WAV2SF)
    {
        return RunProcess({program, input, folder.File("out.sf2")}, {});
    }
    std::string Sox(const std::string& name, const std::vector<std::string>& format)
    {
        return sox(folder.File(name), format);
    }

    TemporaryFolder folder;
};

TEST_F(Wav2sf, ConvertsARecording)
{
    ProcessResult result = Convert(Sox("in.wav", {"-r", "22050", "-b", "16", "-c", "2"}));
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.errors, "");
    std::string soundfont = ReadFile(folder.File("out.sf2"));
    EXPECT_EQ(soundfont.size(), 674u + 2 * 4410); // 0.2 s at 22050 Hz
    EXPECT_EQ(soundfont.substr(0, 4) + soundfont.substr(8, 4), "RIFFsfbk");
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
    const std::pair<std::string, std::string> cases[] = {
        {Sox("24.wav", {"-r", "44100", "-b", "24", "-c", "1"}), "8-bit and 16-bit"},
        {Sox("3ch.wav", {"-r", "44100", "-b", "16", "-c", "3"}), "mono and stereo"},
        {Sox("slow.wav", {"-r", "4095", "-b", "16", "-c", "1"}), "between 4096 and 96000 Hz"},
        {Sox("fast.wav", {"-r", "96001", "-b", "16", "-c", "1"}), "between 4096 and 96000 Hz"},
        {folder.File("15.wav"), "at least 16 frames"},
        {folder.File("short.wav"), "data chunk ends"},
        {Sox("float.wav", {"-r", "44100", "-e", "floating-point", "-b", "32", "-c", "1"}),
         "not a RIFF WAVE file with PCM samples"},
        {TIMGM6MB_SOUNDFONT, "not a RIFF WAVE file"},
        {folder.File("missing.wav"), "No such file"}};
    for (const auto& [input, reason] : cases)
    {
        ProcessResult result = Convert(input);
        EXPECT_EQ(result.exit_status, 1) << input;
        EXPECT_TRUE(InOrder(result.errors, {reason})) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_FALSE(FileExists(folder.File("out.sf2"))) << input;
    }
}

TEST_F(Wav2sf, WithoutItsTemplateNothingConvertsAndWrongUsageIsStatus2)
{
    std::string alone = folder.File("wav2sf");
    fs::copy_file(WAV2SF, alone);
    ProcessResult result = Convert(Sox("in.wav", {"-r", "44100", "-b", "16"}), alone);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(InOrder(result.errors, {"conversion template"})) << result.errors;
    EXPECT_EQ(RunProcess({WAV2SF}, {}).exit_status, 2);
    EXPECT_EQ(RunProcess({WAV2SF, "a", "b", "c"}, {}).exit_status, 2);
}

} // namespace
