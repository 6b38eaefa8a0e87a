#include "platform/midi/MidiParser.h"

namespace
{

int data_bytes_of_channel_message(uint8_t status)
{
    uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

int data_bytes_of_system_common(uint8_t status)
{
    switch (status)
    {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 1;
    case 0xF2: // song position
        return 2;
    default:
        return 0;
    }
}

} // namespace

void MidiParser::Feed(const uint8_t* bytes, size_t count, bigtime_t time, Sink& sink)
{
    for (size_t index = 0; index < count; index++)
    {
        uint8_t byte = bytes[index];
        if (byte >= 0xF8)
            continue; // real-time bytes may come anywhere and change nothing
        if (byte == 0xF7 && in_system_exclusive_ && exclusive_length_ < sizeof(system_exclusive_))
        {
            system_exclusive_[exclusive_length_++] = byte;
            sink.SystemExclusive(system_exclusive_, exclusive_length_, time);
        }
        if (byte >= 0x80)
        {
            in_system_exclusive_ = byte == 0xF0;
            system_exclusive_[0] = byte;
            exclusive_length_ = 1;
            have_ = 0;
            skip_ = 0;
            if (byte < 0xF0)
            {
                running_status_ = byte;
            }
            else
            {
                running_status_ = 0; // system messages cancel running status
                skip_ = data_bytes_of_system_common(byte);
            }
            continue;
        }
        if (in_system_exclusive_)
        {
            if (exclusive_length_ < sizeof(system_exclusive_))
                system_exclusive_[exclusive_length_] = byte;
            exclusive_length_++;
            continue;
        }
        if (skip_ > 0)
        {
            skip_--;
            continue;
        }
        if (running_status_ == 0)
            continue; // data without a status to belong to
        data_[have_++] = byte;
        if (have_ == data_bytes_of_channel_message(running_status_))
        {
            sink.ChannelMessage(running_status_, data_[0], have_ == 2 ? data_[1] : 0, time);
            have_ = 0;
        }
    }
}

bool SilencesAChannel(const uint8_t* bytes, size_t count)
{
    return count >= 2 && (bytes[0] & 0xF0) == 0xB0 &&
           (bytes[1] == 120 || bytes[1] == 121 || bytes[1] == 123);
}
