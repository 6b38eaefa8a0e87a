#include "app/App.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/AudioSetup.h"
#include "app/Debug.h"
#include "app/ExitNow.h"
#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "audio/AudioOutput.h"
#include "engine/FluidBinding.h"
#include "engine/FluidLog.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/app/EventLoop.h"
#include "platform/interface/Alert.h"
#include "platform/interface/Screen.h"
#include "platform/support/Directories.h"
#include "ui/StatusWindow.h"
#include "ui/Window.h"

HARMOLOOM* Synth = nullptr;
std::atomic<int32_t> crash_has_started{0};

namespace
{

char program_path[PATH_MAX];

// The display went away under the window (its X server ended, the session was logged out): the
// window can no longer close in its order, so the settings are saved from here, with what a
// close would have recorded, and the process ends (status 1).
// Nothing is stopped or deleted first: the audio and MIDI threads run on until _exit ends them
// all at once, and since the engine is never deleted no callback can reach a deleted engine.
// Stopping the output instead would wait for the audio server, which a logout often takes down
// too, and a normal exit() would run static destructors under those threads' feet.
void save_settings_without_display()
{
    SaveSettingsAndExit(app_window.load(), 1, "Harmoloom: the display was lost; settings saved\n");
}

} // namespace

void SaveSettingsAndExit(WINDOW* window, int status, const char* notice)
{
    if (window != nullptr)
        window->RecordForSaving();
    SaveSettings();
    if (notice != nullptr)
        std::fputs(notice, stderr);
    ExitNow(status);
}

void SetProgramPath(const char* argv0)
{
    if (application_path(program_path, sizeof(program_path)) != B_OK)
        std::snprintf(program_path, sizeof(program_path), "%s", argv0 != nullptr ? argv0 : "");
}

const char* ProgramPath()
{
    return program_path;
}

APP::APP() : BApplication("application/x-vnd.Quillfeather-Harmoloom-1-1")
{
    DEBUG_PRINT("Loading library");
    LoadLibrary(ProgramPath());
    RouteFluidLog();

    DEBUG_PRINT("Loading settings");
    LoadSettings();
    set_display_lost_handler(save_settings_without_display);

    DEBUG_PRINT("Opening status window");
    OpenStatusWindow();

    // A JACK server sets its own rate: the output is opened first, and the engine made at its
    // rate; the window starts it.
    int stored_rate = SampleRateForIndex(settings[setting::sample_rate_index]);
    int rate =
        OpenAudio(stored_rate, FramesPerBuffer(settings[setting::timing_index], stored_rate));

    DEBUG_PRINT("Creating synth");
    Synth = new HARMOLOOM(rate);

    DEBUG_PRINT("Testing synth for errors");
    if (Synth->InitCheck() == -1)
    {
        DEBUG_PRINT("Error initializing synth");
        (new BAlert("failed",
                    "Sorry, there was an unexpected error while initializing the library.", "OK",
                    nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))
            ->Go();
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
        ExitNow(1);
    }

    DEBUG_PRINT("Initial synth setup (interpolation)");
    // Only -1 to 2 are qualities; any other stored value takes the medium one (as the engine
    // would), without working out one more than it, which may not exist.
    int32_t quality = settings[setting::quality];
    Synth->SetInterp(quality >= -1 && quality <= 2 ? quality + 1 : 2);

    DEBUG_PRINT("Setting up window position");
    display_mode mode;
    BScreen(B_MAIN_SCREEN_ID).GetMode(&mode);
    ClampWindowPosition(mode.virtual_width, mode.virtual_height);

    DEBUG_PRINT("Creating main window");
    auto* window = new WINDOW(MainWindowFrame());
    app_window = window;

    DEBUG_PRINT("End of application constructor");
}

APP::~APP()
{
    // The main window stops the audio when it closes; without it, nothing else would have, and
    // no render call may reach the engine once it is gone.
    if (player != nullptr)
    {
        DEBUG_PRINT("Stopping audio");
        StopAudio();
    }

    DEBUG_PRINT("Stopping MIDI interface");
    StopMidiInterface();

    DEBUG_PRINT("Saving settings");
    SaveSettings();

    DEBUG_PRINT("Deleting synth");
    if (Synth != nullptr)
    {
        delete Synth;
        Synth = nullptr;
    }

    DEBUG_PRINT("Unloading library");
    FreeLibrary();

    DEBUG_PRINT("End of application destructor");
}
