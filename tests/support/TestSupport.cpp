#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

bool Eventually(const std::function<bool()>& condition, double timeout_seconds,
                double interval_seconds)
{
    using std::chrono::duration;
    auto deadline = std::chrono::steady_clock::now() + duration<double>(timeout_seconds);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(duration<double>(interval_seconds));
    }
    return true;
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
    std::error_code ignored; // a folder a test made read-only goes all the same
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::Font(const std::string& name) const
{
    WriteFile(File(name), "not a RIFF file");
    return File(name);
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
    std::string literal;
    for (char c : text)
    {
        if (c != '\0' && std::strchr("\\^$.|?*+()[]{}", c) != nullptr)
            literal += '\\';
        literal += c;
    }
    return literal;
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

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& arguments,
                                     const std::map<std::string, std::string>& environment,
                                     int death_signal)
{
    if ((pid_ = fork()) != 0)
        return;
    prctl(PR_SET_PDEATHSIG, death_signal); // a test that is killed takes its program with it
    for (const auto& [name, value] : environment)
        value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(logs_.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 1);
    dup2(open(logs_.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), environ);
    _exit(127);
}

bool BackgroundProcess::Ended()
{
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
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
    if (pid_ > 0)
        kill(pid_, signal_number);
    if (!Eventually([this] { return Ended(); }, timeout_seconds, 0.005))
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
    return {WIFEXITED(status_) ? WEXITSTATUS(status_) : -1,
            WIFSIGNALED(status_) ? WTERMSIG(status_) : 0, Output(), Errors()};
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
