#include "ui/SoundfontsView.h"

#include <cstdio>
#include <cstring>

#include "app/Debug.h"
#include "app/Paths.h"
#include "engine/Harmoloom.h"
#include "instruments/SlotTable.h"
#include "platform/interface/Window.h"
#include "ui/MessageCodes.h"

namespace
{

const rgb_color kPanelColor = {216, 216, 216, 255};
const rgb_color kWhite = {255, 255, 255, 255};
const rgb_color kBlack = {0, 0, 0, 255};
const rgb_color kLoadingGrey = {92, 92, 92, 255}; // 4.7:1 on the panel, black is 15:1

constexpr float kRowPitch = 26;
constexpr float kRowHeight = 24;
constexpr float kFirstRowTop = 1;
constexpr float kScrollAreaHeight = 3428;
constexpr unsigned long kNameLimit = 24;

} // namespace

void DisplayName(const char* path, char* buffer, size_t size)
{
    std::snprintf(buffer, size, "%s", strip_path(path != nullptr ? path : ""));
    if (trim_string(buffer, kNameLimit) == 1 && std::strlen(buffer) + 4 <= size)
        std::strcat(buffer, "...");
}

void FitNameLabel(BStringView* label, const char* path)
{
    label->SetTruncation(B_TRUNCATE_END);
    label->SetToolTip(path);
}

FONTVIEW::FONTVIEW(BRect frame, int slot, const char* path, int bank, int32 row_generation,
                   bool loading)
    : BView(frame, "soundfont", B_FOLLOW_ALL, B_WILL_DRAW), generation(row_generation),
      loading_label(nullptr)
{
    DEBUG_PRINT("Entering FONTVIEW constructor");
    char name[256];
    DisplayName(path, name, sizeof(name));
    float width = Bounds().Width();

    box = new BBox(BRect(-1, -2, width + 1, 25), "box", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW,
                   B_FANCY_BORDER);
    AddChild(box);
    name_label = new BStringView(BRect(67, 6, 249, 22), "string", name);
    name_label->SetFont(be_bold_font, B_FONT_ALL);
    FitNameLabel(name_label, path);
    box->AddChild(name_label);
    if (loading)
    {
        name_label->SetHighColor(kLoadingGrey);
        loading_label = new BStringView(BRect(349, 6, width - 2, 22), "loading", "loading...");
        loading_label->SetHighColor(kLoadingGrey);
        box->AddChild(loading_label);
    }
    auto code = static_cast<uint32>(slot);
    remove_button =
        new BButton(BRect(5, 1, 63, 24), "remove", "Remove", new BMessage(MSG_REMOVE_SLOT + code));
    box->AddChild(remove_button);
    // The bank field has room for three digits, the "-" button moved left to make it.
    minus_button =
        new BButton(BRect(253, 1, 276, 24), "minus", "-", new BMessage(MSG_BANK_DOWN + code));
    box->AddChild(minus_button);
    plus_button =
        new BButton(BRect(320, 1, 343, 24), "plus", "+", new BMessage(MSG_BANK_UP + code));
    box->AddChild(plus_button);
    auto* typed = new BMessage(MSG_BANK_TYPED + code);
    typed->AddInt32("generation", generation);
    bank_field = new BTextControl(BRect(278, 3, 314, 24), "textcontrol", "", "0", typed);
    box->AddChild(bank_field);
    bank_field->SetDivider(0);
    char number[16];
    std::snprintf(number, sizeof(number), "%d", bank);
    bank_field->SetText(number);
    SetViewColor(kPanelColor);
    DEBUG_PRINT("Leaving FONTVIEW constructor");
}

void FONTVIEW::ShowLoaded()
{
    if (loading_label == nullptr)
        return;
    box->RemoveChild(loading_label);
    delete loading_label;
    loading_label = nullptr;
    name_label->SetHighColor(kBlack);
}

FONTVIEW::~FONTVIEW()
{
    DEBUG_PRINT("Entering FONTVIEW destructor");
    ShowLoaded();
    BView* parts[] = {bank_field, plus_button, minus_button, remove_button, name_label};
    for (BView* part : parts)
    {
        box->RemoveChild(part);
        delete part;
    }
    RemoveChild(box);
    delete box;
    DEBUG_PRINT("Leaving FONTVIEW destructor");
}

SFVIEW::SFVIEW(BRect frame, const char* name)
    : BView(frame, name, B_FOLLOW_ALL, B_WILL_DRAW), visible(0), fonts{}, rows{}, row_generations{}
{
    DEBUG_PRINT("Entering SFVIEW constructor");
    SetViewColor(kPanelColor);
    LoadRememberedSoundfonts(fonts);
    loader = std::make_unique<SoundfontLoader>(Synth, PostLoaded, this);
    DEBUG_PRINT("Continuing to UI parts of SFVIEW constructor");

    BRect bounds = Bounds();
    add_button = new BButton(BRect(9, 9, 176, 21), "add", "Add Soundfont or wave file...",
                             new BMessage(MSG_ADD_SOUNDFONT));
    AddChild(add_button);
    bank_caption = new BStringView(BRect(273, 14, 360, 30), "string", "MIDI Bank #");
    bank_caption->SetFont(be_bold_font, B_FONT_ALL);
    AddChild(bank_caption);

    scroll_area = new BView(BRect(bounds.left, bounds.top, bounds.right, bounds.top + 50),
                            "scrollarea", B_FOLLOW_ALL, B_WILL_DRAW);
    scroll_area->SetViewColor(kWhite);
    holder =
        new BView(BRect(bounds.left + 4, bounds.top + 40, bounds.right - 22, bounds.bottom - 30),
                  "scrollviewholder", B_FOLLOW_ALL, B_WILL_DRAW);
    holder->SetViewColor(kWhite);
    scroll_view = new BScrollView("scrollview", holder, B_FOLLOW_LEFT | B_FOLLOW_TOP, 0, false,
                                  true, B_PLAIN_BORDER);
    AddChild(scroll_view);
    holder->AddChild(scroll_area);
    ListScrollBar()->SetRange(0, 0);

    DEBUG_PRINT("Reattaching");
    ReAttach();
    DEBUG_PRINT("Leaving SFVIEW constructor");
}

void SFVIEW::ReAttach()
{
    DEBUG_PRINT("Entering ReAttach");
    ListScrollBar()->SetValue(0);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (rows[slot] == nullptr)
            continue;
        scroll_area->RemoveChild(rows[slot]);
        delete rows[slot];
        rows[slot] = nullptr;
    }
    holder->RemoveChild(scroll_area);
    scroll_area->ResizeTo(scroll_area->Bounds().Width(), kScrollAreaHeight);

    BRect page = Bounds();
    BRect row(page.left, page.top + kFirstRowTop, page.right, page.top + kFirstRowTop + kRowHeight);
    for (int slot = 0; slot < SOUNDFONT_SLOTS; slot++)
    {
        if (soundfont_paths[slot][0] == '\0')
            continue; // a free slot leaves no gap in the list
        rows[slot] = new FONTVIEW(row, slot, soundfont_paths[slot], soundfont_banks[slot],
                                  ++row_generations[slot], fonts[slot].ticket != 0);
        scroll_area->AddChild(rows[slot]);
        row.top += kRowPitch;
        row.bottom = row.top + kRowHeight;
    }
    float list_height = row.top - page.top;
    scroll_area->ResizeTo(scroll_area->Bounds().Width(), list_height);
    holder->AddChild(scroll_area);

    float visible_height = holder->Bounds().Height();
    ListScrollBar()->SetRange(0, list_height > visible_height ? list_height - visible_height : 0);
    if (visible_height < list_height)
        ListScrollBar()->SetProportion(visible_height / list_height);
    ListScrollBar()->SetValue(0);
    DEBUG_PRINT("Leaving ReAttach");
}

SFVIEW::~SFVIEW()
{
    // The loader's ready call reaches this page; it ends first.
    loader.reset();
}

void SFVIEW::PostLoaded(void* page)
{
    if (BWindow* window = static_cast<SFVIEW*>(page)->loaded_target.load())
        window->PostMessage(MSG_SOUNDFONT_LOADED);
}

void SFVIEW::AddFile(const char* path)
{
    loaded_target = Window();
    if (AddSoundfontFile(path, fonts, loader.get()))
    {
        // The rows follow the slots: the table has moved on by one.
        ReAttach();
    }
}

void SFVIEW::TakeLoadedFonts()
{
    int ticket = 0;
    fluid_sfont_t* font = nullptr;
    while (loader->TakeLoaded(&ticket, &font))
    {
        int slot = SoundfontLoaded(ticket, font, fonts, loader.get());
        if (slot >= 0 && rows[slot] != nullptr)
            rows[slot]->ShowLoaded();
        else if (slot < 0)
            ReAttach(); // a file that did not load left the list
    }
}

void SFVIEW::RemoveSlot(int slot)
{
    if (slot < 0 || slot >= SOUNDFONT_SLOTS)
        return;
    RemoveSoundfontSlot(slot, fonts, loader.get());
    ReAttach();
}

void SFVIEW::SetBank(int slot, int bank)
{
    int stored = SetSoundfontBank(slot, bank, fonts);
    char number[16];
    std::snprintf(number, sizeof(number), "%d", stored);
    rows[slot]->bank_field->SetText(number);
}

void SFVIEW::BankDown(int slot)
{
    if (slot >= 0 && slot < SOUNDFONT_SLOTS && rows[slot] != nullptr)
        SetBank(slot, soundfont_banks[slot] - 1);
}

void SFVIEW::BankUp(int slot)
{
    if (slot >= 0 && slot < SOUNDFONT_SLOTS && rows[slot] != nullptr)
        SetBank(slot, soundfont_banks[slot] + 1);
}

void SFVIEW::BankTyped(int slot, int32 generation)
{
    if (slot >= 0 && slot < SOUNDFONT_SLOTS && rows[slot] != nullptr &&
        rows[slot]->generation == generation)
        SetBank(slot, BankFromText(rows[slot]->bank_field->Text()));
}

void SFVIEW::ScrollList(float pixels)
{
    ListScrollBar()->SetValue(ListScrollBar()->Value() + pixels);
}
