// The MIDI ports on the ALSA sequencer: on a fake sequencer (no kernel sequencer here), which
// sources our one client connects and what reaches the ports; on alsa-lib's where there is one.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <mutex>

#include "platform/midi/Midi.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr unsigned kHardware = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE;
constexpr unsigned kSoftware = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SOFTWARE;
constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kBoth = kReadable | SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

// What a port delivered: "n60 " for a note-on of key 60, "c64=0 " for a controller.
struct Heard : BMidi
{
    std::mutex lock;
    std::string text;
    void NoteOn(uchar, uchar note, uchar, uint32) override { Add("n" + std::to_string(note)); }
    void ControlChange(uchar, uchar number, uchar value, uint32) override
    {
        Add("c" + std::to_string(number) + "=" + std::to_string(value));
    }
    void Add(const std::string& item)
    {
        std::lock_guard<std::mutex> hold(lock);
        text += item + " ";
    }
    std::string Take()
    {
        std::lock_guard<std::mutex> hold(lock);
        return std::exchange(text, "");
    }
};

// Both ports on the fake, started as the program starts them, with a studio of devices: an
// audio interface's DIN input (20) and a keyboard (24), beside what is never ours to connect.
struct Studio
{
    explicit Studio(int ports)
    {
        setenv("HARMOLOOM_MIDI", "alsa", 1);
        sequencer.AddPort(14, "Midi Through", kSoftware, kBoth);
        sequencer.AddPort(20, "Scarlett 2i4 USB", kHardware, kBoth);
        sequencer.AddPort(24, "Keystation 49", kHardware, kReadable);
        sequencer.AddPort(28, "Virtual Raw MIDI 1-0", kSoftware, kBoth);
        sequencer.AddPort(32, "Module (write-only)", kHardware, SND_SEQ_PORT_CAP_WRITE);
        sequencer.AddPort(36, "Hidden", kHardware, kReadable | SND_SEQ_PORT_CAP_NO_EXPORT);
        // A program may call its port hardware; it is still no device.
        sequencer.AddPort(129, "VMPK Output", kHardware, kReadable, true);
        for (int index = 0; index < ports; index++)
            port[index] = std::make_unique<BMidiPort>();
        for (int index = 0; index < ports; index++)
        {
            port[index]->Connect(&heard[index]);
            port[index]->Start();
            heard[index].Start();
        }
        sequencer.Settle();
    }
    ~Studio()
    {
        for (int index = 2; index-- > 0;)
        {
            if (port[index] != nullptr)
                port[index]->Disconnect(&heard[index]);
        }
    }
    FakeSequencer sequencer;
    Heard heard[2];
    std::unique_ptr<BMidiPort> port[2];
};

TEST(AlsaSequencerOnFake, EveryKeyboardIsConnectedByDeviceAndNothingElse)
{
    using Step = std::function<void(FakeSequencer&)>;
    auto plug = [](int client) -> Step
    { return [=](FakeSequencer& s) { s.AddPort(client, "Keyboard", kHardware, kReadable); }; };
    auto unplug = [](int client) -> Step { return [=](FakeSequencer& s) { s.Unplug(client); }; };
    struct Case
    {
        int ports;
        std::vector<std::pair<Step, std::string>> steps; // and the connections after it
    };
    const Case cases[] = {
        {1,
         {{[](FakeSequencer&) {}, "20:0>0 24:0>0 "},
          {unplug(24), "20:0>0 "},
          {plug(24), "20:0>0 24:0>0 "},
          {[](FakeSequencer& s) {
               s.DisconnectByHand({20, 0}, 0);
           },
           "24:0>0 "},
          {[](FakeSequencer& s) {
               s.Reannounce({20, 0});
           },
           "24:0>0 "},
          {plug(40), "24:0>0 40:0>0 "}}},
        {2,
         {{[](FakeSequencer&) {}, "20:0>0 24:0>1 "},
          {plug(40), "20:0>0 24:0>1 40:0>0 "},
          {plug(44), "20:0>0 24:0>1 40:0>0 44:0>1 "},
          {unplug(20), "24:0>1 40:0>0 44:0>1 "},
          {plug(48), "24:0>1 40:0>0 44:0>1 48:0>0 "}}},
    };
    for (const Case& test : cases)
    {
        Studio studio(test.ports);
        for (size_t step = 0; step < test.steps.size(); step++)
        {
            test.steps[step].first(studio.sequencer);
            studio.sequencer.Settle();
            // The announcements come to the first port: that connection is no source's.
            std::string made = studio.sequencer.Connections();
            EXPECT_EQ(made.substr(made.find(' ') + 1), test.steps[step].second)
                << test.ports << " port(s), step " << step;
        }
    }
}

TEST(AlsaSequencerOnFake, OneClientDeliversAndReleasesWhatALeavingSourceLeftSounding)
{
    Studio studio(2);
    EXPECT_EQ(studio.sequencer.Listing(),
              "client 128: 'Harmoloom' [type=user]\n    0 'MIDI In 1'\n    1 'MIDI In 2'\n");
    EXPECT_STREQ(studio.port[1]->BackendName(), "alsa");
    studio.sequencer.Send({24, 0}, 1, {0x90, 60, 100, 0xB0, 64, 127});
    ASSERT_TRUE(Eventually([&] { return studio.heard[1].text.size() >= 10; }, 10));
    EXPECT_EQ(studio.heard[1].Take(), "n60 c64=127 ");

    studio.sequencer.Unplug(24);
    std::string released;
    for (int channel = 0; channel < 16; channel++)
        released += "c64=0 c123=0 ";
    ASSERT_TRUE(Eventually([&] { return studio.heard[1].text.size() >= released.size(); }, 10));
    studio.sequencer.Settle();
    EXPECT_EQ(studio.heard[1].Take(), released) << "once, though three announcements came";
    EXPECT_EQ(studio.heard[0].Take(), "") << "the other port's source stays";

    // A source that sent active sensing and then fell silent has gone too (a cable pulled).
    studio.sequencer.Send({20, 0}, 0, {0xFE});
    EXPECT_TRUE(Eventually([&] { return studio.heard[0].text.size() >= released.size(); }, 10));
    EXPECT_EQ(studio.heard[0].Take(), released);

    studio.sequencer.lost = 7; // the kernel's pool overran
    studio.sequencer.Send({20, 0}, 0, {0x90, 61, 100});
    studio.sequencer.Settle();
    EXPECT_EQ(studio.port[0]->DroppedMessages() + studio.port[1]->DroppedMessages(), 7u);
}

// alsa-lib's own calls, where the kernel has a sequencer.
TEST(AlsaSequencerOnSystem, OneClientHoldsBothPorts)
{
    struct stat device;
    if (stat("/dev/snd/seq", &device) != 0)
        GTEST_SKIP() << "no /dev/snd/seq: this kernel has no ALSA sequencer";
    setenv("HARMOLOOM_MIDI", "alsa", 1);
    setenv("HARMOLOOM_AUTOCONNECT", "0", 1);
    BMidiPort first, second;
    ASSERT_EQ(first.InitCheck(), B_OK) << first.FailureReason();
    ASSERT_EQ(second.InitCheck(), B_OK) << second.FailureReason();
    first.Start();
    second.Start();
    EXPECT_STREQ(second.BackendName(), "alsa");
}

} // namespace
