// RIFF WAVE files made byte by byte, for feeding the converter exactly what a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);

// A chunk: identifier, size, body, and a pad byte when the body's length is odd.
std::string Chunk(const std::string& id, const std::string& body);

struct WaveSpec
{
    uint16_t format_tag = 1;
    uint16_t channels = 1;
    uint32_t sample_rate = 44100;
    uint16_t bits = 16;
    std::string data;
    std::string before_format; // chunks between "WAVE" and "fmt "
    std::string before_data;   // chunks between "fmt " and "data"
    int64_t data_size = -1;    // the data chunk's size field, when it is to lie
};

std::string MakeWave(const WaveSpec& spec);

// Interleaved 16-bit samples as bytes.
std::string Samples16(const std::vector<int16_t>& samples);
