#include "instruments/SlotTable.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/Debug.h"
#include "app/ExitNow.h"
#include "engine/Harmoloom.h"
#include "instruments/LoadAnyFile.h"
#include "platform/interface/Alert.h"

namespace
{

enum NoLoadAnswer
{
    kExitApplication = 0,
    kTryAgain = 1,
    kContinueWithoutThem = 2,
};

bool slot_is_taken(int slot)
{
    return soundfont_paths[slot][0] != '\0';
}

void free_slot(int slot, SlotFont fonts[])
{
    soundfont_paths[slot][0] = '\0';
    soundfont_banks[slot] = 0;
    fonts[slot] = {0, 0};
}

void move_slot(int to, int from, SlotFont fonts[])
{
    std::memcpy(soundfont_paths[to], soundfont_paths[from], SOUNDFONT_PATH_SIZE);
    soundfont_banks[to] = soundfont_banks[from];
    fonts[to] = fonts[from];
}

// Takes the slot out and closes the gap.
void close_slot(int slot, SlotFont fonts[])
{
    for (int later = slot; later < SOUNDFONT_SLOTS - 1; later++)
        move_slot(later, later + 1, fonts);
    free_slot(SOUNDFONT_SLOTS - 1, fonts);
}

void unload_all(SlotFont fonts[])
{
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (fonts[slot].handle != 0)
        {
            Synth->ClearSoundfont(fonts[slot].handle);
            fonts[slot].handle = 0;
        }
    }
}

const char kCannotLoad[] =
    "Sorry, cannot load that file. You may be low on memory, or the file may "
    "be incompatible. If the former, please remove some Soundfonts (or "
    "close some applications), and try again.";

void stop_alert(const char* title, const char* text)
{
    (new BAlert(title, text, "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))->Go();
}

} // namespace

void LoadRememberedSoundfonts(SlotFont fonts[SOUNDFONT_SLOTS])
{
    for (;;)
    {
        int failed_to_load_something = 0;
        for (int slot = SOUNDFONT_SLOTS - 1; slot >= 0; slot--)
        {
            fonts[slot] = {0, 0};
            if (!slot_is_taken(slot))
                continue;
            fonts[slot].handle = LoadAnyFile(Synth, soundfont_paths[slot], soundfont_banks[slot]);
            if (fonts[slot].handle == 0)
                failed_to_load_something = 1;
        }
        DEBUG_PRINT("Finished initial loading, failed_to_load_something = %d",
                    failed_to_load_something);
        if (failed_to_load_something == 0)
            return;

        int answer = (new BAlert("noload",
                                 "One or more Soundfont/wave files you were using last time "
                                 "couldn't be loaded this time.\nPerhaps a drive holding the files "
                                 "isn't mounted, or the files have been moved.\nWhat do you wish "
                                 "to do?",
                                 "Exit application", "Try again", "Continue without them",
                                 B_WIDTH_AS_USUAL, B_INFO_ALERT))
                         ->Go();
        if (answer == kContinueWithoutThem)
        {
            for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
            {
                if (fonts[slot].handle == 0 && slot_is_taken(slot))
                    free_slot(slot, fonts);
            }
            return;
        }
        unload_all(fonts);
        if (answer == kExitApplication)
            ExitNow(0);
    }
}

bool AddSoundfontFile(const char* path, SlotFont fonts[SOUNDFONT_SLOTS], SoundfontLoader* loader)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    if (slot_is_taken(SOUNDFONT_SLOTS - 1))
    {
        stop_alert("toomany", "Sorry, cannot load that file, because too many Soundfonts are "
                              "loaded. Please remove one or more Soundfonts, and try again.");
        return false;
    }
    // A path the table cannot hold whole would be saved cut, and load another file next time.
    if (std::strlen(path) >= SOUNDFONT_PATH_SIZE)
    {
        stop_alert("failed", kCannotLoad);
        return false;
    }
    for (int slot = SOUNDFONT_SLOTS - 1; slot >= 1; slot--)
        move_slot(slot, slot - 1, fonts);
    std::strcpy(soundfont_paths[0], path);
    soundfont_banks[0] = 0;
    fonts[0] = {0, loader->Load(path)};
    return true;
}

int SoundfontLoaded(int ticket, fluid_sfont_t* font, SlotFont fonts[SOUNDFONT_SLOTS],
                    SoundfontLoader* loader)
{
    int slot = 0;
    while (slot < SOUNDFONT_SLOTS && (ticket == 0 || fonts[slot].ticket != ticket))
        slot++;
    if (slot == SOUNDFONT_SLOTS)
    {
        loader->Discard(font);
        return -1;
    }
    fonts[slot].ticket = 0;
    if (font != nullptr)
        fonts[slot].handle = Synth->JoinSoundfont(font, soundfont_banks[slot]);
    if (fonts[slot].handle != 0)
        return slot;
    close_slot(slot, fonts);
    stop_alert("failed", kCannotLoad);
    return -1;
}

void RemoveSoundfontSlot(int slot, SlotFont fonts[SOUNDFONT_SLOTS], SoundfontLoader* loader)
{
    if (slot < 0 || slot >= SOUNDFONT_SLOTS)
        return;
    if (fonts[slot].ticket != 0)
        loader->Cancel(fonts[slot].ticket);
    Synth->ClearSoundfont(fonts[slot].handle);
    close_slot(slot, fonts);
}

int SetSoundfontBank(int slot, int bank, const SlotFont fonts[SOUNDFONT_SLOTS])
{
    if (slot < 0 || slot >= SOUNDFONT_SLOTS)
        return 0;
    bank = std::clamp(bank, 0, 127);
    soundfont_banks[slot] = bank;
    Synth->OffsetSoundfont(fonts[slot].handle, bank);
    return bank;
}

int BankFromText(const char* text)
{
    if (text == nullptr)
        return 0;
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(
        std::clamp(value, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX)));
}
