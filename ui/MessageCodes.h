// Every message code of the main window, grouped by what sends it. A ranged code is a base plus
// the slot or preset it is about, added to the whole 32-bit value.
#pragma once

#include "platform/app/Message.h"

// The Soundfonts page and its file panel; drops come as B_SIMPLE_DATA ("DATA").
constexpr uint32 MSG_ADD_SOUNDFONT = four_char_code("SFAD");
constexpr uint32 MSG_FILE_CHOSEN = four_char_code("OPN1");
constexpr uint32 MSG_FILE_DROPPED = B_SIMPLE_DATA;
// The loader thread has finished a file: the page takes it.
constexpr uint32 MSG_SOUNDFONT_LOADED = four_char_code("SFLD");

// The Main page.
constexpr uint32 MSG_CLEAR_PEAK = four_char_code("CLRP");
constexpr uint32 MSG_SYSTEM_RESET = four_char_code("SRST");
constexpr uint32 MSG_QUALITY_LOW = four_char_code("QLOW");
constexpr uint32 MSG_QUALITY_MEDIUM = four_char_code("QMED");
constexpr uint32 MSG_QUALITY_HIGH = four_char_code("QHI ");

// The CPU-overload fuse, when it could not have the window: the polyphony step it set ("step").
constexpr uint32 MSG_FUSE_STEP = four_char_code("FUSE");

// The audio output's server went away or came back: the Setup page shows it.
constexpr uint32 MSG_OUTPUT_CHANGED = four_char_code("AOUT");

// The Effects page's preset menus: base + preset number.
constexpr uint32 MSG_REVERB_PRESET = four_char_code("RVP ");
constexpr uint32 MSG_CHORUS_PRESET = four_char_code("CHP ");
constexpr uint32 PRESET_CODE_RANGE = 225; // n = 0..224

// A row of the Soundfonts list: base + slot number.
constexpr uint32 MSG_REMOVE_SLOT = four_char_code("SFR ");
constexpr uint32 MSG_BANK_DOWN = four_char_code("SFM ");
constexpr uint32 MSG_BANK_UP = four_char_code("SFP ");
constexpr uint32 MSG_BANK_TYPED = four_char_code("SFB ");
constexpr uint32 SLOT_CODE_RANGE = 128; // n = 0..127

// Scrolling the list: the platform's wheel and key messages.
constexpr uint32 MSG_MOUSE_WHEEL = B_MOUSE_WHEEL_CHANGED;
constexpr uint32 MSG_KEY_DOWN = B_KEY_DOWN;

// Whether code is base + n for some n below range; n is stored.
inline bool IsRangedCode(uint32 code, uint32 base, uint32 range, int* n)
{
    if (code < base || code - base >= range)
        return false;
    *n = static_cast<int>(code - base);
    return true;
}
