// libFuzzer target: any bytes as MIDI input. Every message that comes out is a channel message
// with seven-bit data or a whole system-exclusive one (F0, seven-bit data, F7, at most 1024
// bytes), and cutting the stream into packets anywhere changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/midi/MidiParser.h"

namespace
{

struct Messages : MidiParser::Sink
{
    std::vector<uint32_t> seen;
    void ChannelMessage(uint8_t status, uint8_t data1, uint8_t data2, bigtime_t) override
    {
        if (status < 0x80 || status >= 0xF0 || data1 >= 0x80 || data2 >= 0x80)
            std::abort();
        seen.push_back(static_cast<uint32_t>(status) << 16 | data1 << 8 | data2);
    }
    void SystemExclusive(const uint8_t* bytes, size_t count, bigtime_t) override
    {
        if (count < 2 || count > 1024 || bytes[0] != 0xF0 || bytes[count - 1] != 0xF7 ||
            std::any_of(bytes + 1, bytes + count - 1, [](uint8_t byte) { return byte >= 0x80; }))
            std::abort();
        seen.push_back(0xF00000u | static_cast<uint32_t>(count));
        seen.insert(seen.end(), bytes + 1, bytes + count - 1);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the stream is cut.
    size_t step = 1 + data[0] % 7;
    std::vector<uint8_t> stream(data + 1, data + size);

    MidiParser whole_parser;
    Messages whole;
    whole_parser.Feed(stream.data(), stream.size(), 0, whole);

    MidiParser pieces_parser;
    Messages pieces;
    for (size_t offset = 0; offset < stream.size(); offset += step)
    {
        std::vector<uint8_t> packet(stream.begin() + offset,
                                    stream.begin() + std::min(offset + step, stream.size()));
        pieces_parser.Feed(packet.data(), packet.size(), 0, pieces);
    }
    if (whole.seen != pieces.seen)
        std::abort();
    return 0;
}
