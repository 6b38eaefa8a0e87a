// MIDI input: the byte parser, the routing policies of MIDIINTERFACE (against the recording
// stand-in), the note-off delay, and delivery through a real port on a JACK server.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "engine/FluidBinding.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/midi/MidiParser.h"
#include "platform/support/Threads.h"
#include "tests/support/JackRig.h"
#include "tests/support/TestSupport.h"

namespace
{

struct Collected : MidiParser::Sink
{
    std::vector<std::string> messages;
    void ChannelMessage(uint8_t status, uint8_t data1, uint8_t data2, uint32 time) override
    {
        char text[32];
        std::snprintf(text, sizeof(text), "%02X %d %d @%u", status, data1, data2, time);
        messages.emplace_back(text);
    }
};

std::vector<std::string> parse(const std::vector<std::vector<uint8_t>>& packets)
{
    MidiParser parser;
    Collected sink;
    uint32 time = 1;
    for (const auto& packet : packets)
        parser.Feed(packet.data(), packet.size(), time++, sink);
    return sink.messages;
}

} // namespace

TEST(MidiParser, RunningStatusAndSeveralMessagesInOnePacket)
{
    EXPECT_EQ(
        parse({{0x90, 60, 100, 62, 90, 0x80, 60, 0, 62, 0}}),
        (std::vector<std::string>{"90 60 100 @1", "90 62 90 @1", "80 60 0 @1", "80 62 0 @1"}));
    // Running status carries over to the next packet, and one-byte messages run too.
    EXPECT_EQ(parse({{0xC5, 10, 11}, {12}, {0xE0, 0, 64}, {0x7F, 0x7F}}),
              (std::vector<std::string>{"C5 10 0 @1", "C5 11 0 @1", "C5 12 0 @2", "E0 0 64 @3",
                                        "E0 127 127 @4"}));
}

TEST(MidiParser, MessagesSplitAcrossPackets)
{
    EXPECT_EQ(parse({{0xB3}, {7}, {100, 0xB3, 10}, {20}}),
              (std::vector<std::string>{"B3 7 100 @3", "B3 10 20 @4"}));
}

TEST(MidiParser, SystemBytesAreIgnoredWithoutHarm)
{
    // Real-time bytes inside a message, clock and active sensing between messages.
    EXPECT_EQ(parse({{0x90, 0xF8, 60, 0xFE, 100, 0xF8}}),
              (std::vector<std::string>{"90 60 100 @1"}));
    // System exclusive, however long and wherever split, ends running status.
    EXPECT_EQ(parse({{0x90, 60, 100, 0xF0, 0x7E, 0x7F, 9}, {1, 0x90, 2, 0xF7}, {61, 100}}),
              (std::vector<std::string>{"90 60 100 @1"}));
    // A status byte ends an unterminated system exclusive message.
    EXPECT_EQ(parse({{0xF0, 1, 2, 3, 0x80, 60, 0}}), (std::vector<std::string>{"80 60 0 @1"}));
    // System common messages take their data with them.
    EXPECT_EQ(parse({{0xF2, 0x10, 0x20, 0xB0, 7, 1, 0xF1, 0x05, 0x40, 9}}),
              (std::vector<std::string>{"B0 7 1 @1"}));
    // Data with no status to belong to.
    EXPECT_EQ(parse({{60, 100, 0x91, 60}}), (std::vector<std::string>{}));
}

TEST(NoteOffDelay, IsOneBufferPeriodPlus1200Microseconds)
{
    struct Case
    {
        int rate_index;
        int timing_index;
        bigtime_t delay;
    };
    const Case cases[] = {
        {2, 2, 2533},  // 64 frames at 48000 Hz
        {4, 0, 6533},  // 512 frames at 96000 Hz
        {0, 0, 9200},  // 256 frames at 32000 Hz
        {1, 1, 4102},  // 128 frames at 44100 Hz: 2902.49 + 1200, whole microseconds
        {3, 3, 1925},  // 64 frames at 88200 Hz
        {-1, 9, 1866}, // unknown indexes: 96000 Hz, 64 frames
    };
    for (const Case& c : cases)
    {
        settings[setting::sample_rate_index] = c.rate_index;
        settings[setting::timing_index] = c.timing_index;
        EXPECT_EQ(NoteOffDelay(), c.delay) << c.rate_index << ", " << c.timing_index;
    }
}

class Routing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitDefaults();
        setenv("STANDIN_LOG", folder.File("calls.log").c_str(), 1);
        LoadLibrary(PlaceLibrary(folder, STANDIN_LIBRARY).c_str());
        Synth = new HARMOLOOM(48000);
        std::filesystem::remove(folder.File("calls.log"));
    }
    void TearDown() override
    {
        delete Synth;
        Synth = nullptr;
        FreeLibrary();
        unsetenv("STANDIN_LOG");
        IgnoreBankChanges = 1;
        IgnoreDrumChanges = 0;
    }

    std::vector<std::string> Calls()
    {
        std::vector<std::string> calls;
        std::istringstream log(ReadFile(folder.File("calls.log")));
        for (std::string line; std::getline(log, line);)
            calls.push_back(line);
        std::filesystem::remove(folder.File("calls.log"));
        return calls;
    }

    TemporaryFolder folder;
    MIDIINTERFACE first{0};
    MIDIINTERFACE second{16};
};

TEST_F(Routing, ChannelsOfTheSecondPortFollowThoseOfTheFirst)
{
    uint32 now = static_cast<uint32>(system_time() / 1000);
    first.NoteOn(1, 60, 100, now);
    first.NoteOn(16, 61, 100, now);
    second.NoteOn(1, 62, 100, now);
    second.NoteOn(16, 63, 100, now);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "fluid_synth_noteon(0,60,100)", "fluid_synth_noteon(15,61,100)",
                           "fluid_synth_noteon(16,62,100)", "fluid_synth_noteon(31,63,100)"}));
}

TEST_F(Routing, NotesProgramsAndBends)
{
    uint32 now = static_cast<uint32>(system_time() / 1000);
    first.NoteOn(3, 60, 0, now);   // velocity 0 releases
    first.NoteOn(3, 200, 90, now); // no port sends this, but the handler copes
    first.NoteOff(3, 64, 30, now);
    first.ProgramChange(10, 5, now);
    first.PitchBend(2, 0x7F, 0x7F, now);
    first.PitchBend(2, 0xFF, 0x80, now); // stray high bits are masked
    first.ApplyAllHeldEvents();          // the note-off was held back
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "fluid_synth_noteoff(2,60)", "fluid_synth_noteon(2,127,90)",
                           "fluid_synth_program_change(9,5)", "fluid_synth_pitch_bend(1,16383)",
                           "fluid_synth_pitch_bend(1,127)", "fluid_synth_noteoff(2,64)"}));

    IgnoreDrumChanges = 1;
    first.ProgramChange(10, 5, now);
    second.ProgramChange(10, 5, now);
    first.ProgramChange(9, 5, now);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"fluid_synth_program_change(8,5)"}));
}

TEST_F(Routing, BankSelectsOnTheDrumChannelAndNonRegisteredParametersAreDropped)
{
    uint32 now = static_cast<uint32>(system_time() / 1000);
    first.ControlChange(10, 0, 1, now);
    second.ControlChange(10, 0, 1, now);
    first.ControlChange(1, 0, 2, now);
    second.ControlChange(2, 0, 3, now);
    first.ControlChange(1, 98, 1, now);
    first.ControlChange(1, 99, 1, now);
    first.ControlChange(1, 7, 99, now);
    first.ControlChange(1, 32, 1, now); // passed on, and dropped by the engine
    EXPECT_EQ(Calls(), (std::vector<std::string>{"fluid_synth_cc(0,0,2)", "fluid_synth_cc(17,0,3)",
                                                 "fluid_synth_cc(0,7,99)"}));

    IgnoreBankChanges = 2;
    first.ControlChange(1, 0, 2, now);
    IgnoreBankChanges = 0;
    first.ControlChange(10, 0, 4, now);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"fluid_synth_cc(9,0,4)"}));
}

TEST_F(Routing, ChannelModeMessagesActOnlyWithValueZero)
{
    uint32 now = static_cast<uint32>(system_time() / 1000);
    for (int controller : {120, 121, 123})
        first.ControlChange(4, static_cast<uchar>(controller), 5, now);
    EXPECT_EQ(Calls(), std::vector<std::string>{});

    first.ControlChange(4, 120, 0, now);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"fluid_synth_cc(3,120,0)"}));
    first.ControlChange(4, 121, 0, now);
    std::vector<std::string> reset = Calls();
    ASSERT_EQ(reset.size(), 113u + 2);
    EXPECT_EQ(reset[113], "fluid_synth_pitch_bend(3,8192)");
    second.ControlChange(4, 123, 0, now);
    std::vector<std::string> notes_off = Calls();
    ASSERT_EQ(notes_off.size(), 128u);
    EXPECT_EQ(notes_off.back(), "fluid_synth_noteoff(19,127)");
}

TEST_F(Routing, NoteOffsWaitOneDelayAndHoldBackOnlyWhatMustKeepItsOrder)
{
    settings[setting::sample_rate_index] = 4;
    settings[setting::timing_index] = 0; // 6533 microseconds
    bigtime_t start = system_time();
    auto ms = static_cast<uint32>(start / 1000);
    first.NoteOn(1, 60, 100, ms);
    first.NoteOff(1, 60, 0, ms);
    first.NoteOn(1, 60, 90, ms); // the same key again: behind its note-off
    first.NoteOn(1, 62, 80, ms); // another key passes
    first.NoteOn(1, 60, 0, ms);  // a release by velocity 0 keeps its place behind the key
    first.NoteOff(2, 50, 0, ms);
    first.ControlChange(2, 64, 127, ms); // the pedal comes after the release
    first.NoteOn(2, 51, 100, ms);        // and everything after the pedal waits behind it
    first.ControlChange(3, 7, 100, ms);  // other channels never wait
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"fluid_synth_noteon(0,60,100)",
                                        "fluid_synth_noteon(0,62,80)", "fluid_synth_cc(2,7,100)"}));
    bigtime_t due = first.ApplyHeldEvents(start);
    EXPECT_GE(due, start + 6533);
    EXPECT_EQ(Calls(), std::vector<std::string>{});

    bigtime_t later = start + 1000000;
    EXPECT_EQ(first.ApplyHeldEvents(later), B_INFINITE_TIMEOUT);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "fluid_synth_noteoff(0,60)", "fluid_synth_noteon(0,60,90)",
                           "fluid_synth_noteoff(0,60)", "fluid_synth_noteoff(1,50)",
                           "fluid_synth_cc(1,64,127)", "fluid_synth_noteon(1,51,100)"}));

    // A note-off waits one delay after its own note-on was applied, however long ago it came.
    first.NoteOff(2, 51, 0, ms);
    EXPECT_EQ(first.ApplyHeldEvents(later + 6532), later + 6533);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
    first.ApplyHeldEvents(later + 6533);
    EXPECT_EQ(Calls(), std::vector<std::string>{"fluid_synth_noteoff(1,51)"});

    // The channel-mode messages never wait: what was held on their channel goes first.
    first.NoteOff(4, 70, 0, ms);
    first.ControlChange(4, 10, 0, ms);
    first.ControlChange(4, 123, 0, ms);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 2u + 128);
    EXPECT_EQ(calls[0], "fluid_synth_noteoff(3,70)");
    EXPECT_EQ(calls[1], "fluid_synth_cc(3,10,0)");
    EXPECT_EQ(first.ApplyHeldEvents(start), B_INFINITE_TIMEOUT);
}

// A port on a real JACK server: events come through the same path as from other software.
class Port : public Routing
{
protected:
    void SetUp() override
    {
        Routing::SetUp();
        ASSERT_TRUE(server.Running());
        setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
        setenv("HARMOLOOM_MIDI", "jack", 1);
    }
    void TearDown() override
    {
        unsetenv("HARMOLOOM_MIDI");
        Routing::TearDown();
    }
    JackServer server;
};

namespace
{

struct Recorder : BMidi
{
    std::mutex mutex;
    std::vector<std::string> events;
    std::vector<thread_id> threads;
    void NoteOn(uchar channel, uchar note, uchar velocity, uint32) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        events.push_back("on " + std::to_string(channel) + " " + std::to_string(note) + " " +
                         std::to_string(velocity));
        threads.push_back(find_thread(nullptr));
    }
    void ControlChange(uchar channel, uchar controller, uchar value, uint32) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        events.push_back("cc " + std::to_string(channel) + " " + std::to_string(controller) + " " +
                         std::to_string(value));
        threads.push_back(find_thread(nullptr));
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> hold(mutex);
        return events.size();
    }
};

bool wait_for(const std::function<bool()>& condition)
{
    for (int tries = 0; tries < 2000 && !condition(); tries++)
        snooze(5000);
    return condition();
}

} // namespace

TEST_F(Port, DeliversInOrderOnItsOwnThreadOnceStarted)
{
    BMidiPort port;
    ASSERT_EQ(port.InitCheck(), B_OK);
    EXPECT_STREQ(port.BackendName(), "jack");
    Recorder recorder;
    port.Connect(&recorder);
    const uint8_t before_start[] = {0x90, 1, 1};
    port.Receive(before_start, sizeof(before_start));
    port.Start();
    recorder.Start();
    const uint8_t packet[] = {0x91, 60, 100, 61, 101, 0xB1, 7, 90};
    port.Receive(packet, sizeof(packet));
    ASSERT_TRUE(wait_for([&] { return recorder.Count() == 3; }));
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"on 2 60 100", "on 2 61 101", "cc 2 7 90"}));
    EXPECT_NE(recorder.threads[0], find_thread(nullptr));
    EXPECT_EQ(recorder.threads[0], recorder.threads[2]);
    port.Disconnect(&recorder);
}

TEST_F(Port, TwoPortsPlayTheirOwnEngineChannels)
{
    StartMidiInterface(1);
    ASSERT_NE(midiport_b, nullptr);
    const uint8_t note[] = {0x90, 69, 100};
    midiport_a->Receive(note, sizeof(note));
    midiport_b->Receive(note, sizeof(note));
    ASSERT_TRUE(wait_for([&] { return ReadFile(folder.File("calls.log")).size() > 50; }));
    StopMidiInterface();
    std::vector<std::string> calls = Calls();
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"fluid_synth_noteon(0,69,100)",
                                               "fluid_synth_noteon(16,69,100)"}));
    EXPECT_EQ(midiport_a, nullptr);
    EXPECT_EQ(midiinterface_b, nullptr);
}

TEST_F(Port, NoHandlerRunsOnceStoppingHasReturned)
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
        size_t calls_when_stopped = Calls().size();
        snooze(15000);
        EXPECT_EQ(Calls().size(), 0u) << "a call came after stopping, " << wait << " us in";
        EXPECT_EQ(calls_when_stopped, 1u) << "the held note-off is applied, not lost";
    }
}
