#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

bool Eventually(const std::function<bool()>& condition, double timeout_seconds)
{
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(timeout_seconds * 1000));
    for (;;)
    {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "harmoloom-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
        path_ = buffer.data();
}

TemporaryFolder::~TemporaryFolder()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string PlaceLibrary(const TemporaryFolder& folder, const std::string& library)
{
    std::filesystem::create_directories(folder.File("Support Files/Libraries"));
    std::filesystem::remove(folder.File("Support Files/Libraries/fluidsynth"));
    std::filesystem::create_symlink(library, folder.File("Support Files/Libraries/fluidsynth"));
    return folder.File("Harmoloom");
}

std::string RegexLiteral(const std::string& text)
{
    std::string pattern;
    for (char c : text)
    {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

namespace
{

pid_t start(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment, const std::string& output,
            const std::string& errors)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL); // a test that is killed takes its program with it

    for (const auto& [name, value] : environment)
    {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), environ);
    _exit(127);
}

ProcessResult result_of(int status)
{
    ProcessResult result;
    if (WIFEXITED(status))
        result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

ProcessResult wait_for(pid_t pid, double timeout_seconds)
{
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(timeout_seconds * 1000));
    int status = 0;
    for (;;)
    {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return result_of(status);
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         double timeout_seconds)
{
    TemporaryFolder logs;
    pid_t pid = start(arguments, environment, logs.File("out"), logs.File("err"));
    ProcessResult result = wait_for(pid, timeout_seconds);
    result.output = ReadFile(logs.File("out"));
    result.errors = ReadFile(logs.File("err"));
    return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& arguments,
                                     const std::map<std::string, std::string>& environment)
{
    pid_ = start(arguments, environment, logs_.File("out"), logs_.File("err"));
}

BackgroundProcess::~BackgroundProcess()
{
    if (pid_ > 0)
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string BackgroundProcess::Output() const
{
    return ReadFile(logs_.File("out"));
}

std::string BackgroundProcess::Errors() const
{
    return ReadFile(logs_.File("err"));
}

bool BackgroundProcess::WaitForOutput(const std::string& text, double timeout_seconds)
{
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(timeout_seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (Output().find(text) != std::string::npos)
            return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
        {
            pid_ = -1;
            ended_ = result_of(status);
            return Output().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

ProcessResult BackgroundProcess::Stop(int signal_number, double timeout_seconds)
{
    ProcessResult result = ended_;
    if (pid_ > 0)
    {
        kill(pid_, signal_number);
        result = wait_for(pid_, timeout_seconds);
        pid_ = -1;
    }
    result.output = Output();
    result.errors = Errors();
    return result;
}

ProcessResult BackgroundProcess::Wait(double timeout_seconds)
{
    ProcessResult result = ended_;
    if (pid_ > 0)
    {
        result = wait_for(pid_, timeout_seconds);
        pid_ = -1;
    }
    result.output = Output();
    result.errors = Errors();
    return result;
}

VirtualDisplay::VirtualDisplay()
{
    // Xvfb chooses a free display number itself and says which once it is ready, so that tests
    // running side by side never share a server.
    int ready[2];
    if (pipe(ready) != 0)
        return;
    pid_t pid = fork();
    if (pid == 0)
    {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that is killed takes its server with it
        close(ready[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd waiting = {ready[0], POLLIN, 0};
    char c = 0;
    while (poll(&waiting, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (number.empty())
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return;
    }
    pid_ = pid;
    name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay()
{
    if (pid_ > 0)
    {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}
