// The program as `cmake --install` lays it out for a desktop: the tree under a DESTDIR, its
// desktop data checked by the tools the distributions check it with, and the installed
// commands run through their links in bin/.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/AudioAnalysis.h"
#include "tests/support/JackRig.h"
#include "tests/support/ProgramUnderX.h"

namespace
{

namespace fs = std::filesystem;

const std::string kId = "org.harmoloom.Harmoloom";

class Installed : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Only the default component, so that the manifest goes to a file of its own and the
        // user's own install_manifest.txt is left alone.
        ProcessResult installed =
            RunProcess({CMAKE_COMMAND, "--install", HARMOLOOM_BUILD_DIR, "--prefix", "/usr/local",
                        "--component", "Unspecified"},
                       {{"DESTDIR", destdir_.Path()}}, 120);
        ASSERT_EQ(installed.exit_status, 0) << installed.errors;
    }

    std::string At(const std::string& path) const { return destdir_.Path() + "/usr/local/" + path; }

    TemporaryFolder destdir_;
};

TEST_F(Installed, TheTreeHoldsTheProgramItsSupportFilesAndItsDesktopData)
{
    const std::string program = "libexec/harmoloom/";
    for (const std::string& file : std::vector<std::string>{
             program + "Harmoloom", program + "wav2sf", program + "Support Files/Tools/alert",
             program + "Support Files/System Files/Audio File Importer",
             "share/applications/" + kId + ".desktop", "share/metainfo/" + kId + ".metainfo.xml",
             "share/icons/hicolor/scalable/apps/" + kId + ".svg", "share/man/man1/harmoloom.1",
             "share/man/man1/wav2sf.1"})
        EXPECT_TRUE(fs::is_regular_file(At(file))) << file;
    fs::path fluidsynth = At(program + "Support Files/Libraries/fluidsynth");
    ASSERT_TRUE(fs::is_symlink(fluidsynth));
    EXPECT_EQ(fs::read_symlink(fluidsynth).filename(), "libfluidsynth.so.3");
    EXPECT_TRUE(fs::exists(fluidsynth)) << "the system's library";

    // Relative links, so that the tree works wherever it is put.
    for (auto [command, target] : {std::pair{"harmoloom", "Harmoloom"}, {"wav2sf", "wav2sf"}})
    {
        fs::path link = At(std::string("bin/") + command);
        ASSERT_TRUE(fs::is_symlink(link)) << command;
        EXPECT_TRUE(fs::read_symlink(link).is_relative());
        EXPECT_TRUE(fs::equivalent(link, At(program + target)));
    }
    std::string manifest = ReadFile(HARMOLOOM_BUILD_DIR "/install_manifest_Unspecified.txt");
    // Listed as installed, without the DESTDIR they were staged in.
    EXPECT_NE(manifest.find("/usr/local/bin/harmoloom\n"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("/usr/local/bin/wav2sf\n"), std::string::npos);

    for (int size : {48, 128})
    {
        std::string icon = At("share/icons/hicolor/" + std::to_string(size) + "x" +
                              std::to_string(size) + "/apps/" + kId + ".png");
        EXPECT_EQ(RunProcess({"/usr/bin/identify", "-format", "%wx%h", icon}, {}).output,
                  std::to_string(size) + "x" + std::to_string(size))
            << icon;
    }
}

TEST_F(Installed, DesktopEntryAppStreamDataAndManualPagesPassTheirCheckers)
{
    ProcessResult entry = RunProcess(
        {"/usr/bin/desktop-file-validate", At("share/applications/" + kId + ".desktop")}, {});
    EXPECT_EQ(entry.exit_status, 0) << entry.output << entry.errors;
    EXPECT_EQ(entry.output + entry.errors, "");
    ProcessResult metainfo = RunProcess({"/usr/bin/appstreamcli", "validate", "--no-net",
                                         At("share/metainfo/" + kId + ".metainfo.xml")},
                                        {});
    EXPECT_EQ(metainfo.exit_status, 0) << metainfo.output << metainfo.errors;
    for (std::string page : {"harmoloom.1", "wav2sf.1"})
    {
        ProcessResult man =
            RunProcess({"/usr/bin/man", "--warnings", "-l", At("share/man/man1/" + page)},
                       {{"MANWIDTH", "80"}});
        EXPECT_EQ(man.exit_status, 0) << page;
        EXPECT_EQ(man.errors, "") << page;
        EXPECT_NE(man.output.find("EXIT STATUS"), std::string::npos) << page;
    }
}

TEST_F(Installed, CommandsInBinRunFromAnywhereAndTheWindowIsTheDesktopEntrys)
{
    ProgramUnderX x;
    ASSERT_TRUE(x.ServersRunning());
    std::string wave = x.Home().File("tone.wav");
    ASSERT_EQ(RunProcess({"/usr/bin/sox", "-n", "-r", "22050", "-b", "16", wave, "synth", "0.3",
                          "sine", "440"},
                         {})
                  .exit_status,
              0);
    ProcessResult converted = RunProcess({At("bin/wav2sf"), wave, x.Home().File("tone.sf2")}, {});
    EXPECT_EQ(converted.exit_status, 0) << converted.errors;
    EXPECT_TRUE(FileExists(x.Home().File("tone.sf2")));

    WriteFile(x.SettingsPath(), SettingsFile(DefaultSettings(), {{0, {0, TIMGM6MB_SOUNDFONT}}}));
    x.program = At("bin/harmoloom");
    fs::current_path(x.Home().Path()); // nowhere near the program
    ASSERT_TRUE(x.Launch()) << x.Errors();

    std::string entry = ReadFile(At("share/applications/" + kId + ".desktop"));
    size_t key = entry.find("\nStartupWMClass=");
    ASSERT_NE(key, std::string::npos);
    std::string wm_class = entry.substr(key + 16, entry.find('\n', key + 1) - key - 16);
    EXPECT_EQ(x.WindowProperty("WM_CLASS"), "WM_CLASS = \"harmoloom\", \"" + wm_class + "\"\n");
    EXPECT_NE(x.WindowProperty("_NET_WM_ICON").find("48 x 48"), std::string::npos)
        << x.WindowProperty("_NET_WM_ICON").substr(0, 200);

    JackRig rig(x.JackName());
    ASSERT_TRUE(rig.Open());
    ASSERT_TRUE(rig.RecordFrom(rig.FindPort("Harmoloom:left"), rig.FindPort("Harmoloom:right")));
    ASSERT_TRUE(rig.ConnectMidiTo(rig.FindPort(":MIDI In 1")));
    const auto rate = static_cast<jack_nframes_t>(rig.SampleRate());
    jack_nframes_t at = rig.Now() + rate / 5;
    rig.Send(at, {0xC0, 80});
    rig.Send(at + rate / 20, {0x90, 69, 100});
    rig.Send(at + rate * 7 / 10, {0x80, 69, 0});
    rig.WaitUntil(at + rate);
    std::vector<float> mono = Channel(rig.Recorded(at + rate / 4, rate * 3 / 10), 2);
    EXPECT_NEAR(FundamentalFrequency(mono, rate), 440.0, 4.4) << "TimGM6mb's square lead";
    EXPECT_EQ(x.CloseWindow().exit_status, 0);
}

} // namespace
