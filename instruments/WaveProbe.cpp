#include "instruments/WaveProbe.h"

#include "app/Debug.h"
#include "instruments/RiffChunks.h"

namespace
{

constexpr unsigned long kPcm = 1;
constexpr unsigned long kExtensible = 0xFFFE;

} // namespace

bool ProbeWave(FILE* file, WaveFormat* format)
{
    if (GoToChunk(file, RiffId("WAVE"), RiffId("fmt ")) == 0)
        return false;
    unsigned long tag = 0;
    unsigned long channels = 0;
    unsigned long rate = 0;
    unsigned long bits = 0;
    if (!ReadUint16(file, &tag) || (tag != kPcm && tag != kExtensible))
        return false;
    unsigned char byte_rate_and_alignment[6];
    if (!ReadUint16(file, &channels) || !ReadUint32(file, &rate) ||
        std::fread(byte_rate_and_alignment, 1, 6, file) != 6 || !ReadUint16(file, &bits))
        return false;

    DEBUG_PRINT("Checking data chunk\n");
    unsigned long data_length = GoToChunk(file, RiffId("WAVE"), RiffId("data"));
    if (data_length == 0)
        return false;
    format->data_length = data_length;
    format->bits_per_sample = bits;
    format->channels = static_cast<unsigned short>(channels);
    format->sample_rate = rate;
    return true;
}
