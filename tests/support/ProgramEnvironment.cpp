#include "tests/support/ProgramEnvironment.h"

#include <filesystem>

ProgramEnvironment::ProgramEnvironment(int jack_period)
    : jack_(48000, jack_period), variables({{"XDG_CONFIG_HOME", config_.Path()},
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

void ProgramEnvironment::UseCopy(const std::string& original, const std::string& library)
{
    std::filesystem::remove_all(copy_.File("Support Files"));
    program = copy_.File(std::filesystem::path(original).filename());
    std::filesystem::copy_file(original, program,
                               std::filesystem::copy_options::overwrite_existing);
    if (!library.empty())
        PlaceLibrary(copy_, library);
}

std::vector<std::string> ProgramEnvironment::Command(std::vector<std::string> arguments) const
{
    arguments.insert(arguments.begin(), program);
    return arguments;
}

ProcessResult ProgramEnvironment::StartAndStop(int signal_number) const
{
    std::unique_ptr<BackgroundProcess> running = Start({"--debug"});
    bool started = running->WaitForOutput("DEBUG: End of application constructor", 60);
    return running->Stop(started ? signal_number : SIGKILL, 30);
}

::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& lines)
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

std::vector<int32_t> DefaultsWith(const std::map<int, int32_t>& changes)
{
    std::vector<int32_t> fields = DefaultSettings();
    for (auto [field, value] : changes)
        fields.at(static_cast<size_t>(field)) = value;
    return fields;
}

std::string Tone(const std::string& path, const std::vector<std::string>& format,
                 const std::vector<std::string>& synth)
{
    std::vector<std::string> command = {"/usr/bin/sox", "-n", "-b", "16"};
    command.insert(command.end(), format.begin(), format.end());
    command.insert(command.end(), {path, "synth"});
    command.insert(command.end(), synth.begin(), synth.end());
    EXPECT_EQ(RunProcess(command, {}).exit_status, 0) << path;
    return path;
}
