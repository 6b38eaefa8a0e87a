// The main window built in the test's own process as the program builds it, with or without a
// display, its audio and MIDI on a JACK server of its own, its engine on the given library (the
// recording stand-in by default). One per process: its threads (meter, fuse) outlive it.
#pragma once

#include <memory>
#include <string>

#include "app/AudioSetup.h"
#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "audio/AudioOutput.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/app/EventLoop.h"
#include "tests/support/JackRig.h"
#include "tests/support/StandinRecorder.h"
#include "tests/support/TestSupport.h"
#include "ui/Window.h"

class WindowRig
{
public:
    explicit WindowRig(const std::string& library = STANDIN_LIBRARY,
                       const std::string& display = "")
    {
        setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        unsetenv("HARMOLOOM_ALERT_ANSWERS");
        LoadSettings();
        int rate = SampleRateForIndex(settings[setting::sample_rate_index]);
        server_ = std::make_unique<JackServer>(rate, 256);
        if (!server_->Running())
            return;
        setenv("JACK_DEFAULT_SERVER", server_->Name().c_str(), 1);
        setenv("HARMOLOOM_AUDIO", "jack", 1);
        setenv("HARMOLOOM_MIDI", "jack", 1);
        LoadLibrary(PlaceLibrary(library_folder_, library).c_str());
        recorder_.Bind();
        rate = OpenAudio(rate, FramesPerBuffer(settings[setting::timing_index], rate));
        Synth = new HARMOLOOM(rate);
        window_ = new WINDOW(MainWindowFrame());
        app_window = window_;
    }

    // Closes the window as the user would (QuitRequested), then takes down the rest.
    ~WindowRig()
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

    bool Ready() const { return window_ != nullptr; }
    WINDOW* Window() const { return window_; }

    // Hands the message to the window's handler, locked, as the window thread does.
    void Deliver(BMessage* message)
    {
        window_->Lock();
        window_->MessageReceived(message);
        window_->Unlock();
    }
    void Deliver(uint32 what)
    {
        BMessage message(what);
        Deliver(&message);
    }

    // The engine calls since the last look (see StandinRecorder::Sent).
    std::string EngineCalls() { return recorder_.Sent(); }

private:
    TemporaryFolder config_;
    TemporaryFolder library_folder_;
    std::unique_ptr<JackServer> server_;
    StandinRecorder recorder_;
    WINDOW* window_ = nullptr;
};
