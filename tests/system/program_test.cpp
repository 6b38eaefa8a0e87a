// The built program as a user starts it: its command line, its start-up and shutdown in order,
// its fatal alerts, and the settings file it leaves behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

namespace
{

const char kNope[] = "Nope, this isn't one of those cryptic Linuxy command-line applications.\n"
                     "Run it from the GUI.\n";

const std::vector<std::string> kStartup = {
    "Debug mode enabled",
    "DEBUG: Setting path",
    "DEBUG: Starting application",
    "DEBUG: Loading library",
    "DEBUG: Loading settings",
    "DEBUG: Opening status window",
    "DEBUG: Creating synth",
    "DEBUG: Testing synth for errors",
    "DEBUG: Initial synth setup (interpolation)",
    "DEBUG: Setting up window position",
    "DEBUG: Creating main window",
    "DEBUG: Entering window constructor",
    "DEBUG: Creating tab view",
    "DEBUG: Creating view",
    "DEBUG: Creating tabs",
    "DEBUG: Entering MAINVIEW constructor",
    "DEBUG: Leaving MAINVIEW constructor",
    "DEBUG: Entering SFVIEW constructor",
    "DEBUG: Finished initial loading, failed_to_load_something = 0",
    "DEBUG: Continuing to UI parts of SFVIEW constructor",
    "DEBUG: Reattaching",
    "DEBUG: Entering ReAttach",
    "DEBUG: Leaving ReAttach",
    "DEBUG: Leaving SFVIEW constructor",
    "DEBUG: Entering fxview constructor",
    "DEBUG: Leaving fx view constructor",
    "DEBUG: Entering setup view constructor",
    "DEBUG: Leaving setup view constructor",
    "DEBUG: Adding tab view",
    "DEBUG: Starting looper",
    "DEBUG: Performing tab width adjustment",
    "DEBUG: Starting meter thread",
    "DEBUG: Starting audio driver",
    "DEBUG: Starting MIDI interface",
    "DEBUG: Starting up",
    "DEBUG: Closing status window",
    "DEBUG: Flag cleared; leaving window constructor",
    "DEBUG: End of application constructor",
};
// Where the remembered files are loaded: inside the Soundfonts page's constructor.
constexpr size_t kLoadingAt = 18;
// The first line of what follows the engine check.
constexpr size_t kAfterEngineCheck = 8;

const std::vector<std::string> kShutdown = {
    "DEBUG: Quit requested",
    "DEBUG: Stopping audio",
    "DEBUG: Audio underruns: N",
    "DEBUG: Suspending meter thread",
    "DEBUG: Recording window position",
    "DEBUG: Requesting application quit",
    "DEBUG: Returning from quit requested",
    "DEBUG: Entering setup view destructor",
    "DEBUG: Leaving setup view destructor",
    "DEBUG: Stopping MIDI interface",
    "DEBUG: MIDI messages dropped: 0",
    "DEBUG: Saving settings",
    "DEBUG: Deleting synth",
    "DEBUG: Unloading library",
    "DEBUG: End of application destructor",
};

// The program's own lines: FluidSynth's, passed on in debug mode, are left out.
std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        // The underruns are the machine's, not the program's: only their line is compared.
        if (line.rfind("DEBUG: Audio underruns: ", 0) == 0)
            line.replace(24, std::string::npos, "N");
        if (line.rfind("DEBUG: FluidSynth: ", 0) != 0)
            result.push_back(line);
    }
    return result;
}

// Lines as the program prints them; compared as one text, a failure shows the differing lines.
std::string text_of(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::vector<std::string> join(std::vector<std::string> first,
                              const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Whether the process has a handler for SIGTERM yet, i.e. the application object exists.
bool catches_sigterm(pid_t pid)
{
    std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
    {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

const std::vector<int32_t>& kDefaults = DefaultSettings();

class Program : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(config.Path());
        environment = {
            {"XDG_CONFIG_HOME", config.Path()}, {"HOME", home.Path()},   {"DISPLAY", ""},
            {"HARMOLOOM_ALERT_ANSWERS", ""},    {"HARMOLOOM_AUDIO", ""}, {"HARMOLOOM_MIDI", ""}};
        UseJackServer(48000);
    }

    // The program plays into a JACK server of the test's own.
    void UseJackServer(int rate)
    {
        server.reset();
        server = std::make_unique<JackServer>(rate, 64);
        ASSERT_TRUE(server->Running());
        environment["JACK_DEFAULT_SERVER"] = server->Name();
    }

    std::string SettingsPath() const { return config.File("Harmoloom Settings"); }

    // A copy of the program in a folder of its own, with the given library beside it (none
    // for an empty name).
    std::string Install(const std::string& library)
    {
        std::string program = installed.File("Harmoloom");
        std::filesystem::copy_file(HARMOLOOM_BINARY, program);
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        if (!library.empty())
            PlaceLibrary(installed, library);
        return program;
    }

    TemporaryFolder config;
    TemporaryFolder home;
    TemporaryFolder installed;
    std::map<std::string, std::string> environment;
    std::unique_ptr<JackServer> server;
};

TEST_F(Program, HelpAndAnyOtherArgumentEndTheProgram)
{
    struct Case
    {
        std::vector<std::string> arguments;
        std::string output;
    };
    const Case cases[] = {
        {{"--help"}, "Read the manual, doofus!\n"},
        {{"--help", "--debug", "more"}, "Read the manual, doofus!\n"},
        {{"--HELP"}, kNope},
        {{"--Debug"}, kNope},
        {{"-debug"}, kNope},
        {{""}, kNope},
        {{"song.mid", "--debug"}, kNope},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> arguments = {HARMOLOOM_BINARY};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ProcessResult result = RunProcess(arguments, environment);
        EXPECT_EQ(result.exit_status, 1) << c.arguments[0];
        EXPECT_EQ(result.output, c.output) << c.arguments[0];
        EXPECT_EQ(result.errors, "") << c.arguments[0];
    }
    EXPECT_FALSE(FileExists(SettingsPath())) << "nothing else was started";
}

TEST_F(Program, DebugTracesStartupThenShutdownOnSigterm)
{
    BackgroundProcess program({HARMOLOOM_BINARY, "--debug", "ignored"}, environment);
    ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 20))
        << program.Output() << program.Errors();
    EXPECT_EQ(lines(program.Output()), kStartup);

    ProcessResult result = program.Stop(SIGTERM, 20);
    EXPECT_EQ(result.exit_status, 0) << result.errors;
    EXPECT_EQ(lines(result.output), join(kStartup, kShutdown));
    EXPECT_EQ(ReadFile(SettingsPath()), SettingsFile(kDefaults));
}

TEST_F(Program, QuietWithoutDebugAndSavesOnSigint)
{
    WriteFile(SettingsPath(),
              SettingsFile({8, 300, 40, 5, 30, 2, 1, 0, 2, 0, 1, 2, 0, 30, 0, 16, 0, 0, 30},
                           {{0, {3, TIMGM6MB_SOUNDFONT}}, {9, {127, TIMGM6MB_SOUNDFONT}}}));
    std::string before = ReadFile(SettingsPath());
    UseJackServer(44100); // field 6 above
    BackgroundProcess program({HARMOLOOM_BINARY}, environment);
    for (int tries = 0; tries < 2000 && !catches_sigterm(program.Pid()); tries++)
        usleep(5000);
    ASSERT_TRUE(catches_sigterm(program.Pid()));
    usleep(200000);

    ProcessResult result = program.Stop(SIGINT, 20);
    EXPECT_EQ(result.exit_status, 0) << result.errors;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "") << "FluidSynth's warnings about empty channels are debug lines";
    EXPECT_EQ(ReadFile(SettingsPath()), before) << "what was read is what is saved";
}

TEST_F(Program, OtherVersionOfTheSettingsIsReplacedByDefaults)
{
    std::vector<int32_t> version7 = kDefaults;
    version7[0] = 7;
    version7[3] = 10;
    WriteFile(SettingsPath(), SettingsFile(version7, {{0, {0, "/music/a.sf2"}}}));
    BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
    ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 20));
    ProcessResult result = program.Stop(SIGTERM, 20);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(ReadFile(SettingsPath()), SettingsFile(kDefaults));
}

TEST_F(Program, EngineRateAndInterpolationFollowTheSettings)
{
    std::string program_path = Install(STANDIN_LIBRARY);
    std::string log = installed.File("calls.log");
    environment["STANDIN_LOG"] = log;
    struct Case
    {
        int32_t rate_index;
        int32_t quality;
        std::string rate;
        int method;
    };
    const Case cases[] = {{2, 1, "48000", 4}, {4, -1, "96000", 0},       {-1, 0, "96000", 1},
                          {7, 2, "96000", 7}, {3, 3, "88200", 4},        {0, 1, "32000", 4},
                          {1, 1, "44100", 4}, {2, INT32_MAX, "48000", 4}};
    for (const Case& c : cases)
    {
        UseJackServer(std::stoi(c.rate)); // the output runs at the engine's rate
        std::vector<int32_t> fields = kDefaults;
        fields[6] = c.rate_index;
        fields[5] = c.quality;
        WriteFile(SettingsPath(), SettingsFile(fields));
        std::filesystem::remove(log);

        BackgroundProcess program({program_path, "--debug"}, environment);
        ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 20));
        ProcessResult result = program.Stop(SIGTERM, 20);
        EXPECT_EQ(result.exit_status, 0);

        std::vector<std::string> calls = lines(ReadFile(log));
        ASSERT_GT(calls.size(), 4u);
        EXPECT_EQ(calls[1], "fluid_settings_setnum(synth.sample-rate," + c.rate + ")");
        // The stored quality's method comes after the engine's own default of 4th order, and
        // the engine is deleted last; renders come in between.
        std::vector<std::string> before_rendering;
        for (const std::string& call : calls)
        {
            if (call.rfind("fluid_synth_write_float", 0) == 0)
                break;
            if (call.rfind("fluid_synth_set_interp_method", 0) == 0)
                before_rendering.push_back(call);
        }
        EXPECT_EQ(before_rendering, (std::vector<std::string>{"fluid_synth_set_interp_method(-1,4)",
                                                              "fluid_synth_set_interp_method(-1," +
                                                                  std::to_string(c.method) + ")"}))
            << "field 6 = " << c.rate_index << ", field 5 = " << c.quality;
        EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
                  (std::vector<std::string>{"delete_fluid_synth()", "delete_fluid_settings()"}));
    }
}

TEST_F(Program, RememberedFilesAreLoadedFromTheLastSlotDown)
{
    std::string wave = home.File("tone.wav");
    ASSERT_EQ(RunProcess({"/usr/bin/sox", "-n", "-r", "44100", "-b", "16", "-c", "1", wave, "synth",
                          "0.2", "sine", "440"},
                         {})
                  .exit_status,
              0);
    WriteFile(SettingsPath(),
              SettingsFile(kDefaults, {{0, {0, wave}}, {1, {4, TIMGM6MB_SOUNDFONT}}}));
    std::string before = ReadFile(SettingsPath());

    BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
    ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 30));
    ProcessResult result = program.Stop(SIGTERM, 20);
    EXPECT_EQ(result.exit_status, 0) << result.errors;

    std::vector<std::string> loading(kStartup.begin(), kStartup.begin() + kLoadingAt);
    for (const char* step :
         {"Testing for wave file", "Checking fmt chunk", "Not a wave file", "Testing for wave file",
          "Checking fmt chunk", "Checking data chunk", "Preparing data", "Importing data"})
    {
        loading.push_back(std::string("DEBUG: ") + step);
        loading.push_back(""); // these steps end their message with a line break of their own
    }
    std::vector<std::string> expected =
        join(join(loading, {kStartup.begin() + kLoadingAt, kStartup.end()}), kShutdown);
    // A row for each loaded file, made by the list rebuild and gone with the window.
    auto insert_rows = [&expected](const std::string& after, const std::string& what)
    {
        auto place = std::find(expected.begin(), expected.end(), after) + 1;
        for (int row = 0; row < 2; row++)
        {
            place = expected.insert(place, "DEBUG: Leaving FONTVIEW " + what);
            place = expected.insert(place, "DEBUG: Entering FONTVIEW " + what) + 2;
        }
    };
    insert_rows("DEBUG: Entering ReAttach", "constructor");
    insert_rows("DEBUG: Leaving setup view destructor", "destructor");
    EXPECT_EQ(text_of(lines(result.output)), text_of(expected));
    EXPECT_EQ(ReadFile(SettingsPath()), before);
}

TEST_F(Program, MissingRememberedFileAskedToContinueIsDropped)
{
    std::string gone = home.File("unmounted/drive.sf2");
    WriteFile(SettingsPath(), SettingsFile(kDefaults, {{0, {2, TIMGM6MB_SOUNDFONT}},
                                                       {1, {3, gone}},
                                                       {2, {5, TIMGM6MB_SOUNDFONT}}}));
    environment["HARMOLOOM_ALERT_ANSWERS"] = "2";
    BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
    ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 30));
    ProcessResult result = program.Stop(SIGTERM, 20);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.output.find("DEBUG: Finished initial loading, failed_to_load_something = 1"),
              std::string::npos);
    EXPECT_NE(result.errors.find("Alert \"noload\" (info)"), std::string::npos) << result.errors;
    EXPECT_EQ(ReadFile(SettingsPath()),
              SettingsFile(kDefaults, {{0, {2, TIMGM6MB_SOUNDFONT}}, {2, {5, TIMGM6MB_SOUNDFONT}}}))
        << "the slot is freed and the gap stays";
}

TEST_F(Program, MissingRememberedFileAskedToExitEndsWithStatus0AndSavesNothing)
{
    WriteFile(SettingsPath(), SettingsFile(kDefaults, {{0, {0, home.File("gone.sf2")}}}));
    std::string before = ReadFile(SettingsPath());
    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    ProcessResult result = RunProcess({HARMOLOOM_BINARY, "--debug"}, environment);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output.find("Saving settings"), std::string::npos);
    EXPECT_EQ(ReadFile(SettingsPath()), before);
}

TEST_F(Program, NoAudioOutputOffersTheResetAndEndsWithStatus1)
{
    environment["HARMOLOOM_AUDIO"] = "none"; // no such back end: the output cannot be opened
    WriteFile(SettingsPath(), SettingsFile(kDefaults));
    ProcessResult kept = RunProcess({HARMOLOOM_BINARY, "--debug"}, environment);
    EXPECT_EQ(kept.exit_status, 1);
    EXPECT_NE(kept.errors.find("Buttons: [0] \"Restore to defaults\" [1] \"OK\"\nAnswered [1]"),
              std::string::npos)
        << kept.errors;
    EXPECT_EQ(lines(kept.output).back(), "DEBUG: Starting audio driver");
    EXPECT_EQ(ReadFile(SettingsPath()), SettingsFile(kDefaults));

    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    ProcessResult reset = RunProcess({HARMOLOOM_BINARY}, environment);
    EXPECT_EQ(reset.exit_status, 1);
    EXPECT_EQ(ReadFile(SettingsPath()), "") << "restored to defaults: an empty file";
}

TEST_F(Program, NoMidiInputEndsWithItsAlertAndStatus1)
{
    environment["HARMOLOOM_MIDI"] = "none";
    ProcessResult result = RunProcess({HARMOLOOM_BINARY, "--debug"}, environment);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(
        result.errors.find("Alert \"failed\" (stop):\nSorry, an unexpected error occured when "
                           "trying to initialize the MIDI input. Please try again, perhaps "
                           "after restarting the system.\nButtons: [0] \"OK\""),
        std::string::npos)
        << result.errors;
    EXPECT_EQ(lines(result.output).back(), "DEBUG: Starting MIDI interface");
    EXPECT_FALSE(FileExists(SettingsPath()));
}

TEST_F(Program, MissingLibraryShowsNolibAndEndsWithStatus1)
{
    std::string program_path = Install("");
    ProcessResult result = RunProcess({program_path, "--debug"}, environment);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.errors.find("Alert \"nolib\" (stop):\nSorry, cannot load the library file "
                                 "required by this program (\"fluidsynth\"). Please ensure your "
                                 "copy of this program is undamaged; try re-installing it.\n"
                                 "Buttons: [0] \"OK\""),
              std::string::npos)
        << result.errors;
    EXPECT_EQ(lines(result.output),
              std::vector<std::string>(kStartup.begin(), kStartup.begin() + 4));
    EXPECT_FALSE(FileExists(SettingsPath()));
}

TEST_F(Program, FailedEngineCheckShowsItsAlertAndEndsWithStatus1)
{
    std::string program_path = Install(STANDIN_LIBRARY);
    std::string log = installed.File("calls.log");
    environment["STANDIN_LOG"] = log;
    environment["STANDIN_FAIL_NEW_SYNTH"] = "1";
    environment["HARMOLOOM_ALERT_ANSWERS"] = "0";
    ProcessResult result = RunProcess({program_path, "--debug"}, environment);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.errors.find("Alert \"failed\" (stop):\nSorry, there was an unexpected error "
                                 "while initializing the library.\nButtons: [0] \"OK\"\n"
                                 "Answered [0] \"OK\" (HARMOLOOM_ALERT_ANSWERS)"),
              std::string::npos)
        << result.errors;
    std::vector<std::string> expected(kStartup.begin(), kStartup.begin() + kAfterEngineCheck);
    expected.push_back("DEBUG: Error initializing synth");
    EXPECT_EQ(lines(result.output), expected);
    EXPECT_FALSE(FileExists(SettingsPath())) << "a fatal start-up saves nothing";
    EXPECT_EQ(lines(ReadFile(log)).back(), "delete_fluid_settings()");
}

// The names of the program's threads.
std::vector<std::string> thread_names(pid_t pid)
{
    std::vector<std::string> names;
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks))
    {
        std::string name = ReadFile(task.path().string() + "/comm");
        names.push_back(name.substr(0, name.find('\n')));
    }
    return names;
}

TEST_F(Program, TheFuseWatchdogRunsOnlyWhenTheOptionIsOn)
{
    for (int32_t cutout : {1, 0})
    {
        std::vector<int32_t> fields = kDefaults;
        fields[9] = cutout;
        WriteFile(SettingsPath(), SettingsFile(fields));
        BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
        ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 20));
        std::vector<std::string> names = thread_names(program.Pid());
        auto count = [&names](const char* name)
        { return std::count(names.begin(), names.end(), name); };
        EXPECT_EQ(count("meter_thread"), 1);
        EXPECT_EQ(count("fuse_thread"), cutout) << "option " << cutout;
        EXPECT_EQ(program.Stop(SIGTERM, 20).exit_status, 0);
    }
}

TEST_F(Program, TheWindowPositionIsKeptOnTheScreenAndSaved)
{
    // Without a display the screen counts as 1024 x 768.
    struct Case
    {
        int32_t left, top, saved_left, saved_top;
    };
    const Case cases[] = {
        {0, 0, 8, 24}, {5000, 5000, 944, 688}, {-300, 30, 8, 30}, {944, 688, 944, 688}};
    for (const Case& c : cases)
    {
        std::vector<int32_t> fields = kDefaults;
        fields[1] = c.left;
        fields[2] = c.top;
        WriteFile(SettingsPath(), SettingsFile(fields));
        BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
        ASSERT_TRUE(program.WaitForOutput("DEBUG: End of application constructor", 20));
        EXPECT_EQ(program.Stop(SIGTERM, 20).exit_status, 0);
        fields[1] = c.saved_left;
        fields[2] = c.saved_top;
        EXPECT_EQ(ReadFile(SettingsPath()), SettingsFile(fields)) << c.left << ", " << c.top;
    }
}

} // namespace
