// The main window built in the test's own process, as the program builds it, without a display:
// its audio goes to a JACK server of the test's own and its engine binds the recording stand-in,
// so that every engine call a message causes can be read back. One per process: the window
// starts threads (meter, fuse) that live as long as the process.
#pragma once

#include <memory>
#include <string>

#include "platform/app/Message.h"
#include "tests/support/JackRig.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"

class WINDOW;

class WindowRig
{
public:
    // Builds everything; Ready() tells whether it worked. With a display name (":N") the window
    // is shown there; without one there is no display.
    explicit WindowRig(const std::string& library = STANDIN_LIBRARY,
                       const std::string& display = "");
    // Closes the window as the user would (QuitRequested), then takes down the rest.
    ~WindowRig();

    bool Ready() const { return window_ != nullptr; }
    WINDOW* Window() const { return window_; }

    // Hands the message to the window's handler on this thread, with the window locked, as the
    // window thread does.
    void Deliver(BMessage* message);
    void Deliver(uint32 what);

    // The engine calls since the last look, leaving out the render calls the audio thread makes.
    Calls EngineCalls();

    const TemporaryFolder& Config() const { return config_; }

private:
    TemporaryFolder config_;
    TemporaryFolder library_folder_;
    std::unique_ptr<JackServer> server_;
    StandinRecorder recorder_;
    WINDOW* window_ = nullptr;
};
