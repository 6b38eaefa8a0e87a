// Ending the process from a fatal path (an alert that ends start-up, a failing output).
#pragma once

// Flushes standard output and error and ends the process with the status at once, without
// running static destructors: the audio and MIDI threads may still be running at this point and
// must not find the objects they use (the meter's lock, say) destroyed under them.
[[noreturn]] void ExitNow(int status);
