#include "tests/support/WindowRig.h"

#include <cstdlib>
#include <filesystem>

#include "app/AudioSetup.h"
#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/app/EventLoop.h"
#include "platform/interface/Window.h"
#include "ui/Window.h"

WindowRig::WindowRig(const std::string& library, const std::string& display)
{
    std::filesystem::create_directories(config_.Path());
    setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
    if (display.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", display.c_str(), 1);
    unsetenv("HARMOLOOM_ALERT_ANSWERS");
    LoadSettings();
    server_ =
        std::make_unique<JackServer>(SampleRateForIndex(settings[setting::sample_rate_index]), 256);
    if (!server_->Running())
        return;
    setenv("JACK_DEFAULT_SERVER", server_->Name().c_str(), 1);
    setenv("HARMOLOOM_AUDIO", "jack", 1);
    setenv("HARMOLOOM_MIDI", "jack", 1);

    LoadLibrary(PlaceLibrary(library_folder_, library).c_str());
    recorder_.Bind();
    Synth = new HARMOLOOM(SampleRateForIndex(settings[setting::sample_rate_index]));
    window_ = new WINDOW(MainWindowFrame());
    app_window = window_;
}

WindowRig::~WindowRig()
{
    if (window_ != nullptr)
        BWindow::QuitAllWindows();
    app_window = nullptr;
    stop_event_loop();
    StopAudio(); // when a test stopped the window's output itself, nothing is left to stop
    StopMidiInterface();
    delete Synth;
    Synth = nullptr;
    FreeLibrary();
}

void WindowRig::Deliver(BMessage* message)
{
    window_->Lock();
    window_->MessageReceived(message);
    window_->Unlock();
}

void WindowRig::Deliver(uint32 what)
{
    BMessage message(what);
    Deliver(&message);
}

Calls WindowRig::EngineCalls()
{
    Calls calls;
    if (recorder_.count == nullptr)
        return calls;
    for (const std::string& call : recorder_.Take())
    {
        if (call.rfind("fluid_synth_write_float", 0) != 0)
            calls.push_back(call);
    }
    return calls;
}
