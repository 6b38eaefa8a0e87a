#pragma once
// MIDI controller numbers (the second byte of a control change), one list for the engine and
// the routing in front of it. Constants only: any thread, real-time safe.

namespace controller
{

constexpr int kBankSelect = 0;
constexpr int kDataEntry = 6;
constexpr int kVolume = 7;
constexpr int kPan = 10;
constexpr int kExpression = 11;
constexpr int kBankSelectLow = 32;
constexpr int kDataEntryLow = 38;
constexpr int kReverbSend = 91;
constexpr int kChorusSend = 93;
constexpr int kDataIncrement = 96;
constexpr int kDataDecrement = 97;
constexpr int kNonRegisteredLow = 98;
constexpr int kNonRegisteredHigh = 99;
constexpr int kRegisteredLow = 100;
constexpr int kRegisteredHigh = 101;
constexpr int kAllSoundOff = 120;
constexpr int kResetAllControllers = 121;
constexpr int kAllNotesOff = 123;

} // namespace controller
