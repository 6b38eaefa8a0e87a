#include "platform/app/Application.h"

#include "platform/app/EventLoop.h"
#include "platform/interface/Window.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

BApplication* be_app = nullptr;

namespace
{

// Where the signal handler posts its quit request; -1 while no application exists.
volatile sig_atomic_t quit_pipe = -1;

void post_quit_from_signal(int)
{
    int saved_errno = errno;
    int fd = quit_pipe;
    if (fd >= 0)
    {
        uint32 what = B_QUIT_REQUESTED;
        ssize_t ignored = write(fd, &what, sizeof(what));
        (void)ignored;
    }
    errno = saved_errno;
}

} // namespace

BApplication::BApplication(const char*) : pipe_read_(-1), pipe_write_(-1)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0)
    {
        pipe_read_ = fds[0];
        pipe_write_ = fds[1];
        // A full pipe already holds a quit request; never let a poster block on it.
        fcntl(pipe_write_, F_SETFL, O_NONBLOCK);
    }
    be_app = this;
    quit_pipe = pipe_write_;

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = post_quit_from_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

BApplication::~BApplication()
{
    stop_event_loop();
    quit_pipe = -1;
    if (be_app == this)
        be_app = nullptr;
    if (pipe_read_ >= 0)
        close(pipe_read_);
    if (pipe_write_ >= 0)
        close(pipe_write_);
}

void BApplication::Run()
{
    if (pipe_read_ < 0)
        return;
    for (;;)
    {
        // Wait in poll rather than read: a signal then reaches its handler even where the
        // thread sanitizer holds signals back until the next call it considers blocking.
        pollfd waiting = {pipe_read_, POLLIN, 0};
        if (poll(&waiting, 1, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        uint32 what = 0;
        ssize_t got = read(pipe_read_, &what, sizeof(what));
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof(what)))
            return; // the pipe is broken: nothing can ever ask us to quit, so stop now
        if (what == B_QUIT_REQUESTED && QuitRequested())
            return;
    }
}

status_t BApplication::PostMessage(uint32 what)
{
    if (pipe_write_ < 0)
        return B_ERROR;
    ssize_t written = write(pipe_write_, &what, sizeof(what));
    return written == static_cast<ssize_t>(sizeof(what)) ? B_OK : B_ERROR;
}

bool BApplication::QuitRequested()
{
    return BWindow::QuitAllWindows();
}
