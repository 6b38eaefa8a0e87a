// The rules of the 128-slot instrument table (soundfont_paths and soundfont_banks of the
// settings) together with what the engine holds of each slot, which the caller keeps.
//
// Slot 0 holds the most recently added file, which the engine searches first. New files enter
// at slot 0 and push the others towards 127; the table is full while slot 127 is taken. An added
// file takes its slot at once and loads on the loader thread; the table's rules hold as if it
// had loaded at once (its bank is stored, a removal cancels it, the settings store it). All of
// this runs on the window thread (the main thread while the window is being built).
#pragma once

#include "app/Settings.h"
#include "instruments/SoundfontLoader.h"

// A slot in the engine: the font handle once the file has joined (0 for a free slot, a file
// that failed, or one still loading), and the loader's ticket while the file loads (else 0).
struct SlotFont
{
    int handle;
    int ticket;
};

// Start-up: loads every remembered file from slot 127 down to 0, so that slot 0 is loaded last.
// When some fail, the "noload" alert asks what to do: exit (status 0, nothing saved), try again,
// or continue without them (their slots are freed and left as gaps).
void LoadRememberedSoundfonts(SlotFont fonts[SOUNDFONT_SLOTS]);

// Adds the file at path as slot 0 with bank 0, loading. Refuses with the "toomany" alert when
// slot 127 is taken and with the "failed" alert when the path is too long to store. True when
// the table changed.
bool AddSoundfontFile(const char* path, SlotFont fonts[SOUNDFONT_SLOTS], SoundfontLoader* loader);

// A load has ended: the font joins the engine with its slot's bank, or, when the file did not
// load (font null), the "failed" alert and the slot goes as a removal would take it. A font
// whose slot went meanwhile goes back to the loader. Returns the slot, or -1 when it went.
int SoundfontLoaded(int ticket, fluid_sfont_t* font, SlotFont fonts[SOUNDFONT_SLOTS],
                    SoundfontLoader* loader);

// Unloads (or stops loading) the file of a slot and closes the gap: later slots move down one,
// slot 127 is freed.
void RemoveSoundfontSlot(int slot, SlotFont fonts[SOUNDFONT_SLOTS], SoundfontLoader* loader);

// Gives a slot a new bank offset, limited to 0..127, and applies it in the engine (also when it
// has not changed; a loading file takes it when it joins). Returns the bank stored.
int SetSoundfontBank(int slot, int bank, const SlotFont fonts[SOUNDFONT_SLOTS]);

// A bank typed by the user: a decimal number with optional leading blanks and sign, read up to
// the first other character; no digits (or no text) is 0.
int BankFromText(const char* text);
