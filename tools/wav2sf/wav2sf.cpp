// wav2sf: turns a WAV recording into the SoundFont Harmoloom would play it from, on the same
// code path as the program, for users who want the file itself.
//
//   wav2sf IN.wav OUT.sf2
//
// Exit status 0 on success; 1 with a one-line reason on standard error when the input is
// refused or the output cannot be written; 2 for a wrong number of arguments.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/Paths.h"
#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"
#include "platform/support/Directories.h"

namespace
{

int refuse(const char* input, const char* reason)
{
    std::fprintf(stderr, "wav2sf: %s: %s\n", input, reason);
    return 1;
}

bool copy_file(const char* from, const char* to)
{
    FILE* in = std::fopen(from, "rb");
    if (in == nullptr)
        return false;
    FILE* out = std::fopen(to, "wb");
    if (out == nullptr)
    {
        std::fclose(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), in)) > 0;)
    {
        if (std::fwrite(buffer, 1, got, out) != got)
        {
            ok = false;
            break;
        }
    }
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: wav2sf IN.wav OUT.sf2\n");
        return 2;
    }
    const char* input = argv[1];
    const char* output = argv[2];

    char program[PATH_MAX];
    if (application_path(program, sizeof(program)) != B_OK)
        return refuse(input, "cannot find where wav2sf is installed");
    char importer[PATH_MAX];
    std::snprintf(importer, sizeof(importer), "%s%s", get_path(program), AUDIO_FILE_IMPORTER);

    FILE* wave = std::fopen(input, "rb");
    if (wave == nullptr)
        return refuse(input, std::strerror(errno));
    WaveFormat format;
    if (!ProbeWave(wave, &format))
    {
        std::fclose(wave);
        return refuse(input, "not a RIFF WAVE file with PCM samples and a data chunk");
    }
    const char* converted = TemporarySoundfontPath();
    if (converted[0] == '\0')
    {
        std::fclose(wave);
        return refuse(input, "no private temporary folder to convert in");
    }
    ConversionStatus status = ConvertWave(wave, format.data_length, format.bits_per_sample,
                                          format.channels, format.sample_rate, importer, converted);
    std::fclose(wave);
    if (status != ConversionStatus::Done)
        return refuse(input, ConversionStatusText(status));

    bool copied = copy_file(converted, output);
    std::remove(converted);
    if (!copied)
    {
        std::remove(output);
        std::fprintf(stderr, "wav2sf: %s: cannot write the SoundFont\n", output);
        return 1;
    }
    return 0;
}
