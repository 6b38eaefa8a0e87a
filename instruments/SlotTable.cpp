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

void free_slot(int slot, int handles[])
{
    soundfont_paths[slot][0] = '\0';
    soundfont_banks[slot] = 0;
    handles[slot] = 0;
}

void move_slot(int to, int from, int handles[])
{
    std::memcpy(soundfont_paths[to], soundfont_paths[from], SOUNDFONT_PATH_SIZE);
    soundfont_banks[to] = soundfont_banks[from];
    handles[to] = handles[from];
}

void unload_all(int handles[])
{
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (handles[slot] != 0)
        {
            Synth->ClearSoundfont(handles[slot]);
            handles[slot] = 0;
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

void LoadRememberedSoundfonts(int handles[SOUNDFONT_SLOTS])
{
    for (;;)
    {
        int failed_to_load_something = 0;
        for (int slot = SOUNDFONT_SLOTS - 1; slot >= 0; slot--)
        {
            handles[slot] = 0;
            if (!slot_is_taken(slot))
                continue;
            handles[slot] = LoadAnyFile(Synth, soundfont_paths[slot], soundfont_banks[slot]);
            if (handles[slot] == 0)
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
                if (handles[slot] == 0 && slot_is_taken(slot))
                    free_slot(slot, handles);
            }
            return;
        }
        unload_all(handles);
        if (answer == kExitApplication)
            ExitNow(0);
    }
}

bool AddSoundfontFile(const char* path, int handles[SOUNDFONT_SLOTS])
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
    int handle = LoadAnyFile(Synth, path, 0);
    if (handle == 0)
    {
        stop_alert("failed", kCannotLoad);
        return false;
    }
    for (int slot = SOUNDFONT_SLOTS - 1; slot >= 1; slot--)
        move_slot(slot, slot - 1, handles);
    std::strcpy(soundfont_paths[0], path);
    soundfont_banks[0] = 0;
    handles[0] = handle;
    return true;
}

void RemoveSoundfontSlot(int slot, int handles[SOUNDFONT_SLOTS])
{
    if (slot < 0 || slot >= SOUNDFONT_SLOTS)
        return;
    Synth->ClearSoundfont(handles[slot]);
    for (int later = slot; later < SOUNDFONT_SLOTS - 1; later++)
        move_slot(later, later + 1, handles);
    free_slot(SOUNDFONT_SLOTS - 1, handles);
}

int SetSoundfontBank(int slot, int bank, const int handles[SOUNDFONT_SLOTS])
{
    if (slot < 0 || slot >= SOUNDFONT_SLOTS)
        return 0;
    bank = std::clamp(bank, 0, 127);
    soundfont_banks[slot] = bank;
    Synth->OffsetSoundfont(handles[slot], bank);
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
