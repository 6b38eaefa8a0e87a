// The application object and its message loop.
//
// Run() blocks the calling thread until a quit request is granted. A quit request is posted by
// PostMessage(B_QUIT_REQUESTED) from any thread, and by SIGINT and SIGTERM, so Ctrl-C or a
// desktop logout shuts the program down in its normal order.
#pragma once

#include "platform/app/Message.h"
#include "platform/support/SupportDefs.h"

class BApplication
{
public:
    explicit BApplication(const char* signature);
    virtual ~BApplication();

    BApplication(const BApplication&) = delete;
    BApplication& operator=(const BApplication&) = delete;

    // The message loop; returns once QuitRequested() has agreed to a quit request.
    void Run();

    // Queues a message for the loop. Any thread; safe inside a signal handler.
    status_t PostMessage(uint32 what);

    // Asked on the loop's thread when a quit request arrives; true lets Run() return. By default
    // it asks every window to quit, and agrees once none is left.
    virtual bool QuitRequested();

private:
    int pipe_read_;
    int pipe_write_;
};

// The one application object, or null.
extern BApplication* be_app;
