#include "tests/support/WaveFiles.h"

std::string Le16(uint16_t value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string Le32(uint32_t value)
{
    return Le16(static_cast<uint16_t>(value & 0xFFFF)) + Le16(static_cast<uint16_t>(value >> 16));
}

std::string Chunk(const std::string& id, const std::string& body)
{
    std::string chunk = id + Le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() % 2 == 1)
        chunk += '\0';
    return chunk;
}

std::string MakeWave(const WaveSpec& spec)
{
    uint16_t block = static_cast<uint16_t>(spec.channels * spec.bits / 8);
    std::string format = Le16(spec.format_tag) + Le16(spec.channels) + Le32(spec.sample_rate) +
                         Le32(spec.sample_rate * block) + Le16(block) + Le16(spec.bits);
    std::string data_chunk = "data" +
                             Le32(spec.data_size >= 0 ? static_cast<uint32_t>(spec.data_size)
                                                      : static_cast<uint32_t>(spec.data.size())) +
                             spec.data;
    if (spec.data.size() % 2 == 1)
        data_chunk += '\0';
    std::string body =
        "WAVE" + spec.before_format + Chunk("fmt ", format) + spec.before_data + data_chunk;
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

std::string Samples16(const std::vector<int16_t>& samples)
{
    std::string bytes;
    for (int16_t sample : samples)
        bytes += Le16(static_cast<uint16_t>(sample));
    return bytes;
}
