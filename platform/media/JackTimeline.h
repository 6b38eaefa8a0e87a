// The client's timeline: frames that go on counting whatever the server does. The server keeps
// its frame time in 32 bits and starts it again when it restarts; the timeline goes on past
// 2^32 frames and across a restart (counted on by the wall clock while no server runs), so that
// a time taken on it before a restart still means the same moment after it.
//
// Publish: the process thread, once a cycle. Now: any thread. Real-time safe, no lock: a reader
// that meets a cycle's write tries again.
#pragma once

#include <atomic>

#include "platform/support/SupportDefs.h"
#include "platform/support/Threads.h"

class JackTimeline
{
public:
    // The cycle that begins at first_frame of the timeline began at system time usecs. Every
    // access is sequentially consistent, which makes the odd and even counts a reader sees
    // bracket the values it read without a separate fence.
    void Publish(bigtime_t first_frame, bigtime_t usecs)
    {
        uint32 sequence = sequence_.load();
        sequence_.store(sequence + 1);
        first_frame_.store(first_frame);
        usecs_.store(usecs);
        sequence_.store(sequence + 2);
    }

    // The frame at system time now, at rate frames a second.
    bigtime_t At(bigtime_t now, int rate) const
    {
        for (;;)
        {
            uint32 sequence = sequence_.load();
            bigtime_t first_frame = first_frame_.load();
            bigtime_t usecs = usecs_.load();
            if ((sequence & 1) == 0 && sequence == sequence_.load())
                return first_frame + (now - usecs) * rate / 1000000;
        }
    }

private:
    std::atomic<uint32> sequence_{0};
    std::atomic<bigtime_t> first_frame_{0};
    std::atomic<bigtime_t> usecs_{0};
};
