// The built program in surroundings of its own: a settings folder, a HOME and a private
// temporary folder nobody else uses, a JACK server, and the variables that choose its back ends
// and answer its alerts and file panels; and the program as `cmake --install` lays it out.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"

class ProgramEnvironment
{
    TemporaryFolder config_, home_, runtime_, copy_; // first: the variables name them
    JackServer jack_;

public:
    explicit ProgramEnvironment(int jack_period = 64);

    bool Ready() const { return jack_.Running(); }
    const std::string& JackName() const { return jack_.Name(); }
    const TemporaryFolder& Home() const { return home_; }
    std::string SettingsPath() const { return config_.File("Harmoloom Settings"); }
    std::string DialoguePath() const
    {
        return runtime_.File("harmoloom/harmoloomerrordialogue.txt");
    }
    std::string Settings() const { return ReadFile(SettingsPath()); }
    void WriteSettings(const std::vector<int32_t>& fields, const SlotList& slots = {}) const
    {
        WriteFile(SettingsPath(), SettingsFile(fields, slots));
    }

    // From now on starts a copy of original in a folder of its own, with library beside it as
    // its FluidSynth (none when empty).
    void UseCopy(const std::string& original, const std::string& library);
    ProcessResult Run(const std::vector<std::string>& arguments = {"--debug"}) const
    {
        return RunProcess(Command(arguments), variables, 60);
    }
    std::unique_ptr<BackgroundProcess> Start(const std::vector<std::string>& arguments) const
    {
        return std::make_unique<BackgroundProcess>(Command(arguments), variables);
    }
    // Starts it with --debug, waits for the end of its start-up and ends it with the signal
    // (with SIGKILL when the start-up never ends).
    ProcessResult StartAndStop(int signal_number = SIGTERM) const;

    // What the program is started with: DISPLAY, JACK_DEFAULT_SERVER, HARMOLOOM_AUDIO, ...
    std::map<std::string, std::string> variables;
    std::string program = HARMOLOOM_BINARY;

private:
    std::vector<std::string> Command(std::vector<std::string> arguments) const;
};

// The factory settings with some fields (by index) changed.
std::vector<int32_t> DefaultsWith(const std::map<int, int32_t>& changes);
// A recording of 16-bit samples made by sox into path, with more of sox's format options
// ("-r", "22050", ...) and its synth effect's arguments; the path.
std::string Tone(const std::string& path, const std::vector<std::string>& format,
                 const std::vector<std::string>& synth = {"0.2", "sine", "440"});

// Whether the text holds the lines in this order, each after the one before.
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& lines);

// The program, its support files and desktop data installed under a DESTDIR of its own with
// the prefix /usr/local; only the default component, so that the manifest goes to a file of its
// own and the user's install_manifest.txt is left alone.
struct InstalledCopy
{
    std::string At(const std::string& path) const { return destdir.File("usr/local/" + path); }

    TemporaryFolder destdir;
    ProcessResult installation =
        RunProcess({CMAKE_COMMAND, "--install", HARMOLOOM_BUILD_DIR, "--prefix", "/usr/local",
                    "--component", "Unspecified"},
                   {{"DESTDIR", destdir.Path()}}, 120);
};
