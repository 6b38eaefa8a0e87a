// MIDI input: the byte parser, the routing rules of MIDIINTERFACE and its note-off queue, read back
// from the recording stand-in, and ports on a real JACK server.
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>

#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "midi/MidiInterface.h"
#include "platform/midi/MidiParser.h"
#include "platform/midi/MidiQueue.h"
#include "platform/midi/SysexAssembler.h"
#include "platform/support/Threads.h"
#include "tests/support/Engines.h"
#include "tests/support/JackRig.h"

namespace
{

// Each message as "status data1 data2 @packet; ".
struct Collected : MidiParser::Sink
{
    std::string messages;
    void ChannelMessage(uint8_t status, uint8_t data1, uint8_t data2, bigtime_t time) override
    {
        char text[32];
        std::snprintf(text, sizeof(text), "%02X %d %d @%d; ", status, data1, data2,
                      static_cast<int>(time));
        messages += text;
    }
    void SystemExclusive(const uint8_t* bytes, size_t count, bigtime_t time) override
    {
        messages += "F0.." + std::to_string(bytes[count - 2]) + " (" + std::to_string(count) +
                    ") @" + std::to_string(time) + "; ";
    }
};

TEST(MidiParser, RunningStatusSplitPacketsAndSystemBytes)
{
    const std::pair<std::vector<std::vector<uint8_t>>, std::string> cases[] = {
        // Running status within a packet and across packets, with one data byte too.
        {{{0x90, 60, 100, 62, 90, 0x80, 60, 0}}, "90 60 100 @1; 90 62 90 @1; 80 60 0 @1; "},
        {{{0xC5, 10, 11}, {12}, {0xE0, 0, 64}, {0x7F, 0x7F}},
         "C5 10 0 @1; C5 11 0 @1; C5 12 0 @2; E0 0 64 @3; E0 127 127 @4; "},
        {{{0xB3}, {7}, {100, 0xB3, 10}, {20}}, "B3 7 100 @3; B3 10 20 @4; "}, // split messages
        {{{0x90, 0xF8, 60, 0xFE, 100, 0xF8}}, "90 60 100 @1; "}, // real-time bytes inside
        // System exclusive, however split, ends running status; a status byte ends it too.
        {{{0x90, 60, 100, 0xF0, 0x7E, 9}, {1, 0x90, 0xF7}, {61, 100}}, "90 60 100 @1; "},
        {{{0xF0, 1, 2, 3, 0x80, 60, 0}}, "80 60 0 @1; "},
        {{{0xF2, 0x10, 0x20, 0xB0, 7, 1, 0xF1, 0x05, 0x40}}, "B0 7 1 @1; "}, // system common
        {{{60, 100, 0x91, 60}}, ""}, // data without a status
        // Whole ones, split and with real-time bytes inside; cut, restarted, unterminated.
        {{{0xF0, 0x7E, 0x7F}, {0xF8, 9, 1, 0xF7, 0x90, 60, 1}}, "F0..1 (6) @2; 90 60 1 @2; "},
        {{{0xF0, 1, 0xF0, 2, 0xF7}, {0xF0, 3}, {0xB0, 7, 1}}, "F0..2 (3) @1; B0 7 1 @3; "},
        {{std::vector<uint8_t>(1023, 5), {0xF7}}, "F0..5 (1024) @2; "}, // the longest
        {{std::vector<uint8_t>(1024, 6), {0xF7, 0xC0, 1}}, "C0 1 0 @2; "},
    };
    for (auto [packets, messages] : cases)
    {
        if (packets[0].size() > 1000)
            packets[0][0] = 0xF0;
        // The parser alone, and behind the pieces' assembler, as a back end feeds it.
        MidiParser parser, behind;
        Collected sink, assembled;
        SysexAssembler assembler;
        bigtime_t packet = 1;
        for (const auto& bytes : packets)
        {
            parser.Feed(bytes.data(), bytes.size(), packet, sink);
            assembler.Take(bytes.data(), bytes.size(),
                           [&](const uint8_t* whole, size_t count)
                           { behind.Feed(whole, count, packet, assembled); });
            packet++;
        }
        EXPECT_EQ(sink.messages, messages);
        EXPECT_EQ(assembled.messages, messages);
        EXPECT_EQ(assembler.Dropped(), packets[0].size() == 1024 ? 1u : 0u) << messages;
    }
}

TEST(MidiQueue, AFullQueueDropsNoteOnsFirstAndTheirNoteOffsWithThem)
{
    MidiQueue queue;
    const uint8_t kept_on[] = {0x90, 60, 100}, kept_off[] = {0x80, 60, 0};
    const uint8_t late_on[] = {0x91, 61, 100}, late_off[] = {0x91, 61, 0};
    const uint8_t volume[] = {0xB0, 7, 100}, silence[] = {0xB1, 123, 0};
    ASSERT_TRUE(queue.Push(kept_on, 3, 0));
    size_t volumes = 0;
    while (queue.Push(volume, 3, 1))
        volumes++;
    EXPECT_GE(volumes, 16000u) << "more than a second of 10,000 messages";
    EXPECT_FALSE(queue.Push(late_on, 3, 2));
    EXPECT_FALSE(queue.Push(late_off, 3, 3)) << "it has nothing to end";
    EXPECT_TRUE(queue.Push(kept_off, 3, 4)) << "its note-on was let in";
    EXPECT_TRUE(queue.Push(silence, 3, 5));
    EXPECT_EQ(queue.Dropped(), 3u);
    std::vector<bigtime_t> times;
    for (const MidiQueue::Packet* packet; (packet = queue.Front()) != nullptr; queue.PopFront())
        times.push_back(packet->time);
    EXPECT_EQ(times.size(), volumes + 3);
    EXPECT_EQ(std::vector<bigtime_t>(times.end() - 2, times.end()), (std::vector<bigtime_t>{4, 5}));
}

class Routing : public StandinEngine
{
protected:
    // Hands messages (three numbers each) to a port's interface as its thread does, as they come.
    static void Play(MIDIINTERFACE& port, std::initializer_list<int> bytes)
    {
        for (const int* m = bytes.begin(); m + 2 < bytes.end(); m += 3)
            port.Dispatch(static_cast<uint8_t>(m[0]), static_cast<uint8_t>(m[1]),
                          static_cast<uint8_t>(m[2]), system_time());
    }
    MIDIINTERFACE first{0, SystemMidiClock()};
    MIDIINTERFACE second{16, SystemMidiClock()};
};

TEST_F(Routing, PortChannelsNotesProgramsAndBends)
{
    Play(first, {0x90, 60, 100, 0x9F, 61, 100});
    Play(second, {0x90, 62, 100, 0x9F, 63, 100});
    EXPECT_EQ(Sent(), "noteon(0,60,100) noteon(15,61,100) noteon(16,62,100) noteon(31,63,100) ");
    // Velocity 0 releases; a key no port sends is clamped; stray high bits of a bend masked.
    Play(first, {0x92, 60, 0, 0x92, 200, 90, 0xC9, 5, 0, 0xE1, 127, 127, 0xE1, 255, 128});
    EXPECT_EQ(Sent(), "noteoff(2,60) noteon(2,127,90) program_change(9,5) pitch_bend(1,16383) "
                      "pitch_bend(1,127) ");
    IgnoreDrumChanges = 1;
    Play(first, {0xC9, 6, 0, 0xC8, 6, 0});
    Play(second, {0xC9, 6, 0});
    EXPECT_EQ(Sent(), "program_change(8,6) ") << "program changes on channel 10 dropped";
    IgnoreDrumChanges = 0;
}

TEST_F(Routing, ControllerPolicies)
{
    // Non-registered parameters (98, 99) are dropped; bank selects as the policy says, by
    // default not the drum channel's (FluidSynth would ignore it there anyway: the call counts).
    Play(first, {0xB0, 0, 2, 0xB0, 98, 1, 0xB0, 99, 1, 0xB9, 0, 5, 0xB0, 7, 99});
    IgnoreBankChanges = 2; // none at all
    Play(first, {0xB0, 0, 3});
    IgnoreBankChanges = 0; // every one, the drum channel's too
    Play(first, {0xB9, 0, 4});
    IgnoreBankChanges = 1;
    EXPECT_EQ(Sent(), "cc(0,0,2) cc(0,7,99) cc(9,0,4) ");

    // The channel-mode messages act with value 0 only, on their own engine channel.
    for (MIDIINTERFACE* port : {&first, &second})
    {
        for (int mode : {120, 121, 123})
        {
            Play(*port, {0xB3, mode, 5});
            EXPECT_EQ(Sent(), "") << mode;
            Play(*port, {0xB3, mode, 0});
            std::string calls = Sent();
            std::string channel = port == &first ? "(3" : "(19";
            EXPECT_NE(calls, "") << mode;
            EXPECT_EQ(calls.find(channel), calls.find('(')) << mode << ": " << calls;
        }
    }
}

TEST_F(Routing, NoteOffsWaitOneDelayAndHoldBackOnlyWhatMustKeepItsOrder)
{
    bigtime_t delay = NoteOffDelay();
    bigtime_t start = system_time();
    // Key 60 again waits behind its note-off, key 62 passes; a velocity-0 release of key 65
    // keeps its place; the pedal after key 50's release waits, and key 51 behind the pedal;
    // channel 3 never waits.
    Play(first,
         {0x90, 60, 100, 0x80, 60, 0, 0x90, 60, 90,  0x90, 62, 80,  0x94, 65, 100, 0x84, 65, 0,
          0x94, 65, 0,   0x81, 50, 0, 0xB1, 64, 127, 0x91, 51, 100, 0xB2, 7,  100});
    EXPECT_EQ(Sent(), "noteon(0,60,100) noteon(0,62,80) noteon(4,65,100) cc(2,7,100) ");
    EXPECT_GE(first.ApplyHeldEvents(start), start + delay);
    EXPECT_EQ(Sent(), "");

    bigtime_t later = start + 1000000;
    EXPECT_EQ(first.ApplyHeldEvents(later), B_INFINITE_TIMEOUT);
    EXPECT_EQ(Sent(), "noteoff(0,60) noteon(0,60,90) noteoff(1,50) cc(1,64,127) noteon(1,51,100) "
                      "noteoff(4,65) noteoff(4,65) ")
        << "key 60 sounds again; key 50 is released before the pedal holds";

    // A note-off waits one delay after its own note-on was applied, however long ago it came.
    Play(first, {0x81, 51, 0});
    EXPECT_EQ(first.ApplyHeldEvents(later + delay - 1), later + delay);
    EXPECT_EQ(Sent(), "");
    first.ApplyHeldEvents(later + delay);
    EXPECT_EQ(Sent(), "noteoff(1,51) ");

    // The channel-mode messages never wait: what was held on their channel goes first.
    Play(first, {0x83, 70, 0, 0xB3, 10, 0, 0xB3, 123, 0});
    EXPECT_EQ(Sent(), "noteoff(3,70) cc(3,10,0) all_notes_off(3) ");
    EXPECT_EQ(first.ApplyHeldEvents(start), B_INFINITE_TIMEOUT);
}

// Ports on a real JACK server: events come the way they come from other software.
class PortOnJack : public Routing
{
protected:
    void SetUp() override
    {
        Routing::SetUp();
        ASSERT_TRUE(server.Running());
        setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
        setenv("HARMOLOOM_MIDI", "jack", 1);
    }
    JackServer server;
};

TEST_F(PortOnJack, NoHandlerRunsOnceStoppingHasReturned)
{
    settings[setting::sample_rate_index] = 0;
    settings[setting::timing_index] = 0; // note-offs are held back 9200 microseconds
    const uint8_t off[] = {0x80, 60, 0};
    // Stopped at every moment of a note-off's way: queued, picked up, held, in the engine.
    for (bigtime_t wait = 0; wait <= 12000; wait += 1000)
    {
        StartMidiInterface(0);
        midiport_a->Receive(off, sizeof(off));
        snooze(wait);
        StopMidiInterface();
        EXPECT_EQ(Sent(), "noteoff(0,60) ") << "the held note-off is applied at stop, " << wait;
        snooze(15000);
        EXPECT_EQ(Sent(), "") << "a call came after stopping, " << wait << " us in";
    }
}

// A port keeps one clock, whoever delivers: once the render on JACK has delivered and the output
// has stopped, a note-off that comes to the port's thread is still held one delay, no less and
// not for ever; the port's thread delivers in order, and after Receive has returned.
TEST_F(PortOnJack, NoteOffsAfterTheOutputStopsWaitOneDelay)
{
    setenv("HARMOLOOM_AUDIO", "jack", 1);
    settings[setting::cutout] = 0;
    settings[setting::sample_rate_index] = 0;
    settings[setting::timing_index] = 0; // 9200 microseconds once the output has stopped
    JackRig rig(server.Name());
    StartAudio(48000, 64, nullptr);
    StartMidiInterface(0);
    ASSERT_TRUE(rig.ConnectMidiTo(rig.FindPort(":MIDI In 1")));
    rig.Send(rig.Now() + 256, {0x90, 60, 100});
    std::string calls;
    auto called = [&](const char* call)
    {
        calls += Sent();
        return calls.find(call) != std::string::npos;
    };
    ASSERT_TRUE(Eventually([&] { return called("noteon(0,60,100)"); }, 10));
    StopAudio();

    // One packet of two messages: the port's own thread delivers them, in order.
    const uint8_t note[] = {0x91, 61, 100, 0x81, 61, 0};
    bigtime_t sent = system_time();
    midiport_a->Receive(note, sizeof(note));
    EXPECT_TRUE(Eventually([&] { return called("noteoff(1,61)"); }, 5, 0.0005)) << calls;
    EXPECT_GE(system_time() - sent, NoteOffDelay() / 2) << calls;
    EXPECT_EQ(calls, "noteon(0,60,100) noteon(1,61,100) noteoff(1,61) ");
    StopMidiInterface();
}

} // namespace
