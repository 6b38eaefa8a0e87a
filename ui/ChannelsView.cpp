#include "ui/ChannelsView.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Debug.h"
#include "app/Settings.h"
#include "platform/interface/Window.h"
#include "ui/MessageCodes.h"
#include "ui/SoundfontsView.h"

namespace
{

const rgb_color kPanelColor = {216, 216, 216, 255};
const rgb_color kLit = {40, 200, 40, 255};
const rgb_color kDark = {90, 90, 90, 255};

constexpr float kHeaderHeight = 20;
constexpr float kRowPitch = 15;
constexpr int kRefreshesPerListing = 25; // the stack is looked at about once a second

// The columns of a row, left to right.
constexpr float kNumberLeft = 4, kLightLeft = 22, kBankLeft = 34, kProgramLeft = 68;
constexpr float kPresetLeft = 100, kFileLeft = 250, kLockLeft = 330;

BStringView* text(BView* parent, float left, float right, const char* shown)
{
    auto* view = new BStringView(BRect(left, 0, right, kRowPitch - 1), "text", shown);
    parent->AddChild(view);
    return view;
}

bool same(const HARMOLOOM::ChannelPreset& one, const HARMOLOOM::ChannelPreset& other)
{
    return one.font_id == other.font_id && one.bank == other.bank && one.program == other.program &&
           one.answer_bank == other.answer_bank && one.answer_program == other.answer_program &&
           std::strcmp(one.name, other.name) == 0;
}

} // namespace

void PresetLabel(const HARMOLOOM::ChannelPreset& preset, char* buffer, size_t size)
{
    std::snprintf(buffer, size, "%03d:%03d %s", preset.answer_bank, preset.answer_program,
                  preset.name);
}

CHANNELROW::CHANNELROW(BRect frame, int index)
    : BView(frame, "channel", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW), row(index)
{
    SetViewColor(kPanelColor);
    number = text(this, kNumberLeft, kLightLeft - 2, "");
    light = new BView(BRect(kLightLeft, 3, kLightLeft + 8, 11), "light",
                      B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
    light->SetViewColor(kDark);
    AddChild(light);
    bank = text(this, kBankLeft, kProgramLeft - 2, "");
    program = text(this, kProgramLeft, kPresetLeft - 2, "");
    file = text(this, kFileLeft, kLockLeft - 2, "");
    file->SetTruncation(B_TRUNCATE_END); // one size down the column, a long name cut with "..."

    lock = new BCheckBox(BRect(kLockLeft, 0, 378, kRowPitch - 1), "lock", "Lock",
                         new BMessage(MSG_CHANNEL_LOCK + static_cast<uint32>(index)));
    AddChild(lock);
    ListPresets({}, {});
}

void CHANNELROW::ShowLight(bool now_lit)
{
    lit = now_lit;
    light->SetHighColor(lit ? kLit : kDark);
    light->FillRect(BRect(0, 0, 8, 8));
}

void CHANNELROW::ListPresets(const std::vector<std::string>& labels,
                             const std::vector<int>& item_presets)
{
    if (preset != nullptr)
    {
        RemoveChild(preset);
        delete preset;
    }
    auto* menu = new BPopUpMenu("(none)", true, true);
    for (size_t item = 0; item < labels.size(); item++)
    {
        auto* message = item_presets[item] < 0
                            ? nullptr
                            : new BMessage(MSG_CHANNEL_PRESET + static_cast<uint32>(row));
        menu->AddItem(new BMenuItem(labels[item].c_str(), message));
    }
    preset = new BMenuField(BRect(kPresetLeft, 0, kFileLeft - 4, kRowPitch - 1), "preset", "", menu,
                            true);
    preset->SetDivider(0);
    AddChild(preset);
    shown_channel = -1; // shown again in full
}

CHANNELSVIEW::CHANNELSVIEW(BRect frame, const char* name, const SFVIEW* fonts, int ports)
    : BView(frame, name, B_FOLLOW_ALL, B_WILL_DRAW), fonts_(fonts)
{
    DEBUG_PRINT("Entering channels view constructor");
    SetViewColor(kPanelColor);
    ReadChannelsFile(choices_);
    for (int channel = 0; channel < CHANNEL_CHOICES; channel++)
    {
        const ChannelChoice& choice = choices_[channel];
        Synth->locked[channel] = choice.locked;
        if (choice.bank >= 0)
            Synth->SelectPreset(channel, choice.bank, choice.program);
    }
    const char* captions[] = {"Ch", "Bank", "Prog", "Preset", "SoundFont"};
    const float lefts[] = {kNumberLeft, kBankLeft, kProgramLeft, kPresetLeft, kFileLeft};
    for (size_t index = 0; index < std::size(lefts); index++)
    {
        auto* caption = new BStringView(BRect(lefts[index], 4, lefts[index] + 80, 18), "caption",
                                        captions[index]);
        AddChild(caption);
    }
    if (ports > 1)
    {
        auto* menu = new BPopUpMenu("MIDI In 1", true, true);
        for (const char* port : {"MIDI In 1", "MIDI In 2"})
            menu->AddItem(new BMenuItem(port, new BMessage(MSG_CHANNEL_PORT)));
        menu->ItemAt(0)->SetMarked(true);
        port_field_ = new BMenuField(BRect(kLockLeft - 30, 2, 378, 18), "port", "", menu, true);
        port_field_->SetDivider(0);
        AddChild(port_field_);
    }
    for (int row = 0; row < 16; row++)
    {
        float top = kHeaderHeight + static_cast<float>(row) * kRowPitch;
        rows_[row] = new CHANNELROW(BRect(0, top, frame.Width(), top + kRowPitch - 1), row);
        AddChild(rows_[row]);
    }
    ListPresets();
    Refresh();
    DEBUG_PRINT("Leaving channels view constructor");
}

int CHANNELSVIEW::FontSlot(int font_id) const
{
    int handle = font_id == 0 ? -1 : font_id;
    for (int slot = 0; font_id >= 0 && slot < SOUNDFONT_SLOTS; slot++)
    {
        if (fonts_->Handle(slot) == handle)
            return slot;
    }
    return -1;
}

const char* CHANNELSVIEW::FontFile(int font_id, char* buffer, size_t size) const
{
    buffer[0] = '\0';
    int slot = FontSlot(font_id);
    if (slot >= 0)
        DisplayName(soundfont_paths[slot], buffer, size);
    return buffer;
}

void CHANNELSVIEW::ListPresets()
{
    std::vector<HARMOLOOM::ChannelPreset> presets = Synth->ListPresets();
    bool changed = presets.size() != presets_.size();
    for (size_t index = 0; !changed && index < presets.size(); index++)
        changed = !same(presets[index], presets_[index]);
    if (!changed)
        return;
    presets_ = std::move(presets);
    item_presets_.clear();
    std::vector<std::string> labels;
    char label[128];
    for (size_t index = 0; index < presets_.size(); index++)
    {
        if (index == 0 || presets_[index].font_id != presets_[index - 1].font_id)
        {
            item_presets_.push_back(-1);
            labels.push_back(std::string("- ") +
                             FontFile(presets_[index].font_id, label, sizeof(label)) + " -");
        }
        item_presets_.push_back(static_cast<int>(index));
        PresetLabel(presets_[index], label, sizeof(label));
        labels.emplace_back(label);
    }
    for (CHANNELROW* row : rows_)
        row->ListPresets(labels, item_presets_);
}

void CHANNELSVIEW::Refresh()
{
    if (IsHidden())
    {
        // Nothing to show; once the page shows again, its first refresh lists the stack.
        refreshes_ = 0;
        return;
    }
    if (refreshes_++ % kRefreshesPerListing == 0 && Window() != nullptr)
        Window()->PostMessage(MSG_CHANNELS_LIST);
    for (CHANNELROW* row : rows_)
    {
        bool lit = Synth->sounding[Channel(row->row)].load(std::memory_order_relaxed);
        if (lit != row->lit || row->shown_channel != Channel(row->row))
            row->ShowLight(lit);
        ShowRow(row);
    }
}

void CHANNELSVIEW::ShowRow(CHANNELROW* row)
{
    int channel = Channel(row->row);
    HARMOLOOM::ChannelPreset now;
    Synth->ChannelPresetOf(channel, &now);
    if (row->shown_channel == channel && same(now, row->shown))
        return;
    char line[128];
    std::snprintf(line, sizeof(line), "%d", channel % 16 + 1);
    row->number->SetText(line);
    std::snprintf(line, sizeof(line), "%d", now.bank);
    row->bank->SetText(line);
    std::snprintf(line, sizeof(line), "%d", now.program);
    row->program->SetText(line);
    row->file->SetText(now.font_id >= 0 ? FontFile(now.font_id, line, sizeof(line)) : "(none)");
    int slot = FontSlot(now.font_id);
    row->file->SetToolTip(slot >= 0 ? soundfont_paths[slot] : ""); // two files of one name

    row->lock->SetValue(choices_[channel].locked ? 1 : 0);
    BMenu* menu = row->preset->Menu();
    if (BMenuItem* marked = menu->FindMarked())
        marked->SetMarked(false);
    for (size_t item = 0; now.font_id >= 0 && item < item_presets_.size(); item++)
    {
        int index = item_presets_[item];
        if (index < 0)
            continue;
        const HARMOLOOM::ChannelPreset& listed = presets_[static_cast<size_t>(index)];
        if (listed.font_id == now.font_id && listed.answer_bank == now.answer_bank &&
            listed.answer_program == now.answer_program)
        {
            menu->ItemAt(static_cast<int32>(item))->SetMarked(true);
            break;
        }
    }
    row->preset->MenuChanged();
    row->shown = now;
    row->shown_channel = channel;
}

void CHANNELSVIEW::ChoosePreset(int row, int32 item)
{
    if (row < 0 || row >= 16 || item < 0 || static_cast<size_t>(item) >= item_presets_.size())
        return;
    int index = item_presets_[static_cast<size_t>(item)];
    rows_[row]->shown_channel = -1; // a heading chosen shows the preset again
    if (index < 0)
        return;
    const HARMOLOOM::ChannelPreset& preset = presets_[static_cast<size_t>(index)];
    int channel = Channel(row);
    Synth->SelectPreset(channel, preset.answer_bank, preset.answer_program);
    choices_[channel].bank = preset.answer_bank;
    choices_[channel].program = preset.answer_program;
    WriteChannelsFile(choices_);
    ShowRow(rows_[row]);
}

void CHANNELSVIEW::ToggleLock(int row)
{
    if (row < 0 || row >= 16)
        return;
    int channel = Channel(row);
    choices_[channel].locked = rows_[row]->lock->Value() != 0;
    Synth->locked[channel] = choices_[channel].locked;
    WriteChannelsFile(choices_);
}

void CHANNELSVIEW::ChoosePort(int32 index)
{
    if (index != 0 && index != 1)
        return;
    port_ = index;
    Refresh();
}
