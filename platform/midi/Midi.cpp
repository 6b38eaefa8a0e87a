#include "platform/midi/Midi.h"

#include <pthread.h>
#include <rtmidi/RtMidi.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/media/JackClient.h"
#include "platform/midi/AlsaHardwareSources.h"
#include "platform/midi/AlsaHotplug.h"
#include "platform/midi/MidiParser.h"
#include "platform/support/Threads.h"

void BMidi::NoteOff(uchar, uchar, uchar, uint32) {}
void BMidi::NoteOn(uchar, uchar, uchar, uint32) {}
void BMidi::KeyPressure(uchar, uchar, uchar, uint32) {}
void BMidi::ControlChange(uchar, uchar, uchar, uint32) {}
void BMidi::ProgramChange(uchar, uchar, uint32) {}
void BMidi::ChannelPressure(uchar, uchar, uint32) {}
void BMidi::PitchBend(uchar, uchar, uchar, uint32) {}

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

void BMidi::SnoozeUntil(uint32 time) const
{
    // Compared as a difference, so that the millisecond clock may wrap round.
    auto now = static_cast<uint32>(system_time() / 1000);
    auto ahead = static_cast<int32>(time - now);
    if (ahead > 0)
        snooze(static_cast<bigtime_t>(ahead) * 1000);
}

void BMidi::Dispatch(uint8_t status, uint8_t data1, uint8_t data2, uint32 time)
{
    auto channel = static_cast<uchar>((status & 0x0F) + 1);
    switch (status & 0xF0)
    {
    case 0x80:
        NoteOff(channel, data1, data2, time);
        break;
    case 0x90:
        NoteOn(channel, data1, data2, time);
        break;
    case 0xA0:
        KeyPressure(channel, data1, data2, time);
        break;
    case 0xB0:
        ControlChange(channel, data1, data2, time);
        break;
    case 0xC0:
        ProgramChange(channel, data1, time);
        break;
    case 0xD0:
        ChannelPressure(channel, data1, time);
        break;
    case 0xE0:
        PitchBend(channel, data1, data2, time);
        break;
    default:
        break;
    }
}

namespace
{

// Messages as they arrived, with their time: written by the MIDI library's thread (with JACK,
// its real-time thread), read by the port's own thread. One writer and one reader, no lock.
class ArrivalQueue
{
public:
    struct Packet
    {
        uint32 time;
        uint8_t length;
        uint8_t bytes[59];
    };

    // Room for more than a second of 10,000 messages; the last places are kept for the
    // messages that silence a channel, so that a flood can never lose the one that ends it.
    static constexpr size_t kCapacity = 16384;
    static constexpr size_t kKeptForSilencing = 256;

    bool Push(const Packet& packet, bool silencing)
    {
        size_t head = head_.load(std::memory_order_relaxed);
        size_t used = head - tail_.load(std::memory_order_acquire);
        if (used == kCapacity || (!silencing && used >= kCapacity - kKeptForSilencing))
            return false;
        packets_[head % kCapacity] = packet;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    bool Pop(Packet* packet)
    {
        size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire))
            return false;
        *packet = packets_[tail % kCapacity];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    Packet packets_[kCapacity];
    std::atomic<size_t> head_{0};
    std::atomic<size_t> tail_{0};
};

// Waits for the semaphore until the given time of system_time() at the latest.
void wait_until(sem_t* semaphore, bigtime_t until)
{
    if (until == B_INFINITE_TIMEOUT)
    {
        while (sem_wait(semaphore) != 0 && errno == EINTR)
        {
        }
        return;
    }
    timespec deadline;
    deadline.tv_sec = static_cast<time_t>(until / 1000000);
    deadline.tv_nsec = static_cast<long>(until % 1000000) * 1000;
    while (sem_clockwait(semaphore, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR)
    {
    }
}

std::atomic<int> ports_alive{0};

// The ALSA sequencer through RtMidi; JACK MIDI on the process's one JACK client.
const char* const kBackends[] = {"alsa", "jack"};

} // namespace

struct BMidiPort::Input : public MidiParser::Sink, public JackMidiSink
{
    std::unique_ptr<RtMidiIn> midi;
    std::string backend;
    std::string name;
    status_t status = B_ERROR;

    ArrivalQueue queue;
    sem_t ready;
    std::atomic<bool> accepting{false};
    std::atomic<bool> quitting{false};
    std::atomic<uint64> dropped{0};
    std::thread thread;

    int jack_slot = -1;    // the port on the JACK client, or -1
    bool watching = false; // for hardware sources plugged in later

    MidiParser parser;
    MidiParser cycle_parser; // for what is applied inside the JACK render
    std::mutex delivery;     // held while a consumer's handler runs, so Disconnect can wait for it
    BMidi* consumer = nullptr;

    // What the library hands over at once is one message (or a part of a long system exclusive
    // one, which the parser skips): it is queued whole or dropped whole.
    void Arrived(const uint8_t* bytes, size_t count, uint32 time)
    {
        if (!accepting)
            return;
        bool silencing = SilencesAChannel(bytes, count);
        for (size_t offset = 0; offset < count;)
        {
            Packet packet;
            packet.time = time;
            packet.length = static_cast<uint8_t>(std::min(count - offset, sizeof(packet.bytes)));
            std::memcpy(packet.bytes, bytes + offset, packet.length);
            if (!queue.Push(packet, silencing))
            {
                dropped++;
                return;
            }
            sem_post(&ready);
            offset += packet.length;
        }
    }

    void Deliver()
    {
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        bigtime_t next_due = B_INFINITE_TIMEOUT;
        for (;;)
        {
            wait_until(&ready, next_due);
            if (quitting)
                return;
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
        std::lock_guard<std::mutex> hold(delivery);
        if (consumer == nullptr || !consumer->IsRunning())
            return B_INFINITE_TIMEOUT;
        return consumer->ApplyHeldEvents(system_time());
    }

    // Hands the oldest queued message to the consumer; false when none was queued. Either on
    // the port's thread or, once that has been told to stop, on the disconnecting one.
    bool DeliverOne()
    {
        std::lock_guard<std::mutex> hold(delivery);
        Packet packet;
        if (!queue.Pop(&packet))
            return false;
        parser.Feed(packet.bytes, packet.length, packet.time, *this);
        return true;
    }

    void ChannelMessage(uint8_t status_byte, uint8_t data1, uint8_t data2, uint32 time) override
    {
        if (consumer != nullptr && consumer->IsRunning())
            consumer->Dispatch(status_byte, data1, data2, time);
    }

    void ArrivedOutsideRender(const uint8_t* bytes, size_t count) override
    {
        Arrived(bytes, count, static_cast<uint32>(system_time() / 1000));
    }

    // Never waits for the lock: a Connect or Disconnect holding it keeps the event for the
    // next buffer.
    bool DeliverInCycle(const uint8_t* bytes, size_t count, bigtime_t frame) override
    {
        std::unique_lock<std::mutex> hold(delivery, std::try_to_lock);
        if (!hold.owns_lock())
            return false;
        if (!accepting || consumer == nullptr)
            return true;
        consumer->SetFrameClock(frame);
        cycle_parser.Feed(bytes, count, static_cast<uint32>(system_time() / 1000), *this);
        return true;
    }

    bigtime_t ApplyHeldInCycle(bigtime_t frame) override
    {
        std::unique_lock<std::mutex> hold(delivery, std::try_to_lock);
        if (!hold.owns_lock())
            return frame + 1;
        if (consumer == nullptr || !consumer->IsRunning())
            return B_INFINITE_TIMEOUT;
        consumer->SetFrameClock(frame);
        return consumer->ApplyHeldEvents(frame);
    }

    void Dropped() override { dropped++; }

    using Packet = ArrivalQueue::Packet;
};

namespace
{

void arrived_from_library(double, std::vector<unsigned char>* message, void* data)
{
    auto* input = static_cast<BMidiPort::Input*>(data);
    input->Arrived(message->data(), message->size(), static_cast<uint32>(system_time() / 1000));
}

void open_alsa(BMidiPort::Input* input)
{
    try
    {
        auto midi = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Harmoloom");
        if (midi->getCurrentApi() != RtMidi::LINUX_ALSA)
            return;
        midi->ignoreTypes(true, true, true);
        midi->setCallback(arrived_from_library, input);
        midi->openVirtualPort(input->name);
        input->midi = std::move(midi);
        input->backend = "alsa";
        input->status = B_OK;
    }
    catch (const RtMidiError&)
    {
    }
}

void open_jack(BMidiPort::Input* input)
{
    std::string why;
    if (!jack_client::Acquire(&why))
        return;
    input->jack_slot = jack_client::AddMidiInput(input->name.c_str(), input);
    if (input->jack_slot < 0)
    {
        jack_client::Release();
        return;
    }
    input->backend = "jack";
    input->status = B_OK;
}

} // namespace

BMidiPort::BMidiPort(const char* name) : input_(std::make_unique<Input>())
{
    int number = ++ports_alive;
    input_->name = name != nullptr ? name : "MIDI In " + std::to_string(number);
    sem_init(&input_->ready, 0, 0);

    const char* forced = std::getenv("HARMOLOOM_MIDI");
    for (const char* backend : kBackends)
    {
        if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, backend) != 0)
            continue;
        if (std::strcmp(backend, "alsa") == 0)
        {
            if (alsa_sequencer_available())
                open_alsa(input_.get());
        }
        else
        {
            open_jack(input_.get());
        }
        if (input_->status == B_OK)
            break;
    }
    if (input_->status == B_OK && input_->backend == "alsa" && jack_client::AutoConnect())
    {
        connect_hardware_source(number - 1, input_->name.c_str());
        watch_hardware_sources(input_->name.c_str());
        input_->watching = true;
    }
}

BMidiPort::~BMidiPort()
{
    if (input_->watching)
        unwatch_hardware_sources(input_->name.c_str());
    input_->accepting = false;
    if (input_->thread.joinable())
    {
        input_->quitting = true;
        sem_post(&input_->ready);
        input_->thread.join();
    }
    if (input_->midi != nullptr)
    {
        try
        {
            input_->midi->cancelCallback();
            input_->midi->closePort();
        }
        catch (const RtMidiError&)
        {
        }
        input_->midi.reset();
    }
    if (input_->jack_slot >= 0)
    {
        jack_client::RemoveMidiInput(input_->jack_slot);
        jack_client::Release();
    }
    sem_destroy(&input_->ready);
    ports_alive--;
}

status_t BMidiPort::InitCheck() const
{
    return input_->status;
}

void BMidiPort::Connect(BMidi* consumer)
{
    std::lock_guard<std::mutex> hold(input_->delivery);
    input_->consumer = consumer;
}

void BMidiPort::Disconnect(BMidi* consumer)
{
    // What has arrived is delivered before the consumer goes, so that nothing is lost silently.
    input_->accepting = false;
    while (input_->DeliverOne())
    {
    }
    std::lock_guard<std::mutex> hold(input_->delivery);
    if (input_->consumer == consumer)
        input_->consumer = nullptr;
}

status_t BMidiPort::Start()
{
    if (input_->status != B_OK)
        return input_->status;
    BMidi::Start();
    if (!input_->thread.joinable())
        input_->thread = std::thread(
            [input = input_.get()]
            {
                use_alternate_signal_stack();
                input->Deliver();
            });
    input_->accepting = true;
    return B_OK;
}

void BMidiPort::Stop()
{
    input_->accepting = false;
    BMidi::Stop();
}

const char* BMidiPort::BackendName() const
{
    return input_->backend.c_str();
}

uint64 BMidiPort::DroppedMessages() const
{
    return input_->dropped;
}

void BMidiPort::Receive(const uint8_t* bytes, size_t count)
{
    input_->Arrived(bytes, count, static_cast<uint32>(system_time() / 1000));
}
