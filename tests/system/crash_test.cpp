// Crashes of the program as a user meets them: the dialog, the offer to reset the settings during
// start-up, and the exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "tests/support/JackRig.h"
#include "tests/support/TestSupport.h"

namespace
{

const char kStartupText[] =
    "Unfortunately, an error occured while Harmoloom was starting up. If you are experiencing "
    "this error every time you try to start Harmoloom, you may wish to try restoring the settings "
    "to the factory defaults -- click 'restore to defaults' below. Please note that doing this "
    "will clear all your settings, including which soundfonts were last in-use.";
const char kRunningText[] =
    "Sorry, but an unexpected error has occured. Unfortunately Harmoloom must now close. The "
    "problem may be traceable to one of the soundfont files. Apologies for any inconvenience "
    "caused.";

class Crash : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(config.Path());
        runtime_dir = home.File("runtime");
        std::filesystem::create_directories(runtime_dir);
        std::filesystem::permissions(runtime_dir, std::filesystem::perms::owner_all);
        server = std::make_unique<JackServer>(32000, 256); // the rate the settings below choose
        ASSERT_TRUE(server->Running());
        environment = {{"XDG_CONFIG_HOME", config.Path()},
                       {"XDG_RUNTIME_DIR", runtime_dir},
                       {"HOME", home.Path()},
                       {"DISPLAY", ""},
                       {"HARMOLOOM_ALERT_ANSWERS", ""},
                       {"HARMOLOOM_AUDIO", "jack"},
                       {"HARMOLOOM_MIDI", "jack"},
                       {"JACK_DEFAULT_SERVER", server->Name()},
                       // The sanitizers would otherwise take the crash for themselves.
                       {"ASAN_OPTIONS", "handle_segv=0:allow_user_segv_handler=1"},
                       {"UBSAN_OPTIONS", "handle_segv=0"},
                       {"TSAN_OPTIONS", "handle_segv=0"}};
        WriteFile(SettingsPath(), kSettings);
    }

    ProcessResult Run(const std::string& moment, const std::vector<std::string>& arguments = {})
    {
        environment["HARMOLOOM_TEST_CRASH_AT"] = moment;
        std::vector<std::string> command = {CRASHING_PROGRAM};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return RunProcess(command, environment, 60);
    }

    std::string SettingsPath() const { return config.File("Harmoloom Settings"); }
    std::string DialoguePath() const
    {
        return runtime_dir + "/harmoloom/harmoloomerrordialogue.txt";
    }

    // Settings that are not the defaults (every field 0 but the version), so that a reset shows.
    const std::string kSettings = std::string(716, '\0').replace(0, 4, "\x08\0\0\0", 4);
    TemporaryFolder config;
    TemporaryFolder home;
    std::string runtime_dir;
    std::unique_ptr<JackServer> server;
    std::map<std::string, std::string> environment;
};

TEST_F(Crash, DuringStartupTheResetAnswerEmptiesTheSettingsFile)
{
    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    ProcessResult result = Run("startup");
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    EXPECT_EQ(result.output, "Crash handler invoked");
    EXPECT_NE(result.errors.find(std::string("Alert \"alert\" (stop):\n") + kStartupText +
                                 "\nButtons: [0] \"Restore Settings and Exit\" [1] \"Just Exit\""),
              std::string::npos)
        << result.errors;
    EXPECT_EQ(ReadFile(DialoguePath()), "Restore Settings and Exit\n");
    EXPECT_EQ(ReadFile(SettingsPath()), "") << "the next start uses the defaults";
}

TEST_F(Crash, DuringStartupJustExitLeavesTheSettingsAlone)
{
    environment["HARMOLOOM_ALERT_ANSWERS"] = "1";
    ProcessResult result = Run("startup");
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    EXPECT_EQ(ReadFile(DialoguePath()), "Just Exit\n");
    EXPECT_EQ(ReadFile(SettingsPath()), kSettings);
}

TEST_F(Crash, DuringStartupWithoutTheAlertCommandNothingIsReset)
{
    // A copy of the program without "Support Files/Tools/alert" beside it.
    TemporaryFolder installed;
    std::string program = installed.File("crashing_program");
    std::filesystem::copy_file(CRASHING_PROGRAM, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    PlaceLibrary(installed, HARMOLOOM_FLUIDSYNTH_LINK);
    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    environment["HARMOLOOM_TEST_CRASH_AT"] = "startup";
    ProcessResult result = RunProcess({program}, environment, 60);
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    EXPECT_EQ(ReadFile(SettingsPath()), kSettings);
}

TEST_F(Crash, AStaleAnswerThatCannotBeReplacedResetsNothing)
{
    // "Restore" from an earlier crash, in a file that can be neither removed nor rewritten.
    // Root writes past any permission, not into an immutable file.
    std::string folder = runtime_dir + "/harmoloom";
    std::filesystem::create_directories(folder);
    WriteFile(DialoguePath(), "Restore Settings and Exit\n");
    using std::filesystem::perms;
    std::filesystem::permissions(DialoguePath(), perms::owner_read);
    std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec);
    bool immutable = RunProcess({"/usr/bin/chattr", "+i", DialoguePath()}, {}).exit_status == 0;
    ASSERT_TRUE(immutable || geteuid() != 0);
    environment["HARMOLOOM_ALERT_ANSWERS"] = "1";
    ProcessResult result = Run("startup");
    if (immutable)
        RunProcess({"/usr/bin/chattr", "-i", DialoguePath()}, {});
    std::filesystem::permissions(folder, perms::owner_all);
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    EXPECT_EQ(result.errors.find(kStartupText), std::string::npos) << "no dialogue";
    EXPECT_EQ(ReadFile(SettingsPath()), kSettings) << "no reset";
}

TEST_F(Crash, AStackOverflowReachesTheDialogue)
{
    environment["HARMOLOOM_ALERT_ANSWERS"] = "1";
    ProcessResult result = Run("overflow");
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    EXPECT_EQ(result.output, "Crash handler invoked");
    EXPECT_EQ(ReadFile(DialoguePath()), "Just Exit\n");
}

TEST_F(Crash, AfterStartupTheProgramEndsAtOnceWithoutSaving)
{
    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    environment["HARMOLOOM_TEST_CRASH_AT"] = "running";
    BackgroundProcess program({CRASHING_PROGRAM}, environment);
    ASSERT_TRUE(program.WaitForOutput("Crash handler invoked", 60)) << program.Errors();
    // The alert runs in the background and may finish after the program; its answer is the
    // last thing it writes but the label of the button.
    const std::string answered = "Answered [0] \"OK\" (HARMOLOOM_ALERT_ANSWERS)\n";
    for (int tries = 0; tries < 500 && program.Errors().find(answered) == std::string::npos;
         tries++)
        usleep(10000);
    EXPECT_NE(program.Errors().find(std::string("Alert \"alert\" (stop):\n") + kRunningText +
                                    "\nButtons: [0] \"OK\""),
              std::string::npos)
        << program.Errors();
    ProcessResult result = program.Wait(30);
    EXPECT_EQ(result.exit_status, 1) << result.errors;
    usleep(200000); // time for a label, were one printed
    EXPECT_EQ(program.Output(), "Crash handler invoked") << "no label on the program's output";
    EXPECT_EQ(ReadFile(SettingsPath()), kSettings) << "changes of this run are lost";
    EXPECT_FALSE(FileExists(DialoguePath())) << "no answer is asked for";
}

TEST_F(Crash, WithAnArgumentNoHandlerIsInstalled)
{
    ProcessResult result = Run("running", {"--debug"});
    EXPECT_EQ(result.exit_status, -1);
    EXPECT_EQ(result.signal, SIGSEGV);
    EXPECT_EQ(result.output.find("Crash handler invoked"), std::string::npos);
    EXPECT_EQ(ReadFile(SettingsPath()), kSettings);
}

} // namespace
