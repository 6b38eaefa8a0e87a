// The built program in surroundings of its own: a settings folder, a HOME and a private
// temporary folder nobody else uses, a JACK server, and the variables that choose its back ends
// and answer its alerts and file panels; and the program as `cmake --install` lays it out.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/SettingsFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveFiles.h"

class ProgramEnvironment
{
    TemporaryFolder config_, home_, runtime_, copy_; // first: the variables name them
    JackServer jack_;

public:
    explicit ProgramEnvironment(int jack_period = 64, int jack_rate = 48000)
        : jack_(jack_rate, jack_period), variables({{"XDG_CONFIG_HOME", config_.Path()},
                                                    {"XDG_RUNTIME_DIR", runtime_.Path()},
                                                    {"HOME", home_.Path()},
                                                    {"DISPLAY", ""},
                                                    {"HARMOLOOM_AUDIO", "jack"},
                                                    {"HARMOLOOM_MIDI", "jack"},
                                                    {"HARMOLOOM_ALERT_ANSWERS", ""},
                                                    {"HARMOLOOM_FILE_PANEL_ANSWERS", ""},
                                                    {"JACK_DEFAULT_SERVER", jack_.Name()}})
    {
    }

    bool Ready() const { return jack_.Running(); }
    const std::string& JackName() const { return jack_.Name(); }
    void KillJack() { jack_.Kill(); }
    bool RestartJack(int rate) { return jack_.Restart(rate); }
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
    void UseCopy(const std::string& original, const std::string& library)
    {
        std::filesystem::remove_all(copy_.File("Support Files"));
        program = copy_.File(std::filesystem::path(original).filename());
        std::filesystem::copy_file(original, program,
                                   std::filesystem::copy_options::overwrite_existing);
        if (!library.empty())
            PlaceLibrary(copy_, library);
    }
    ProcessResult Run(const std::vector<std::string>& arguments = {"--debug"}) const
    {
        return Start(arguments)->Wait(60);
    }
    std::unique_ptr<BackgroundProcess> Start(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), program);
        return std::make_unique<BackgroundProcess>(arguments, variables);
    }
    // What the program is started with: DISPLAY, JACK_DEFAULT_SERVER, HARMOLOOM_AUDIO, ...
    std::map<std::string, std::string> variables;
    std::string program = HARMOLOOM_BINARY;
};

// The factory settings with some fields (by index) changed.
inline std::vector<int32_t> DefaultsWith(const std::map<int, int32_t>& changes)
{
    std::vector<int32_t> fields = DefaultSettings();
    for (auto [field, value] : changes)
        fields.at(static_cast<size_t>(field)) = value;
    return fields;
}

// Whether the text holds the lines in this order, each after the one before.
inline ::testing::AssertionResult InOrder(const std::string& text,
                                          const std::vector<std::string>& lines)
{
    size_t at = 0;
    for (const std::string& line : lines)
    {
        if ((at = text.find(line, at)) == std::string::npos)
            return ::testing::AssertionFailure() << "no \"" << line << "\" where due in\n" << text;
        at += line.size();
    }
    return ::testing::AssertionSuccess();
}

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
