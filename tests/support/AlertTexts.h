// The alerts as the program shows them: the tests look for them on standard error, where an
// alert answered without a dialog is written as
//   Alert "title" (stop):
//   text
// followed by its buttons and the answer.
#pragma once

#include <string>

namespace alert_text
{

inline constexpr char kNoLibrary[] =
    "Sorry, cannot load the library file required by this program (\"fluidsynth\"). Please "
    "ensure your copy of this program is undamaged; try re-installing it.";
inline constexpr char kEngineFailed[] =
    "Sorry, there was an unexpected error while initializing the library.";
// With the cause the trace knows on a line of its own.
inline std::string AudioFailed(const std::string& cause)
{
    return "Sorry, an unexpected error occurred when trying to initialize the audio output. You "
           "may wish to try restarting the sound server (PipeWire, PulseAudio or JACK) before "
           "trying again.\n" +
           cause +
           "\n\nIf you are experiencing this error every time you try to start Harmoloom, you may "
           "wish to try restoring the settings to the factory defaults -- click 'restore to "
           "defaults' below. Please note that doing this will clear all your settings, including "
           "which soundfonts were last in-use.";
}
inline std::string MidiFailed(const std::string& cause)
{
    return "Sorry, an unexpected error occurred when trying to initialize the MIDI input. Please "
           "try again, perhaps after restarting the system.\n" +
           cause;
}
inline constexpr char kCannotLoad[] =
    "Sorry, cannot load that file. You may be low on memory, or the file may be incompatible. If "
    "the former, please remove some Soundfonts (or close some applications), and try again.";
inline constexpr char kTooMany[] =
    "Sorry, cannot load that file, because too many Soundfonts are loaded. Please remove one or "
    "more Soundfonts, and try again.";
inline constexpr char kNotLoaded[] =
    "One or more Soundfont/wave files you were using last time couldn't be loaded this "
    "time.\nPerhaps a drive holding the files isn't mounted, or the files have been moved.\nWhat "
    "do you wish to do?";
inline constexpr char kCrashWhileRunning[] =
    "Sorry, but an unexpected error has occurred. Unfortunately Harmoloom must now close. The "
    "problem may be traceable to one of the soundfont files. Apologies for any inconvenience "
    "caused.";
inline constexpr char kCrashDuringStartup[] =
    "Unfortunately, an error occurred while Harmoloom was starting up. If you are experiencing "
    "this error every time you try to start Harmoloom, you may wish to try restoring the settings "
    "to the factory defaults -- click 'restore to defaults' below. Please note that doing this "
    "will clear all your settings, including which soundfonts were last in-use.";

} // namespace alert_text

// How an alert answered without a dialog begins on standard error.
inline std::string AlertOnStderr(const std::string& title, const std::string& text,
                                 const char* kind = "stop")
{
    return "Alert \"" + title + "\" (" + kind + "):\n" + text + "\n";
}
