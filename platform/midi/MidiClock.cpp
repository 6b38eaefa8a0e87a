#include "platform/midi/MidiClock.h"

#include "platform/support/Threads.h"

namespace
{

class SystemClock final : public MidiClock
{
public:
    bigtime_t Now() const override { return system_time(); }
    bigtime_t DurationOf(bigtime_t microseconds) const override { return microseconds; }
    bigtime_t SystemTimeAt(bigtime_t when) const override { return when; }
};

} // namespace

const MidiClock& SystemMidiClock()
{
    static const SystemClock clock;
    return clock;
}
