// Helpers shared by the tests: temporary folders, a library placed where the program looks for
// it, programs run to their end or in the background, and an X server of the test's own.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// Waits until the condition holds, looking every interval; false after timeout_seconds.
bool Eventually(const std::function<bool()>& condition, double timeout_seconds,
                double interval_seconds = 0.02);

// A fresh folder, removed with everything in it when the object goes.
class TemporaryFolder
{
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // A file the recording stand-in loads (any readable file goes the SoundFont way).
    std::string Font(const std::string& name) const;

private:
    std::string path_;
};

// Puts "Support Files/Libraries/fluidsynth" into folder as a link to library and returns the
// path a program file in that folder would have.
std::string PlaceLibrary(const TemporaryFolder& folder, const std::string& library);

// The text as a regular expression that matches exactly it (for death-test expectations).
std::string RegexLiteral(const std::string& text);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);

struct ProcessResult
{
    int exit_status = -1; // -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, if one did
    std::string output;   // standard output
    std::string errors;   // standard error
};

// A program running in the background with extra environment variables (an empty value removes
// a variable) and its output collected into files. It gets death_signal when the test dies.
class BackgroundProcess
{
public:
    BackgroundProcess(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      int death_signal = SIGKILL);
    ~BackgroundProcess() { Stop(SIGKILL, 10); }

    pid_t Pid() const { return pid_; }
    std::string Output() const { return ReadFile(logs_.File("out")); }
    std::string Errors() const { return ReadFile(logs_.File("err")); }
    // Waits until standard output contains text; false after timeout_seconds or at the end.
    bool WaitForOutput(const std::string& text, double timeout_seconds);
    // Sends a signal (none for 0) and waits for the end, killing the process after
    // timeout_seconds; the result holds the output.
    ProcessResult Stop(int signal_number, double timeout_seconds);
    ProcessResult Wait(double timeout_seconds) { return Stop(0, timeout_seconds); }
    bool Ended();

private:
    TemporaryFolder logs_;
    pid_t pid_ = -1;
    int status_ = 0; // waitpid's, once the process has ended
};

inline ProcessResult RunProcess(const std::vector<std::string>& arguments,
                                const std::map<std::string, std::string>& environment,
                                double timeout_seconds = 30.0)
{
    return BackgroundProcess(arguments, environment).Wait(timeout_seconds);
}

// An X server of our own (Xvfb, 1024 x 768) for the life of the object, on a display number
// nobody uses.
class VirtualDisplay
{
public:
    VirtualDisplay();
    ~VirtualDisplay() { Stop(); }
    void Stop() { server_.Stop(SIGTERM, 10); }

    bool Running() const { return !name_.empty(); }
    const std::string& Name() const { return name_; }

private:
    BackgroundProcess server_;
    std::string name_;
};
