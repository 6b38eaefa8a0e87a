#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

extern char** environ;

bool Eventually(const std::function<bool()>& condition, double timeout_seconds,
                double interval_seconds)
{
    using std::chrono::duration;
    auto deadline = std::chrono::steady_clock::now() + duration<double>(timeout_seconds);
    for (;;)
    {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(duration<double>(interval_seconds));
    }
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "harmoloom-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
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
    return std::regex_replace(text, std::regex(R"([\\^$.|?*+()[\]{}])"), "\\$&");
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

namespace
{

pid_t start(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment, const TemporaryFolder& logs)
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
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(logs.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 1);
    dup2(open(logs.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 2);
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
    int status = 0;
    if (!Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout_seconds, 0.005))
    {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return result_of(status);
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         double timeout_seconds)
{
    TemporaryFolder logs;
    ProcessResult result = wait_for(start(arguments, environment, logs), timeout_seconds);
    result.output = ReadFile(logs.File("out"));
    result.errors = ReadFile(logs.File("err"));
    return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& arguments,
                                     const std::map<std::string, std::string>& environment)
    : pid_(start(arguments, environment, logs_))
{
}

bool BackgroundProcess::Ended()
{
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_)
    {
        pid_ = -1;
        ended_ = result_of(status);
    }
    return pid_ <= 0;
}

bool BackgroundProcess::WaitForOutput(const std::string& text, double timeout_seconds)
{
    auto found = [&] { return Output().find(text) != std::string::npos; };
    Eventually([&] { return found() || Ended(); }, timeout_seconds, 0.01);
    return found();
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

VirtualDisplay::VirtualDisplay()
    : server_(
          {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
          {})
{
    // Xvfb chooses a free display number itself and says which once it is ready, so that tests
    // running side by side never share a server.
    if (server_.WaitForOutput("\n", 10))
        name_ = ":" + server_.Output().substr(0, server_.Output().find('\n'));
}
