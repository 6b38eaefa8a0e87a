#include "instruments/LoadAnyFile.h"

#include "app/Debug.h"
#include "engine/Harmoloom.h"
#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"

int LoadAnyFile(HARMOLOOM* synth, const char* path, int bank)
{
    return synth != nullptr ? synth->JoinSoundfont(PrepareAnyFile(synth, path), bank) : 0;
}

fluid_sfont_t* PrepareAnyFile(HARMOLOOM* synth, const char* path)
{
    if (synth == nullptr)
        return nullptr;
    DEBUG_PRINT("Testing for wave file\n");
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return nullptr;

    DEBUG_PRINT("Checking fmt chunk\n");
    WaveFormat format;
    if (!ProbeWave(file, &format))
    {
        DEBUG_PRINT("Not a wave file\n");
        std::fclose(file);
        return synth->PrepareSoundfont(path);
    }

    DEBUG_PRINT("Preparing data\n");
    ConvertToSf(file, format.data_length, format.bits_per_sample, format.channels,
                format.sample_rate);
    std::fclose(file);
    DEBUG_PRINT("Importing data\n");
    const char* converted = TemporarySoundfontPath();
    fluid_sfont_t* font = synth->PrepareSoundfont(converted);
    std::remove(converted);
    return font;
}
