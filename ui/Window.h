// WINDOW, the main window: five pages behind tabs, and the one handler of every message of the
// user interface.
#pragma once

#include <atomic>

#include "platform/interface/TabView.h"
#include "platform/interface/Window.h"
#include "platform/storage/FilePanel.h"

class MAINVIEW;
class SFVIEW;
class FXVIEW;
class SETUPVIEW;
class CHANNELSVIEW;

// A tab that lets the Soundfonts page know whether it shows.
class TAB : public BTab
{
public:
    explicit TAB(SFVIEW* page = nullptr);
    void Select(BView* owner) override;
    void Deselect() override;
    SFVIEW* sfview;
};

class WINDOW : public BWindow
{
public:
    // Builds the window and its pages (which loads the remembered files), then shows it and
    // starts the meter, the audio output and the MIDI input. Main thread, at start-up.
    explicit WINDOW(BRect frame);
    // Clears app_window: nobody may reach the window through it any more.
    ~WINDOW() override;

    // On the window thread.
    void MessageReceived(BMessage* message) override;
    // Stops the audio and the meter and records where the window is; then the application quits.
    bool QuitRequested() override;
    // Records what closing the window records (its place, the Setup page's choices), for a save
    // without the close: when the display is lost. Reads the pages without the window's lock.
    void RecordForSaving();

    MAINVIEW* MainPage() const { return mainview; }
    SFVIEW* SoundfontsPage() const { return sfview; }
    FXVIEW* EffectsPage() const { return fxview; }
    SETUPVIEW* SetupPage() const { return setupview; }
    CHANNELSVIEW* ChannelsPage() const { return channelsview; }
    BTabView* Tabs() const { return tabview; }

private:
    // The stages MessageReceived tries in turn, each true when it handled the message: files,
    // the Main page, then presets, rows and scrolling.
    bool ReceiveFiles(BMessage* message);
    bool ReceiveMainPage(BMessage* message);
    bool ReceiveOthers(BMessage* message);
    bool ReceiveChannels(BMessage* message);
    void AddFileFrom(const entry_ref& ref, bool follow_links);
    void RecordPosition();

    BTabView* tabview;
    TAB* tabs[5];
    MAINVIEW* mainview;
    SFVIEW* sfview;
    FXVIEW* fxview;
    SETUPVIEW* setupview;
    CHANNELSVIEW* channelsview;
    BView* padview;
};

// The main window; set once it is built. The meter and audio threads read it.
extern std::atomic<WINDOW*> app_window;
// The open-file panel, made on the first "SFAD".
extern BFilePanel* filepanel;
