// libFuzzer target: any bytes as an instrument file, through the WAV probe and the conversion.
// Nothing may be read or written out of bounds, and a conversion that reports success must
// have written exactly the SoundFont its input makes.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"

namespace
{

std::string output_path;

long file_size(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return -1;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fclose(file);
    return size;
}

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
    if (size == 0)
        return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr)
        return 0;
    WaveFormat format;
    if (ProbeWave(file, &format))
    {
        ConversionStatus status =
            ConvertWave(file, format.data_length, format.bits_per_sample, format.channels,
                        format.sample_rate, IMPORTER_PATH, output_path.c_str());
        long written = file_size(output_path.c_str());
        if (status == ConversionStatus::Done)
        {
            unsigned long frames =
                format.data_length / (format.bits_per_sample / 8) / format.channels;
            if (written != static_cast<long>(674 + 2 * frames))
                abort();
        }
        else if (written != -1)
        {
            abort(); // a refusal leaves nothing behind
        }
    }
    fclose(file);
    return 0;
}
