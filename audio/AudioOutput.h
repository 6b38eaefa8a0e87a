// The program's one audio output: the sound player and its render callback, BufferFiller, which
// renders the engine, measures the levels for the meter and keeps the fuse.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "platform/media/SoundPlayer.h"

class MAINVIEW;

extern BSoundPlayer* player; // null while no output is open
// The rate the output runs at (the server's, with JACK; a new server may bring another).
extern std::atomic<int> current_sample_rate;
extern MAINVIEW* theview; // the Main page, through which the fuse reaches its slider

// Opens the output (stopped) unless one is open, asking for the stored rate and period, and
// returns the rate it runs at, for the engine: a JACK server sets its own. The stored rate when
// nothing could be opened (StartAudio then reports it). Main thread, at start-up, before the
// engine is made.
int OpenAudio(int sample_rate, int frames_per_buffer);

// Opens (unless OpenAudio has) and starts the output, unless it runs already. Does not return
// when the output cannot be opened (AudioError). Main thread, at start-up.
void StartAudio(int sample_rate, int frames_per_buffer, MAINVIEW* view);

// The output in use as the user knows it: "JACK (44.1 kHz, 256)", "PulseAudio" or "ALSA";
// "None" while none is open. Main thread.
std::string OutputDeviceName();

// Whether the output runs at its server's rate and period whatever the Setup page chooses
// (JACK's). Main thread.
bool ServerSetsRateAndPeriod();

// Frames of the buffer being rendered (JACK's period may change while it runs); 0 while no
// output runs. Any thread.
int CurrentPeriod();

// The player's callback, on the audio thread, for every buffer. Real-time code: it waits for no
// lock (the engine only within EnginePatience), and the meter and the fuse take only atomics.
void BufferFiller(void* cookie, void* buffer, size_t size, const media_raw_audio_format& format);

// Stops (waiting for a running callback to end) and deletes the player.
void StopAudio();

// The audio-failure alert, which offers to restore the default settings; then exit status 1.
// cause: the back ends' reasons, shown on a line of their own ("" for none).
[[noreturn]] void AudioError(const char* cause = "");

// How long the callback waits for the engine before it gives up on a buffer and plays silence:
// a quarter of the buffer's duration. A long SoundFont load holds the engine for seconds, and a
// callback that waited for it would stall the audio server, which then drops the client.
bigtime_t EnginePatience(unsigned long frames, int sample_rate);
