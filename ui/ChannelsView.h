// CHANNELSVIEW, the Channels page: a row for each MIDI channel of a port (a switch chooses the
// port when there are two), with its activity light, its bank and program, the preset that
// answers them with its SoundFont's file name, or "(none)", a menu of the stack's presets to
// choose another, and a "Lock" box. Locks and chosen presets are kept in their own file.
#pragma once

#include <string>
#include <vector>

#include "app/ChannelsFile.h"
#include "engine/Harmoloom.h"
#include "platform/interface/Box.h"
#include "platform/interface/Control.h"
#include "platform/interface/Menu.h"

class SFVIEW;

// One row; what it shows is kept, so that a refresh changes only what changed.
class CHANNELROW : public BView
{
public:
    CHANNELROW(BRect frame, int row);

    void ShowLight(bool lit);
    // A menu of these items: a preset's, where item_presets holds its index; else a font's
    // heading, which chooses nothing.
    void ListPresets(const std::vector<std::string>& labels, const std::vector<int>& item_presets);

    const int row;
    BStringView* number;
    BView* light;
    BStringView* bank;
    BStringView* program;
    BMenuField* preset = nullptr;
    BStringView* file;
    BCheckBox* lock;

    bool lit = false;
    HARMOLOOM::ChannelPreset shown;
    int shown_channel = -1;
};

class CHANNELSVIEW : public BView
{
public:
    // fonts: the Soundfonts page, whose slots tell the file of each font. Applies the stored
    // locks and chosen presets.
    CHANNELSVIEW(BRect frame, const char* name, const SFVIEW* fonts, int ports);

    // At the meter's cadence, with the window locked: the lights, and what changed. Now and then
    // it asks the window thread for ListPresets: rows' menus are made and deleted only there.
    void Refresh();
    // The presets the menus list, rebuilt when the stack changed. Window thread.
    void ListPresets();

    // What the window's messages ask of the page.
    void ChoosePreset(int row, int32 index);
    void ToggleLock(int row);
    void ChoosePort(int32 index);

    CHANNELROW* Row(int row) const { return rows_[row]; }
    int Port() const { return port_; }

private:
    int Channel(int row) const { return 16 * port_ + row; }
    void ShowRow(CHANNELROW* row);
    // The slot of the Soundfonts page that holds a FluidSynth font; -1 when none does.
    int FontSlot(int font_id) const;
    // The file name of the slot that holds a FluidSynth font, or "".
    const char* FontFile(int font_id, char* buffer, size_t size) const;

    const SFVIEW* fonts_;
    BMenuField* port_field_ = nullptr;
    CHANNELROW* rows_[16] = {};
    int port_ = 0;
    int refreshes_ = 0;
    ChannelChoice choices_[CHANNEL_CHOICES];
    std::vector<HARMOLOOM::ChannelPreset> presets_;
    std::vector<int> item_presets_; // menu item -> presets_ index; -1 for a font's heading
};

// The label of a preset in the menus and on its row: "bank:program name".
void PresetLabel(const HARMOLOOM::ChannelPreset& preset, char* buffer, size_t size);
