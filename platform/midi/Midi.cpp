#include "platform/midi/Midi.h"

#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>

#include "platform/midi/AlsaSequencerClient.h"
#include "platform/midi/MidiInputBackend.h"
#include "platform/midi/MidiParser.h"
#include "platform/midi/MidiQueue.h"
#include "platform/support/RealtimeLock.h"
#include "platform/support/SemaphoreWait.h"
#include "platform/support/Threads.h"

void BMidi::NoteOff(uchar, uchar, uchar, uint32) {}
void BMidi::NoteOn(uchar, uchar, uchar, uint32) {}
void BMidi::KeyPressure(uchar, uchar, uchar, uint32) {}
void BMidi::ControlChange(uchar, uchar, uchar, uint32) {}
void BMidi::ProgramChange(uchar, uchar, uint32) {}
void BMidi::ChannelPressure(uchar, uchar, uint32) {}
void BMidi::PitchBend(uchar, uchar, uchar, uint32) {}
void BMidi::SystemExclusive(const uint8_t*, size_t, uint32) {}

bigtime_t BMidi::ApplyHeldEvents(bigtime_t)
{
    return B_INFINITE_TIMEOUT;
}

status_t BMidi::Start()
{
    running_ = true;
    return B_OK;
}

void BMidi::Stop()
{
    running_ = false;
}

bool BMidi::IsRunning() const
{
    return running_;
}

void BMidi::Dispatch(uint8_t status, uint8_t data1, uint8_t data2, bigtime_t when)
{
    // The handler of each kind of channel message (status 0x80 to 0xE0), by its data bytes.
    using TwoBytes = void (BMidi::*)(uchar, uchar, uchar, uint32);
    using OneByte = void (BMidi::*)(uchar, uchar, uint32);
    static constexpr TwoBytes kTwoBytes[] = {
        &BMidi::NoteOff, &BMidi::NoteOn, &BMidi::KeyPressure, &BMidi::ControlChange,
        nullptr,         nullptr,        &BMidi::PitchBend};
    static constexpr OneByte kOneByte[] = {
        nullptr, nullptr, nullptr, nullptr, &BMidi::ProgramChange, &BMidi::ChannelPressure};
    if (status < 0x80 || status >= 0xF0)
        return;
    event_time_ = when;
    size_t kind = (status >> 4) - 8;
    auto channel = static_cast<uchar>((status & 0x0F) + 1);
    auto time = static_cast<uint32>(system_time() / 1000);
    if (kind < std::size(kTwoBytes) && kTwoBytes[kind] != nullptr)
        (this->*kTwoBytes[kind])(channel, data1, data2, time);
    else if (kind < std::size(kOneByte) && kOneByte[kind] != nullptr)
        (this->*kOneByte[kind])(channel, data1, time);
}

void BMidi::DispatchSystemExclusive(const uint8_t* data, size_t length, bigtime_t when)
{
    event_time_ = when;
    SystemExclusive(data, length, static_cast<uint32>(system_time() / 1000));
}

namespace
{

std::atomic<int> ports_alive{0};

// The back ends, in order of preference.
struct Backend
{
    const char* name;
    std::unique_ptr<MidiInputBackend> (*open)(const char* name, int index, MidiReceiver* receiver,
                                              std::string* why);
};
const Backend kBackends[] = {{"alsa", OpenAlsaSequencerInput}, {"jack", OpenJackMidiInput}};

// Chosen by the first port, for every port made while it lives: both ports of a process on
// one back end.
const Backend* chosen_backend = nullptr;

} // namespace

// The port's side: its queue, the thread that empties it into the consumer, and the calls of a
// JACK render that delivers in the process cycle instead.
struct BMidiPort::Input : public MidiParser::Sink, public MidiReceiver
{
    std::unique_ptr<MidiInputBackend> backend;
    const char* backend_name = "";
    std::string name;
    std::string failure; // why no back end could be opened

    MidiQueue queue;
    sem_t ready;
    std::atomic<bool> accepting{false};
    std::atomic<bool> quitting{false};
    std::thread thread;

    MidiParser parser;
    MidiParser cycle_parser; // for what is applied inside the JACK render
    // Held while a consumer's handler runs, so Disconnect can wait for it; the render only ever
    // tries it, and gives it back without waking anyone.
    RealtimeLock delivery;
    BMidi* consumer = nullptr;

    // A system-exclusive message the render met, for the port's thread to apply: the render
    // applies nothing more of this port until it has.
    std::atomic<bool> exclusive_pending{false};
    bool in_cycle = false; // the render's, while it feeds cycle_parser
    uint8_t exclusive[SysexAssembler::kMaxLength];
    size_t exclusive_length = 0;
    bigtime_t exclusive_time = 0;

    const MidiClock& Clock() const
    {
        return backend != nullptr ? backend->Clock() : SystemMidiClock();
    }

    void Arrived(const uint8_t* bytes, size_t count, bigtime_t time) override
    {
        if (accepting && queue.Push(bytes, count, time))
            sem_post(&ready);
    }

    void Deliver()
    {
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        bigtime_t next_due = B_INFINITE_TIMEOUT;
        for (;;)
        {
            bool held = next_due != B_INFINITE_TIMEOUT;
            wait_for_semaphore(&ready, held ? Clock().SystemTimeAt(next_due) : B_INFINITE_TIMEOUT);
            if (quitting)
                return;
            ApplyPendingExclusive();
            // A steady stream on one channel must not hold back what falls due on another:
            // held events are looked at every millisecond while the queue drains.
            bigtime_t looked = system_time();
            while (DeliverOne())
            {
                if (system_time() - looked < 1000)
                    continue;
                ApplyHeld();
                looked = system_time();
            }
            next_due = ApplyHeld();
        }
    }

    // Applies the consumer's held events that are due; when the next one falls due.
    bigtime_t ApplyHeld()
    {
        RealtimeAutolock hold(delivery);
        if (consumer == nullptr || !consumer->IsRunning())
            return B_INFINITE_TIMEOUT;
        return consumer->ApplyHeldEvents(Clock().Now());
    }

    // Hands the oldest queued message to the consumer; false when none was queued. Either on
    // the port's thread or, once that has been told to stop, on the disconnecting one.
    bool DeliverOne()
    {
        RealtimeAutolock hold(delivery);
        const MidiQueue::Packet* packet = queue.Front();
        if (packet == nullptr)
            return false;
        parser.Feed(packet->bytes, packet->length, packet->time, *this);
        queue.PopFront();
        return true;
    }

    void ApplyPendingExclusive()
    {
        if (!exclusive_pending.load(std::memory_order_acquire))
            return;
        RealtimeAutolock hold(delivery);
        if (consumer != nullptr && consumer->IsRunning())
            consumer->DispatchSystemExclusive(exclusive, exclusive_length, exclusive_time);
        exclusive_pending.store(false, std::memory_order_release);
    }

    void SystemExclusive(const uint8_t* bytes, size_t count, bigtime_t when) override
    {
        if (!in_cycle)
        {
            if (consumer != nullptr && consumer->IsRunning())
                consumer->DispatchSystemExclusive(bytes, count, when);
            return;
        }
        std::memcpy(exclusive, bytes, count);
        exclusive_length = count;
        exclusive_time = when;
        exclusive_pending.store(true, std::memory_order_release);
    }

    void ChannelMessage(uint8_t status_byte, uint8_t data1, uint8_t data2, bigtime_t when) override
    {
        if (consumer != nullptr && consumer->IsRunning())
            consumer->Dispatch(status_byte, data1, data2, when);
    }

    // Never waits for the lock: a Connect or Disconnect holding it, or a system-exclusive
    // message the port's thread has yet to apply, keeps the event for the next buffer.
    bool DeliverInCycle(const uint8_t* bytes, size_t count, bigtime_t frame) override
    {
        if (exclusive_pending.load(std::memory_order_acquire) || delivery.TryLockFor(0) != B_OK)
            return false;
        if (accepting && consumer != nullptr)
        {
            in_cycle = true;
            cycle_parser.Feed(bytes, count, frame, *this);
            in_cycle = false;
        }
        delivery.Unlock();
        if (exclusive_pending.load(std::memory_order_relaxed))
            sem_post(&ready);
        return true;
    }

    bigtime_t ApplyHeldInCycle(bigtime_t frame) override
    {
        if (delivery.TryLockFor(0) != B_OK)
            return frame + 1;
        bigtime_t next = B_INFINITE_TIMEOUT;
        if (consumer != nullptr && consumer->IsRunning())
            next = consumer->ApplyHeldEvents(frame);
        delivery.Unlock();
        return next;
    }

    // The port's thread takes over what the consumer holds: it looks when it falls due.
    void CycleDeliveryEnded() override { sem_post(&ready); }
};

BMidiPort::BMidiPort(const char* name) : input_(std::make_unique<Input>())
{
    int number = ++ports_alive;
    input_->name = name != nullptr ? name : "MIDI In " + std::to_string(number);
    sem_init(&input_->ready, 0, 0);

    if (number == 1)
        chosen_backend = nullptr;
    const char* forced = std::getenv("HARMOLOOM_MIDI");
    for (const Backend& backend : kBackends)
    {
        if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, backend.name) != 0)
            continue;
        if (chosen_backend != nullptr && chosen_backend != &backend)
            continue;
        input_->backend =
            backend.open(input_->name.c_str(), number - 1, input_.get(), &input_->failure);
        if (input_->backend != nullptr)
        {
            input_->backend_name = backend.name;
            chosen_backend = &backend;
            break;
        }
    }
    if (input_->backend == nullptr && input_->failure.empty())
        input_->failure = "no MIDI back end by the name HARMOLOOM_MIDI gives; ";
}

BMidiPort::~BMidiPort()
{
    input_->accepting = false;
    if (input_->thread.joinable())
    {
        input_->quitting = true;
        sem_post(&input_->ready);
        input_->thread.join();
    }
    input_->backend.reset();
    sem_destroy(&input_->ready);
    ports_alive--;
}

status_t BMidiPort::InitCheck() const
{
    return input_->backend != nullptr ? B_OK : B_ERROR;
}

void BMidiPort::Connect(BMidi* consumer)
{
    RealtimeAutolock hold(input_->delivery);
    input_->consumer = consumer;
}

void BMidiPort::Disconnect(BMidi* consumer)
{
    // What has arrived is delivered before the consumer goes, so that nothing is lost silently.
    input_->accepting = false;
    input_->ApplyPendingExclusive();
    while (input_->DeliverOne())
    {
    }
    RealtimeAutolock hold(input_->delivery);
    if (input_->consumer == consumer)
        input_->consumer = nullptr;
}

status_t BMidiPort::Start()
{
    if (InitCheck() != B_OK)
        return B_ERROR;
    BMidi::Start();
    if (!input_->thread.joinable())
        input_->thread = std::thread(
            [input = input_.get()]
            {
                use_alternate_signal_stack();
                input->Deliver();
            });
    input_->accepting = true;
    input_->backend->Started();
    return B_OK;
}

void BMidiPort::Stop()
{
    input_->accepting = false;
    BMidi::Stop();
}

const char* BMidiPort::FailureReason() const
{
    return input_->failure.c_str();
}

void BMidiPort::SetConnectionTrace(void (*trace)(const char* line))
{
    alsa_client::SetTrace(trace);
}

const char* BMidiPort::BackendName() const
{
    return input_->backend_name;
}

const MidiClock& BMidiPort::Clock() const
{
    return input_->Clock();
}

uint64 BMidiPort::DroppedMessages() const
{
    uint64 dropped = input_->queue.Dropped();
    return input_->backend != nullptr ? dropped + input_->backend->Dropped() : dropped;
}

void BMidiPort::Receive(const uint8_t* bytes, size_t count)
{
    input_->Arrived(bytes, count, Clock().Now());
}
