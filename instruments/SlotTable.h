// The rules of the 128-slot instrument table (soundfont_paths and soundfont_banks of the
// settings) together with the engine's font handle of each slot, which the caller keeps.
//
// Slot 0 holds the most recently added file, which the engine searches first. New files enter
// at slot 0 and push the others towards 127; the table is full while slot 127 is taken. All of
// this runs on the window thread (the main thread while the window is being built).
#pragma once

#include "app/Settings.h"

// Start-up: loads every remembered file from slot 127 down to 0, so that slot 0 is loaded last.
// When some fail, the "noload" alert asks what to do: exit (status 0, nothing saved), try again,
// or continue without them (their slots are freed and left as gaps).
void LoadRememberedSoundfonts(int handles[SOUNDFONT_SLOTS]);

// Adds the file at path as slot 0 with bank 0. Refuses with the "toomany" alert when slot 127 is
// taken and with the "failed" alert when the file does not load. True when the table changed.
bool AddSoundfontFile(const char* path, int handles[SOUNDFONT_SLOTS]);

// Unloads the file of a slot and closes the gap: later slots move down one, slot 127 is freed.
void RemoveSoundfontSlot(int slot, int handles[SOUNDFONT_SLOTS]);

// Gives a slot a new bank offset, limited to 0..127, and applies it in the engine (also when it
// has not changed). Returns the bank stored.
int SetSoundfontBank(int slot, int bank, const int handles[SOUNDFONT_SLOTS]);

// A bank typed by the user: a decimal number with optional leading blanks and sign, read up to
// the first other character; no digits (or no text) is 0.
int BankFromText(const char* text);
