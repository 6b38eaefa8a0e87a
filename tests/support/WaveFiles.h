// RIFF WAVE files made byte by byte, for feeding the converter exactly what a test needs, and
// recordings made by sox.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

inline std::string Le16(uint16_t value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

inline std::string Le32(uint32_t value)
{
    return Le16(static_cast<uint16_t>(value & 0xFFFF)) + Le16(static_cast<uint16_t>(value >> 16));
}

// A chunk: identifier, size (size_field when it is to lie), body, and a pad byte when the body's
// length is odd.
inline std::string Chunk(const std::string& id, const std::string& body, int64_t size_field = -1)
{
    uint32_t size = static_cast<uint32_t>(size_field >= 0 ? size_field : int64_t(body.size()));
    return id + Le32(size) + body + (body.size() % 2 == 1 ? std::string(1, '\0') : "");
}

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

inline std::string MakeWave(const WaveSpec& spec)
{
    uint16_t block = static_cast<uint16_t>(spec.channels * spec.bits / 8);
    std::string format = Le16(spec.format_tag) + Le16(spec.channels) + Le32(spec.sample_rate) +
                         Le32(spec.sample_rate * block) + Le16(block) + Le16(spec.bits);
    std::string body = "WAVE" + spec.before_format + Chunk("fmt ", format) + spec.before_data +
                       Chunk("data", spec.data, spec.data_size);
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

// Interleaved 16-bit samples as bytes.
inline std::string Samples16(const std::vector<int16_t>& samples)
{
    std::string bytes;
    for (int16_t sample : samples)
        bytes += Le16(static_cast<uint16_t>(sample));
    return bytes;
}

// A recording of 16-bit samples made by sox into path, with more of sox's format options
// ("-r", "22050", ...) and its synth effect's arguments; the path.
inline std::string Tone(const std::string& path, const std::vector<std::string>& format,
                        const std::vector<std::string>& synth = {"0.2", "sine", "440"})
{
    std::vector<std::string> command = {"/usr/bin/sox", "-n", "-b", "16"};
    command.insert(command.end(), format.begin(), format.end());
    command.insert(command.end(), {path, "synth"});
    command.insert(command.end(), synth.begin(), synth.end());
    EXPECT_EQ(RunProcess(command, {}).exit_status, 0) << path;
    return path;
}
