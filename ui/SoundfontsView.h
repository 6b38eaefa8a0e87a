// SFVIEW, the Soundfonts page: the instrument files in use, one row each in slot order, with
// "Remove", the bank number with "-" and "+", and "Add Soundfont or wave file...". It loads the
// remembered files while it is built, keeps what the engine holds of each slot, and owns the
// loader thread that reads added files while a row shows them loading.
#pragma once

#include <atomic>
#include <memory>

#include "app/Settings.h"
#include "instruments/SlotTable.h"
#include "platform/interface/Box.h"
#include "platform/interface/Control.h"
#include "platform/interface/ScrollView.h"
#include "platform/interface/TextControl.h"

// One row of the list.
class FONTVIEW : public BView
{
public:
    // row_generation tells this row's bank field from earlier ones of the same slot: its message
    // carries it as "generation". A loading row shows its name greyed and "loading...".
    FONTVIEW(BRect frame, int slot, const char* path, int bank, int32 row_generation, bool loading);
    ~FONTVIEW() override;

    // The file has joined: an ordinary row from now on.
    void ShowLoaded();

    int32 generation;

    BStringView* name_label;
    BStringView* loading_label; // null once loaded
    BButton* remove_button;
    BButton* minus_button;
    BButton* plus_button;
    BTextControl* bank_field;
    BBox* box;
};

class SFVIEW : public BView
{
public:
    SFVIEW(BRect frame, const char* name);
    ~SFVIEW() override;

    // Builds the list again from the slot table.
    void ReAttach();

    // What the window's messages ask of the page.
    void AddFile(const char* path);
    // Takes every finished load: its row becomes an ordinary one, or goes with the alert of a
    // file that did not load. The loader asks for it with MSG_SOUNDFONT_LOADED.
    void TakeLoadedFonts();
    // No more loads. False while a file is being read: the engine must then stay as it is.
    bool StopLoading() { return loader->Stop(); }
    SoundfontLoader* Loader() const { return loader.get(); }
    void RemoveSlot(int slot);
    void BankDown(int slot);
    void BankUp(int slot);
    // Acts only when generation is that of the slot's current row: a field's message may come
    // after the list was rebuilt (a drop takes the focus from a field) and its field deleted.
    void BankTyped(int slot, int32 generation);
    // Moves the list by pixels (negative: up), within its range.
    void ScrollList(float pixels);

    BScrollBar* ListScrollBar() const { return scroll_view->ScrollBar(B_VERTICAL); }
    FONTVIEW* Row(int slot) const { return rows[slot]; }
    int Handle(int slot) const { return fonts[slot].handle; }

    int32 visible; // 1 while the Soundfonts tab is selected
    BScrollView* scroll_view;
    BView* scroll_area;
    BView* holder;
    BButton* add_button;
    BStringView* bank_caption;
    SlotFont fonts[SOUNDFONT_SLOTS];
    FONTVIEW* rows[SOUNDFONT_SLOTS];
    int32 row_generations[SOUNDFONT_SLOTS]; // counts the rows built for each slot

private:
    void SetBank(int slot, int bank);
    // The loader's ready call: a message to the window the page was in when a file was added.
    static void PostLoaded(void* page);

    std::unique_ptr<SoundfontLoader> loader;
    std::atomic<BWindow*> loaded_target{nullptr};
};

// A file's name as the list shows it: the part after the last '/', cut to 24 characters with
// "..." after a cut. Writes into buffer, which holds the longest such name (24 characters of
// four bytes and "...") from 100 bytes on.
void DisplayName(const char* path, char* buffer, size_t size);

// A row's name label: one size down the list, a name too wide for it cut with "...", and the
// file's full path shown when the pointer rests on it (two files of one name told apart).
void FitNameLabel(BStringView* label, const char* path);
