// The settings record, the SoundFont slot table, and the one file that keeps them between runs.
//
// The tables are plain global data without a lock: the window's thread (the main thread at
// start-up and shutdown) writes them; the audio and MIDI threads only read single fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setting
{
enum Index : int
{
    version,
    window_left,
    window_top,
    output_level_db,
    polyphony_step,
    quality,
    sample_rate_index,
    timing_index,
    priority_index,
    cutout,
    two_ports,
    reverb_room_size,
    reverb_damping,
    reverb_width,
    reverb_level,
    chorus_voices,
    chorus_frequency,
    chorus_depth,
    chorus_level,
};
} // namespace setting

constexpr int SETTINGS_COUNT = 19;
constexpr int32_t SETTINGS_VERSION = 8;
constexpr int SOUNDFONT_SLOTS = 128;
constexpr int SOUNDFONT_PATH_SIZE = 1024;

// The largest file that carries information: the record and 128 slots with full-length paths.
constexpr size_t SETTINGS_FILE_MAX =
    SETTINGS_COUNT * 4 + SOUNDFONT_SLOTS * (4 + static_cast<size_t>(SOUNDFONT_PATH_SIZE));

extern int32_t settings[SETTINGS_COUNT];
extern char soundfont_paths[SOUNDFONT_SLOTS][SOUNDFONT_PATH_SIZE];
extern int32_t soundfont_banks[SOUNDFONT_SLOTS];

// Factory defaults for the record; every slot empty with bank 0.
void InitDefaults();

// Fills the tables from the settings file, or with the defaults when it is missing, shorter than
// the record, or of another version. Never fails visibly. Also clears away the copy a save killed
// at the wrong instant may have left beside the file. Main thread, at start-up.
void LoadSettings();

// Writes the tables to the settings file. The new file is written beside the old one and renamed
// over it (ReplaceFileContents), so a kill, a crash or a full disk mid-write leaves the old
// settings or the new ones, and no other file. Main thread at shutdown, or the thread that finds
// the display lost.
void SaveSettings();
// Makes the settings file's folder where it is missing, as a first save must; false when there
// is none to make.
bool MakeSettingsFolder();

// Empties the settings file, so that the next start uses the defaults; the tables in memory are
// left alone. Uses only open and close, so a signal handler may call it once
// SettingsFilePath() has been called outside the handler.
void RestoreDefaultSettings();

// "<settings folder>/Harmoloom Settings"; empty when there is no settings folder. Computed on
// the first call.
const char* SettingsFilePath();

// The file format without the file. ParseSettings fills the tables from size bytes (defaults
// and false when the record is short or of another version); it never reads past data + size
// nor writes past a slot. A file that ends inside the slot table leaves the remaining slots
// empty; a path of 1024 bytes or more is cut to 1023.
bool ParseSettings(const unsigned char* data, size_t size);

// Writes the tables in file form into buffer and returns the number of bytes; 0 when they do not
// fit into size bytes (SETTINGS_FILE_MAX always suffices).
size_t SerializeSettings(unsigned char* buffer, size_t size);
