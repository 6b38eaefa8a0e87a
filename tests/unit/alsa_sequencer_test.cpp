// The ALSA sequencer ports, on a fake sequencer and, where the kernel has one, on alsa-lib's.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <tuple>

#include "platform/midi/Midi.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/TestSupport.h"

namespace
{

constexpr unsigned kHardware = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE;
constexpr unsigned kSoftware = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SOFTWARE;
constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kBoth = kReadable | SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

// What a port delivered: "n60=100 " for a note-on, "c64=0 " for a controller.
struct Heard : BMidi
{
    std::mutex lock;
    std::string text;
    void NoteOn(uchar, uchar note, uchar velocity, uint32) override { Add('n', note, velocity); }
    void ControlChange(uchar, uchar number, uchar value, uint32) override
    {
        Add('c', number, value);
    }
    void SystemExclusive(const uint8_t* data, size_t length, uint32) override
    {
        Add('x', data[1], static_cast<int>(length));
    }
    void Add(char kind, int number, int value)
    {
        std::scoped_lock hold(lock);
        text += kind + std::to_string(number) + "=" + std::to_string(value) + " ";
    }
    // Takes what came, once at least length characters have (or after ten seconds).
    std::string Take(size_t length = 0)
    {
        Eventually([&] { return std::scoped_lock(lock), text.size() >= length; }, 10);
        std::scoped_lock hold(lock);
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
        sequencer.AddPort(129, "VMPK Output", kHardware, kReadable, true); // typed so: a program
        for (int index = 0; index < ports; index++)
            port[index] = std::make_unique<BMidiPort>();
        for (int index = 0; index < ports; index++)
            port[index]->Connect(&heard[index]), port[index]->Start(), heard[index].Start();
        sequencer.Settle();
    }
    FakeSequencer sequencer;
    Heard heard[2];
    std::unique_ptr<BMidiPort> port[2];
};

TEST(AlsaSequencerOnFake, EveryKeyboardIsConnectedByDeviceAndNothingElse)
{
    // What happens to a device (its client's port 0), and the connections after it: plugged in,
    // unplugged, disconnected from port 1 by hand, its port announced again.
    using Step = std::tuple<char, int, std::string>; // start, plug, unplug, by hand, again
    const std::pair<int, std::vector<Step>> cases[] = {
        {1,
         {{'s', 0, "20:0>0 24:0>0 "},
          {'u', 24, "20:0>0 "},
          {'p', 24, "20:0>0 24:0>0 "},
          {'h', 20, "24:0>0 "},
          {'a', 20, "24:0>0 "},
          {'p', 40, "24:0>0 40:0>0 "}}},
        {2,
         {{'s', 0, "20:0>0 24:0>1 "},
          {'p', 40, "20:0>0 24:0>1 40:0>0 "},
          {'p', 44, "20:0>0 24:0>1 40:0>0 44:0>1 "},
          {'u', 20, "24:0>1 40:0>0 44:0>1 "},
          {'p', 48, "24:0>1 40:0>0 44:0>1 48:0>0 "}}},
    };
    for (const auto& [ports, steps] : cases)
    {
        Studio studio(ports);
        for (const auto& [action, client, connections] : steps)
        {
            FakeSequencer& sequencer = studio.sequencer;
            if (action == 'p')
                sequencer.AddPort(client, "Keyboard", kHardware, kReadable);
            else if (action == 'u')
                sequencer.Unplug(client);
            else if (action == 'h')
                sequencer.Announce(SequencerEvent::kDisconnected, {client, 0}, {128, 0});
            else if (action == 'a')
                sequencer.Announce(SequencerEvent::kPortStarted, {client, 0});
            sequencer.Settle();
            EXPECT_EQ(sequencer.Connections(), connections)
                << ports << " port(s), " << action << " " << client;
        }
    }
}

TEST(AlsaSequencerOnFake, OneClientDeliversAndReleasesWhatALeavingSourceLeftSounding)
{
    Studio studio(2);
    FakeSequencer& sequencer = studio.sequencer;
    std::string listing; // as `aconnect -l` lists our client
    for (const SequencerPort& port : sequencer.ports)
        listing += port.address.client != 128 ? "" : port.client_name + ":" + port.port_name + "; ";
    EXPECT_EQ(listing, "Harmoloom:MIDI In 1; Harmoloom:MIDI In 2; ");
    EXPECT_STREQ(studio.port[1]->BackendName(), "alsa");
    sequencer.Announce(SequencerEvent::kMessage, {24, 0}, {0, 1}, {0x90, 60, 100, 0xB0, 64, 127});
    EXPECT_EQ(studio.heard[1].Take(16), "n60=100 c64=127 ");
    // A system-exclusive message in two packets, whole; one cut short, given up.
    sequencer.Announce(SequencerEvent::kMessage, {24, 0}, {0, 1}, {0xF0, 0x7E, 0x7F});
    sequencer.Announce(SequencerEvent::kMessage, {24, 0}, {0, 1}, {0x09, 0x01, 0xF7});
    sequencer.Announce(SequencerEvent::kMessage, {24, 0}, {0, 1}, {0xF0, 0x43, 0x10});
    sequencer.Announce(SequencerEvent::kMessage, {24, 0}, {0, 1}, {0x90, 62, 1});
    EXPECT_EQ(studio.heard[1].Take(13), "x126=6 n62=1 ");

    sequencer.Unplug(24);
    std::string released;
    for (int channel = 0; channel < 16; channel++)
        released += "c64=0 c123=0 ";
    sequencer.Announce(SequencerEvent::kMessage, {44, 0}, {0, 1}, {0x90, 99, 1});
    EXPECT_EQ(studio.heard[1].Take(released.size() + 6), released + "n99=1 ")
        << "released once, though three announcements came";
    EXPECT_EQ(studio.heard[0].Take(), "") << "the other port's source stays";

    // A source that sent active sensing and then fell silent has gone too (a cable pulled).
    sequencer.Announce(SequencerEvent::kMessage, {20, 0}, {0, 0}, {0xFE});
    EXPECT_EQ(studio.heard[0].Take(released.size()), released);

    sequencer.lost = 7; // the kernel's pool overran
    sequencer.Announce(SequencerEvent::kMessage, {20, 0}, {0, 0}, {0x90, 61, 100});
    sequencer.Settle();
    EXPECT_EQ(studio.port[0]->DroppedMessages() + studio.port[1]->DroppedMessages(), 7u);
}

// alsa-lib's own calls, where the kernel has a sequencer.
TEST(AlsaSequencerOnSystem, OneClientHoldsBothPorts)
{
    if (access("/dev/snd/seq", F_OK) != 0)
        GTEST_SKIP() << "no /dev/snd/seq: this kernel has no ALSA sequencer";
    setenv("HARMOLOOM_MIDI", "alsa", 1);
    setenv("HARMOLOOM_AUTOCONNECT", "0", 1);
    BMidiPort first, second;
    ASSERT_EQ(first.InitCheck(), B_OK) << first.FailureReason();
    ASSERT_EQ(second.InitCheck(), B_OK) << second.FailureReason();
    first.Start(); // the input thread, and its connections, on the real sequencer
    EXPECT_STREQ(second.BackendName(), "alsa");
}

} // namespace
