// Turning a WAV recording into a one-sample SoundFont 2 file, around the conversion template
// "Support Files/System Files/Audio File Importer" that lies beside the program.
#pragma once

#include <cstdio>

// Why a conversion did not happen.
enum class ConversionStatus
{
    Done,
    Channels,  // not 1 or 2 channels
    Bits,      // not 8 or 16 bits per sample
    Rate,      // outside 4096..96000 Hz
    Length,    // fewer than 16 frames, or too many for a SoundFont's 32-bit sizes
    Template,  // the template is missing or damaged
    Output,    // the SoundFont could not be created or written
    ShortData, // the data chunk ends before the length it claims
};

// A line of text for a status, for the user of the command-line converter.
const char* ConversionStatusText(ConversionStatus status);

// The template, relative to the program's folder (the working directory once it has started).
extern const char AUDIO_FILE_IMPORTER[];

// The temporary SoundFont a WAV file is turned into: "HarmoloomTempSfWaveFile.PID" in the
// private temporary folder. Empty when there is no such folder.
const char* TemporarySoundfontPath();

// Reads data_length bytes of samples from the file's current position, mixes them down to
// 16-bit mono and writes the SoundFont to output_path, which is deleted first whatever follows
// and is created without following a link. The file is not closed. On any failure after the
// output was created, the output is deleted.
ConversionStatus ConvertWave(FILE* file, unsigned long data_length, unsigned long bits_per_sample,
                             unsigned short channels, unsigned long sample_rate,
                             const char* template_path, const char* output_path);

// ConvertWave with the template beside the program and the temporary SoundFont as output.
// Success shows only as the temporary file's existence. Window thread.
void ConvertToSf(FILE* file, unsigned long data_length, unsigned long bits_per_sample,
                 unsigned short channels, unsigned long sample_rate);
