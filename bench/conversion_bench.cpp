// How fast a WAV recording becomes a SoundFont, against a plain copy of the same file: a 100 MB
// 16-bit stereo recording, each measured three times after a warm-up, the median kept.
//
//   build/bench/conversion_bench [megabytes]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "instruments/WaveProbe.h"
#include "instruments/WaveToSoundfont.h"

namespace
{

void put32(FILE* file, unsigned long value)
{
    for (int index = 0; index < 4; index++)
        std::fputc(static_cast<int>((value >> (8 * index)) & 0xFF), file);
}

void put16(FILE* file, unsigned value)
{
    std::fputc(static_cast<int>(value & 0xFF), file);
    std::fputc(static_cast<int>((value >> 8) & 0xFF), file);
}

bool write_recording(const std::string& path, unsigned long data_bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::fwrite("RIFF", 1, 4, file);
    put32(file, 36 + data_bytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put32(file, 16);
    put16(file, 1);
    put16(file, 2);
    put32(file, 44100);
    put32(file, 44100 * 4);
    put16(file, 4);
    put16(file, 16);
    std::fwrite("data", 1, 4, file);
    put32(file, data_bytes);
    std::vector<unsigned char> block(1 << 20);
    unsigned state = 12345;
    for (unsigned char& byte : block)
    {
        state = state * 1103515245 + 12345;
        byte = static_cast<unsigned char>(state >> 16);
    }
    for (unsigned long written = 0; written < data_bytes; written += block.size())
        std::fwrite(block.data(), 1, std::min<unsigned long>(block.size(), data_bytes - written),
                    file);
    return std::fclose(file) == 0;
}

bool plain_copy(const std::string& from, const std::string& to)
{
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    if (in == nullptr || out == nullptr)
        return false;
    std::vector<char> buffer(1 << 16);
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;)
        std::fwrite(buffer.data(), 1, got, out);
    std::fclose(in);
    return std::fclose(out) == 0;
}

bool convert(const std::string& from, const std::string& to, const char* importer)
{
    FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr)
        return false;
    WaveFormat format;
    bool done = ProbeWave(in, &format) &&
                ConvertWave(in, format.data_length, format.bits_per_sample, format.channels,
                            format.sample_rate, importer, to.c_str()) == ConversionStatus::Done;
    std::fclose(in);
    return done;
}

template <typename Work> double median_seconds(Work work)
{
    std::vector<double> times;
    for (int run = 0; run < 3; run++)
    {
        auto start = std::chrono::steady_clock::now();
        if (!work())
            return -1;
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

} // namespace

int main(int argc, char** argv)
{
    unsigned long megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    char folder[] = "/tmp/harmoloom-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    std::string recording = std::string(folder) + "/recording.wav";
    std::string copy = std::string(folder) + "/copy.wav";
    std::string soundfont = std::string(folder) + "/recording.sf2";
    const char* importer = HARMOLOOM_BUILD_DIR "/Support Files/System Files/Audio File Importer";

    unsigned long bytes = megabytes * 1000000;
    if (!write_recording(recording, bytes) || !plain_copy(recording, copy))
        return 1;
    double copy_seconds = median_seconds([&] { return plain_copy(recording, copy); });
    double convert_seconds =
        median_seconds([&] { return convert(recording, soundfont, importer); });
    if (copy_seconds <= 0 || convert_seconds <= 0)
    {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    double megabytes_in = static_cast<double>(bytes) / 1e6;
    std::printf("conversion benchmark: %lu MB of 16-bit stereo WAV at 44100 Hz\n", megabytes);
    std::printf("  plain copy     %7.3f s  %8.1f MB/s\n", copy_seconds,
                megabytes_in / copy_seconds);
    std::printf("  conversion     %7.3f s  %8.1f MB/s of recording read\n", convert_seconds,
                megabytes_in / convert_seconds);
    std::printf("  speed ratio    %7.2f (conversion / copy; target at least 0.5)\n",
                copy_seconds / convert_seconds);
    std::printf("  reproduce: %s %lu\n", argv[0], megabytes);
    std::remove(recording.c_str());
    std::remove(copy.c_str());
    std::remove(soundfont.c_str());
    rmdir(folder);
    return 0;
}
