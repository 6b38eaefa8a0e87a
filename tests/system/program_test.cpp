// The built program as a user starts it: its command line, its start-up and shutdown in order,
// its fatal alerts, the settings file it leaves behind, and its crashes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/AlertTexts.h"
#include "tests/support/ProgramEnvironment.h"

namespace
{

using namespace alert_text;
const std::vector<int32_t> kDefaults = DefaultSettings();

class Program : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(env.Ready()); }
    ProgramEnvironment env;
};

TEST_F(Program, EndsInOrderOnSigtermQuietlyOnSigintAndKeepsWhatItReadOrAnsweredAbout)
{
    env.WriteSettings(DefaultsWith({{0, 7}, {3, 10}}), {{0, {0, "/music/a.sf2"}}});
    std::unique_ptr<BackgroundProcess> program = env.Start({"--debug", "ignored"});
    ASSERT_TRUE(program->WaitForOutput("End of application constructor", 30));
    EXPECT_EQ(JackRig(env.JackName()).Ports("Harmoloom:MIDI"),
              std::vector<std::string>{"Harmoloom:MIDI In 1"})
        << "one MIDI input by default";
    ProcessResult result = program->Stop(SIGTERM, 30);
    EXPECT_EQ(result.exit_status, 0) << result.errors;
    // The Setup page stores its fields as it goes, before the settings are saved.
    EXPECT_TRUE(InOrder(result.output,
                        {"Loading library\n", "Loading settings\n", "Creating synth\n",
                         "Starting audio driver\n", "Starting MIDI interface\n", "Stopping audio\n",
                         "Leaving setup view destructor\n", "Saving settings\n", "Deleting synth\n",
                         "End of application destructor\n"}));
    EXPECT_EQ(env.Settings(), SettingsFile(kDefaults));

    env.WriteSettings({8, 300, 40, 5, 30, 2, 1, 0, 2, 0, 1, 2, 0, 30, 0, 16, 0, 0, 30},
                      {{0, {3, TIMGM6MB_SOUNDFONT}}, {9, {127, TIMGM6MB_SOUNDFONT}}});
    std::string read = env.Settings();
    env.variables["HARMOLOOM_AUTOCONNECT"] = "0";
    std::unique_ptr<BackgroundProcess> quiet = env.Start({});
    // Its second MIDI input is about the last thing start-up opens.
    JackRig rig(env.JackName());
    ASSERT_NE(rig.FindPort("Harmoloom:MIDI In 2", 30), "");
    for (const std::string& port : rig.Ports("Harmoloom:"))
        EXPECT_EQ(rig.Connections(port), std::vector<std::string>()) << "asked to connect nothing";
    ProcessResult ended = quiet->Stop(SIGINT, 30);
    EXPECT_EQ(ended.exit_status, 0);
    EXPECT_EQ(ended.output + ended.errors, "") << "FluidSynth's warnings are debug lines";
    EXPECT_EQ(env.Settings(), read) << "what was read is what is saved";
    env.variables["HARMOLOOM_AUTOCONNECT"] = "";

    std::string wave = Tone(env.Home().File("tone.wav"), {"-r", "44100"});
    std::string text = env.Home().File("text.sf2"); // no SoundFont: GLib speaks up about it
    WriteFile(text, "not a SoundFont");
    env.WriteSettings(kDefaults, {{0, {0, wave}},
                                  {1, {3, env.Home().File("unmounted/drive.sf2")}},
                                  {2, {5, TIMGM6MB_SOUNDFONT}},
                                  {3, {0, text}}});
    std::string before = env.Settings();
    env.variables["HARMOLOOM_ALERT_ANSWERS"] = "0"; // "Exit application"
    ProcessResult exited = env.Run();
    EXPECT_EQ(exited.exit_status, 0);
    EXPECT_TRUE(InOrder(exited.errors, {AlertOnStderr("noload", kNotLoaded, "info")}));
    EXPECT_EQ(exited.errors.find("CRITICAL"), std::string::npos) << exited.errors;
    EXPECT_FALSE(InOrder(exited.output, {"Saving settings"}));
    EXPECT_EQ(env.Settings(), before);

    env.variables["HARMOLOOM_ALERT_ANSWERS"] = "2"; // "Continue without them"
    std::unique_ptr<BackgroundProcess> running = env.Start({"--debug"});
    ASSERT_TRUE(running->WaitForOutput("End of application constructor", 60));
    ProcessResult continued = running->Stop(SIGTERM, 30);
    EXPECT_EQ(continued.exit_status, 0) << continued.errors;
    // Slot 2's SoundFont is found no wave file before slot 0's recording is converted.
    EXPECT_TRUE(InOrder(continued.output, {"Entering SFVIEW constructor\n", "Not a wave file",
                                           "Importing data", "failed_to_load_something = 1\n"}));
    EXPECT_EQ(SettingsSlots(env.Settings()),
              (SlotList{{0, {0, wave}}, {2, {5, TIMGM6MB_SOUNDFONT}}}))
        << "the slot is freed and the gap stays";
}

TEST_F(Program, EngineRateInterpolationAndFuseFollowTheSettings)
{
    env.UseCopy(HARMOLOOM_BINARY, STANDIN_LIBRARY);
    env.variables["STANDIN_LOG"] = env.Home().File("calls.log");
    // Rate indices outside 0 to 3 store 96000 Hz, qualities outside -1 to 2 the medium method;
    // the engine runs at the JACK server's rate whatever is stored. The fuse's watchdog runs
    // only when its option is on.
    struct Case
    {
        int32_t rate_index, quality, cutout;
        int stored_rate, method;
    };
    for (Case c : {Case{4, -1, 1, 96000, 0},
                   {-1, 0, 0, 96000, 1},
                   {7, 2, 1, 96000, 7},
                   {3, 3, 0, 88200, 4},
                   {0, 1, 1, 32000, 4},
                   {1, INT32_MAX, 0, 44100, 4}})
    {
        env.WriteSettings(DefaultsWith({{6, c.rate_index}, {5, c.quality}, {9, c.cutout}}));
        std::filesystem::remove(env.Home().File("calls.log"));
        std::unique_ptr<BackgroundProcess> program = env.Start({"--debug"});
        ASSERT_TRUE(program->WaitForOutput("End of application constructor", 30));
        std::string threads;
        for (const auto& task : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(program->Pid()) + "/task"))
            threads += ReadFile(task.path() / "comm");
        EXPECT_TRUE(InOrder(threads, {"meter_thread\n"}));
        EXPECT_EQ(InOrder(threads, {"fuse_thread\n"}), c.cutout == 1) << threads;
        ProcessResult result = program->Stop(SIGTERM, 30);
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_TRUE(InOrder(result.output, {"stored " + std::to_string(c.stored_rate) + " Hz"}));
        // The stored quality's method follows the engine's own default of 4th order, before
        // the first render; the engine is deleted last.
        EXPECT_TRUE(
            InOrder(ReadFile(env.Home().File("calls.log")),
                    {"fluid_settings_setnum(synth.sample-rate,48000)\n",
                     "fluid_synth_set_interp_method(-1,4)\n",
                     "fluid_synth_set_interp_method(-1," + std::to_string(c.method) + ")\n",
                     "fluid_synth_write_float", "delete_fluid_synth()\ndelete_fluid_settings()\n"}))
            << "quality " << c.quality;
    }
}

TEST_F(Program, OtherArgumentsMissingLibraryFailedEngineOrNoMidiOrAudioEndItWithStatus1)
{
    const std::string help = "Read the manual, doofus!\n";
    const std::string nope = "Nope, this isn't one of those cryptic Linuxy command-line "
                             "applications.\nRun it from the GUI.\n";
    const std::pair<std::vector<std::string>, std::string> answers[] = {
        {{"--help"}, help}, {{"--help", "--debug", "more"}, help},
        {{"--HELP"}, nope}, {{"-debug"}, nope},
        {{""}, nope},       {{"song.mid", "--debug"}, nope}};
    for (const auto& [arguments, output] : answers)
    {
        ProcessResult result = env.Run(arguments);
        EXPECT_EQ(result.exit_status, 1) << arguments[0];
        EXPECT_EQ(result.output + result.errors, output) << arguments[0];
    }
    EXPECT_FALSE(FileExists(env.SettingsPath())) << "nothing else was started";

    struct Case
    {
        std::string library, variable, value, alert, last_step, next_step;
    };
    const std::string ok = "Buttons: [0] \"OK\"\n";
    const Case cases[] = {
        {"", "", "", AlertOnStderr("nolib", kNoLibrary) + ok, "Loading library\n",
         "Loading settings"},
        {STANDIN_LIBRARY, "STANDIN_FAIL_NEW_SYNTH", "1",
         AlertOnStderr("failed", kEngineFailed) + ok, "Error initializing synth\n",
         "Initial synth setup"},
        {HARMOLOOM_FLUIDSYNTH_LINK, "HARMOLOOM_MIDI", "none",
         AlertOnStderr("failed", MidiFailed("no MIDI back end by the name HARMOLOOM_MIDI gives")) +
             ok,
         "Starting MIDI interface\n", "Starting up"},
        // No such back end: the output cannot be opened; the alert offers a reset, not taken.
        {HARMOLOOM_FLUIDSYNTH_LINK, "HARMOLOOM_AUDIO", "none",
         AlertOnStderr("failed", AudioFailed("no such back end")) +
             "Buttons: [0] \"Restore to defaults\" [1] \"OK\"\nAnswered [1]",
         "Starting audio driver\n", "Starting MIDI"}};
    for (const Case& c : cases)
    {
        env.UseCopy(HARMOLOOM_BINARY, c.library);
        env.variables[c.variable] = c.value;
        ProcessResult result = env.Run();
        EXPECT_EQ(result.exit_status, 1) << c.alert;
        EXPECT_TRUE(InOrder(result.errors, {c.alert}));
        EXPECT_TRUE(InOrder(result.output, {c.last_step}));
        EXPECT_FALSE(InOrder(result.output, {c.next_step})) << c.alert;
        EXPECT_FALSE(FileExists(env.SettingsPath())) << "a fatal start-up saves nothing";
    }
    // No sound server at all: the alert says what each back end answered, and alsa-lib's own
    // lines stay off standard error while it is tried.
    env.variables["HARMOLOOM_AUDIO"] = "";
    env.variables["JACK_DEFAULT_SERVER"] = "harmoloom-test-no-server";
    ProcessResult alone = env.Run();
    EXPECT_TRUE(InOrder(alone.errors,
                        {AlertOnStderr("failed", AudioFailed("jack: no server; pulse: no device; "
                                                             "alsa: no device"))}))
        << alone.errors;
    EXPECT_EQ(alone.errors.find("ALSA lib"), std::string::npos) << alone.errors;
    env.variables["HARMOLOOM_ALERT_ANSWERS"] = "0";
    EXPECT_EQ(env.Run({}).exit_status, 1);
    EXPECT_EQ(env.Settings(), "") << "restored to defaults: an empty file";
    EXPECT_TRUE(FileExists(env.SettingsPath()));
}

class Crash : public Program
{
protected:
    void SetUp() override
    {
        Program::SetUp();
        env.program = CRASHING_PROGRAM;
        // The sanitizers would otherwise take the crash for themselves.
        env.variables.insert({{"ASAN_OPTIONS", "handle_segv=0:allow_user_segv_handler=1"},
                              {"UBSAN_OPTIONS", "handle_segv=0"},
                              {"TSAN_OPTIONS", "handle_segv=0"}});
        env.WriteSettings(kOwn);
    }
    void CrashAt(const char* moment, const char* answer)
    {
        env.variables["HARMOLOOM_TEST_CRASH_AT"] = moment;
        env.variables["HARMOLOOM_ALERT_ANSWERS"] = answer;
    }
    // Whether an alert command this test's program started still runs.
    bool AlertRunning() const
    {
        std::string mark = "XDG_CONFIG_HOME=" + env.variables.at("XDG_CONFIG_HOME") + '\0';
        std::error_code ignored;
        for (const auto& process : std::filesystem::directory_iterator("/proc", ignored))
        {
            if (ReadFile(process.path() / "comm") == "alert\n" &&
                InOrder(ReadFile(process.path() / "environ"), {mark}))
                return true;
        }
        return false;
    }

    // Settings other than the defaults (every field 0 but the version), so that a reset shows.
    const std::vector<int32_t> kOwn = {8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
};

TEST_F(Crash, AfterStartupItEndsAtOnceDuringItOnlyTheResetAnswerEmptiesTheSettings)
{
    CrashAt("running", "0");
    std::unique_ptr<BackgroundProcess> program = env.Start({});
    EXPECT_EQ(program->Wait(60).exit_status, 1) << program->Errors();
    // The alert outlives the program; the label of its button, were it printed, is its last
    // word.
    EXPECT_TRUE(Eventually([this] { return !AlertRunning(); }, 30));
    EXPECT_TRUE(InOrder(program->Errors(), {AlertOnStderr("alert", kCrashWhileRunning) +
                                            "Buttons: [0] \"OK\"\nAnswered [0]"}));
    EXPECT_EQ(program->Output(), "Crash handler invoked") << "no label on the program's output";
    EXPECT_EQ(env.Settings(), SettingsFile(kOwn)) << "changes of this run are lost";
    EXPECT_FALSE(FileExists(env.DialoguePath())) << "no answer is asked for";

    // With an argument no handler is installed.
    ProcessResult plain = env.Run({"--debug"});
    EXPECT_EQ(plain.signal, SIGSEGV);
    EXPECT_FALSE(InOrder(plain.output, {"Crash handler invoked"}));
    EXPECT_EQ(env.Settings(), SettingsFile(kOwn));

    // A stack overflow reaches the dialogue too; without the alert command beside the program
    // nothing is asked and nothing is reset.
    struct Case
    {
        const char* moment;
        const char* answer;
        bool alert_command;
        std::string dialogue;
        bool reset;
    };
    for (const Case& c : {Case{"startup", "0", true, "Restore Settings and Exit\n", true},
                          {"startup", "1", true, "Just Exit\n", false},
                          {"overflow", "1", true, "Just Exit\n", false},
                          {"startup", "0", false, "", false}})
    {
        env.WriteSettings(kOwn);
        if (!c.alert_command)
            env.UseCopy(CRASHING_PROGRAM, HARMOLOOM_FLUIDSYNTH_LINK);
        CrashAt(c.moment, c.answer);
        ProcessResult result = env.Run({});
        std::string what = std::string(c.moment) + ", answer " + c.answer + "\n" + result.errors;
        EXPECT_EQ(result.exit_status, 1) << what;
        EXPECT_EQ(result.output, "Crash handler invoked") << what;
        EXPECT_EQ(InOrder(result.errors, {AlertOnStderr("alert", kCrashDuringStartup) +
                                          "Buttons: [0] \"Restore Settings and Exit\" [1] \"Just "
                                          "Exit\""}),
                  c.alert_command)
            << what;
        EXPECT_EQ(ReadFile(env.DialoguePath()), c.dialogue) << what;
        EXPECT_EQ(env.Settings(), c.reset ? "" : SettingsFile(kOwn)) << what;
    }

    // "Restore" from an earlier crash, in a file that can be neither removed nor rewritten.
    // Root writes past any permission, not into an immutable file.
    env.program = CRASHING_PROGRAM;
    using std::filesystem::perms;
    std::string folder = std::filesystem::path(env.DialoguePath()).parent_path();
    std::filesystem::create_directories(folder);
    WriteFile(env.DialoguePath(), "Restore Settings and Exit\n");
    std::filesystem::permissions(env.DialoguePath(), perms::owner_read);
    std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec);
    bool immutable = RunProcess({"/usr/bin/chattr", "+i", env.DialoguePath()}, {}).exit_status == 0;
    if (!immutable && geteuid() == 0)
        GTEST_SKIP() << "root, and no immutable files here: nothing stops the program's writes";
    CrashAt("startup", "1");
    ProcessResult stale = env.Run({});
    if (immutable)
        RunProcess({"/usr/bin/chattr", "-i", env.DialoguePath()}, {});
    std::filesystem::permissions(folder, perms::owner_all);
    EXPECT_EQ(stale.exit_status, 1) << stale.errors;
    EXPECT_FALSE(InOrder(stale.errors, {kCrashDuringStartup})) << "no dialogue";
    EXPECT_EQ(env.Settings(), SettingsFile(kOwn)) << "no reset";
}

} // namespace
