#include "instruments/WaveToSoundfont.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "instruments/TemplateLayout.h"
#include "platform/support/Directories.h"

const char AUDIO_FILE_IMPORTER[] = "Support Files/System Files/Audio File Importer";

namespace
{

using namespace template_layout;

constexpr unsigned long kFramesPerBlock = 16384;

// The SoundFont's sizes are 32-bit: the largest data size whose RIFF form size still fits.
constexpr unsigned long kLargestSampleData = 0xFFFFFFFFul - kRiffExtra;

// The template's own mark, its first 16 bytes.
bool template_header_is_right(const unsigned char* header)
{
    static const unsigned char kName[13] = {'H', 'a', 'r', 'm', 'o', 'l', 'o',
                                            'o', 'm', 0,   0,   0,   0};
    return std::memcmp(header, kName, sizeof(kName)) == 0 && header[13] == 2 && header[14] == 2 &&
           header[15] == 0xFF;
}

class Output
{
public:
    explicit Output(FILE* file) : file_(file) {}

    void Bytes(const void* data, size_t size)
    {
        if (ok_ && std::fwrite(data, 1, size, file_) != size)
            ok_ = false;
    }
    void Uint32(unsigned long value)
    {
        unsigned char bytes[4];
        for (int index = 0; index < 4; index++)
            bytes[index] = static_cast<unsigned char>(value >> (8 * index));
        Bytes(bytes, 4);
    }
    // Copies the next size bytes of the template.
    void Piece(FILE* from, size_t size)
    {
        unsigned char piece[kPieceC];
        if (!ok_ || std::fread(piece, 1, size, from) != size)
        {
            ok_ = false;
            return;
        }
        Bytes(piece, size);
    }
    bool Ok() const { return ok_; }

private:
    FILE* file_;
    bool ok_ = true;
};

int16_t little_endian_16(const unsigned char* bytes)
{
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | bytes[1] << 8));
}

// One frame of the recording as one 16-bit sample. Halving truncates towards zero.
int16_t mix_down(const unsigned char* frame, unsigned long bits, unsigned short channels)
{
    if (bits == 16 && channels == 2)
        return static_cast<int16_t>(little_endian_16(frame) / 2 + little_endian_16(frame + 2) / 2);
    if (bits == 16)
        return little_endian_16(frame);
    if (channels == 2)
        return static_cast<int16_t>((frame[0] - 128) * 128 + ((frame[1] - 128) / 2) * 256);
    return static_cast<int16_t>((frame[0] - 128) * 256);
}

// Reads, mixes and writes the N frames in blocks; the number of samples written.
unsigned long write_samples(FILE* wave, Output& out, unsigned long frames, unsigned long bits,
                            unsigned short channels)
{
    const size_t frame_size = (bits / 8) * channels;
    std::vector<unsigned char> in(kFramesPerBlock * frame_size);
    std::vector<unsigned char> samples(kFramesPerBlock * 2);
    unsigned long written = 0;
    while (written < frames && out.Ok())
    {
        unsigned long wanted = std::min(kFramesPerBlock, frames - written);
        size_t got = std::fread(in.data(), frame_size, wanted, wave);
        for (size_t frame = 0; frame < got; frame++)
        {
            uint16_t sample =
                static_cast<uint16_t>(mix_down(&in[frame * frame_size], bits, channels));
            samples[2 * frame] = static_cast<unsigned char>(sample & 0xFF);
            samples[2 * frame + 1] = static_cast<unsigned char>(sample >> 8);
        }
        out.Bytes(samples.data(), got * 2);
        if (!out.Ok())
            break;
        written += got;
        if (got < wanted)
            break; // the data ends early
    }
    return written;
}

// Creates the output afresh, refusing to follow a link planted under its name.
FILE* create_output(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
    return file;
}

} // namespace

const char* ConversionStatusText(ConversionStatus status)
{
    switch (status)
    {
    case ConversionStatus::Done:
        return "converted";
    case ConversionStatus::Channels:
        return "only mono and stereo recordings can be converted";
    case ConversionStatus::Bits:
        return "only 8-bit and 16-bit samples can be converted";
    case ConversionStatus::Rate:
        return "the sample rate must be between 4096 and 96000 Hz";
    case ConversionStatus::Length:
        return "the recording must be at least 16 frames long and fit into a SoundFont";
    case ConversionStatus::Template:
        return "the conversion template \"Support Files/System Files/Audio File Importer\" is "
               "missing or damaged";
    case ConversionStatus::Output:
        return "the SoundFont could not be written";
    case ConversionStatus::ShortData:
        return "the data chunk ends before the length it gives";
    }
    return "unknown";
}

const char* TemporarySoundfontPath()
{
    // Worked out once, whichever thread converts first (the main thread at start-up, the loader
    // thread later).
    static const std::string path = []
    {
        char folder[PATH_MAX];
        if (private_temporary_directory(folder, sizeof(folder)) != B_OK)
            return std::string();
        // One per process: two instances of the program converting at the same time must not
        // delete or overwrite each other's file.
        char file[PATH_MAX];
        int length = std::snprintf(file, sizeof(file), "%s/HarmoloomTempSfWaveFile.%d", folder,
                                   static_cast<int>(getpid()));
        if (length < 0 || static_cast<size_t>(length) >= sizeof(file))
            return std::string();
        return std::string(file);
    }();
    return path.c_str();
}

ConversionStatus ConvertWave(FILE* file, unsigned long data_length, unsigned long bits_per_sample,
                             unsigned short channels, unsigned long sample_rate,
                             const char* template_path, const char* output_path)
{
    if (output_path == nullptr || output_path[0] == '\0')
        return ConversionStatus::Output;
    std::remove(output_path);

    if (channels != 1 && channels != 2)
        return ConversionStatus::Channels;
    if (bits_per_sample != 8 && bits_per_sample != 16)
        return ConversionStatus::Bits;
    if (sample_rate - 4096 > 91904) // unsigned: below 4096 wraps round to a huge value
        return ConversionStatus::Rate;
    unsigned long frames = data_length;
    if (bits_per_sample == 16)
        frames /= 2;
    if (channels == 2)
        frames /= 2;
    if (frames < 16 || 2 * frames > kLargestSampleData)
        return ConversionStatus::Length;
    const unsigned long data_size = 2 * frames;

    FILE* importer = std::fopen(template_path, "rb");
    if (importer == nullptr)
        return ConversionStatus::Template;
    unsigned char header[16];
    if (std::fread(header, 1, sizeof(header), importer) != sizeof(header) ||
        !template_header_is_right(header) || std::fseek(importer, 0, SEEK_END) != 0 ||
        std::ftell(importer) != static_cast<long>(kTemplateSize) ||
        std::fseek(importer, static_cast<long>(kMarkSize), SEEK_SET) != 0)
    {
        std::fclose(importer);
        return ConversionStatus::Template;
    }

    FILE* soundfont = create_output(output_path);
    if (soundfont == nullptr)
    {
        std::fclose(importer);
        return ConversionStatus::Output;
    }
    Output out(soundfont);
    out.Bytes("RIFF", 4);
    out.Uint32(data_size + kRiffExtra);
    out.Piece(importer, kPieceA);
    out.Uint32(data_size + kSampleListExtra);
    out.Piece(importer, kPieceB);
    out.Uint32(data_size + kSampleChunkExtra);

    unsigned long written = write_samples(file, out, frames, bits_per_sample, channels);
    ConversionStatus status = ConversionStatus::Done;
    if (written < frames)
    {
        status = out.Ok() ? ConversionStatus::ShortData : ConversionStatus::Output;
    }
    else
    {
        static const unsigned char kZeros[2 * kTrailingZeroSamples] = {};
        out.Bytes(kZeros, sizeof(kZeros));
        out.Piece(importer, kPieceC);
        out.Uint32(frames);
        out.Piece(importer, kPieceD);
        out.Uint32(frames - 8);
        out.Uint32(sample_rate);
        out.Piece(importer, kPieceE);
        if (!out.Ok())
            status = ConversionStatus::Output;
    }
    if (std::fclose(soundfont) != 0 && status == ConversionStatus::Done)
        status = ConversionStatus::Output;
    std::fclose(importer);
    if (status != ConversionStatus::Done)
        std::remove(output_path);
    return status;
}

void ConvertToSf(FILE* file, unsigned long data_length, unsigned long bits_per_sample,
                 unsigned short channels, unsigned long sample_rate)
{
    ConvertWave(file, data_length, bits_per_sample, channels, sample_rate, AUDIO_FILE_IMPORTER,
                TemporarySoundfontPath());
}
