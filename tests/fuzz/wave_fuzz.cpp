// libFuzzer target: any bytes as an instrument file, through the RIFF chunk search, the WAV probe
// and the conversion. Nothing may be read or written out of bounds, the search must leave the
// file at the data of the chunk it reports, and a conversion that reports success must have
// written exactly the SoundFont its input makes.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "instruments/RiffChunks.h"
#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"

namespace
{

std::string output_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/harmoloom-wave-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        abort();
    output_path = std::string(folder) + "/converted.sf2";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
    if (file == nullptr)
        return 0;
    WaveFormat format;
    if (ProbeWave(file, &format))
    {
        ConversionStatus status =
            ConvertWave(file, format.data_length, format.bits_per_sample, format.channels,
                        format.sample_rate, IMPORTER_PATH, output_path.c_str());
        // A success writes the SoundFont of the input's frames; a refusal leaves nothing behind.
        uintmax_t expected = static_cast<uintmax_t>(-1);
        if (status == ConversionStatus::Done)
            expected =
                674 + 2 * (format.data_length / (format.bits_per_sample / 8) / format.channels);
        std::error_code missing;
        if (std::filesystem::file_size(output_path, missing) != expected)
            abort();
    }
    // A chunk's data starts after the 12-byte RIFF header and its own 8-byte header.
    for (unsigned long chunk : {RiffId("fmt "), RiffId("data")})
    {
        if (GoToChunk(file, RiffId("WAVE"), chunk) != 0 &&
            (ftell(file) < 20 || ftell(file) > static_cast<long>(size)))
            abort();
    }
    fclose(file);
    return 0;
}
