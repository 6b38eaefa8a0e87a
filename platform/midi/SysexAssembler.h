// Whole system-exclusive messages out of what a back end hands over: JACK may carry one across
// several events, the ALSA sequencer across several packets. A message keeps at most kMaxLength
// bytes, F0 to F7: a longer one is dropped whole and counted; one that another status byte cuts
// (or a new F0 restarts) is only given up, as a byte stream's parser would. What is not system
// exclusive passes as it came, and a real-time byte inside one passes on its own without disturbing
// it.
//
// One thread at a time (the back end's reader); fixed storage, real-time safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/support/SupportDefs.h"

class SysexAssembler
{
public:
    static constexpr size_t kMaxLength = 1024;

    // Calls forward(bytes, count) for each whole message the bytes complete or carry.
    template <typename Forward> void Take(const uint8_t* bytes, size_t count, Forward forward)
    {
        size_t index = 0;
        while (index < count)
        {
            uint8_t byte = bytes[index];
            if (!collecting_)
            {
                if (byte != 0xF0)
                {
                    forward(bytes + index, count - index);
                    return;
                }
                collecting_ = true;
                length_ = 0;
            }
            else if (byte >= 0xF8)
            {
                forward(bytes + index, 1);
                index++;
                continue;
            }
            else if (byte >= 0x80 && byte != 0xF7)
            {
                collecting_ = false; // the status byte begins the next message
                continue;
            }
            if (length_ < kMaxLength)
                buffer_[length_] = byte;
            length_++;
            index++;
            if (byte != 0xF7)
                continue;
            if (length_ <= kMaxLength)
                forward(buffer_, length_);
            else
                dropped_.fetch_add(1, std::memory_order_relaxed);
            collecting_ = false;
        }
    }

    // Messages dropped since it was made. Any thread.
    uint64 Dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    uint8_t buffer_[kMaxLength];
    size_t length_ = 0;
    bool collecting_ = false;
    std::atomic<uint64> dropped_{0};
};
