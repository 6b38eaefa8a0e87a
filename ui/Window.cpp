#include "ui/Window.h"

#include "app/App.h"
#include "app/AudioSetup.h"
#include "app/Debug.h"
#include "app/Settings.h"
#include "audio/AudioOutput.h"
#include "audio/Fuse.h"
#include "audio/LevelMeter.h"
#include "engine/Harmoloom.h"
#include "midi/MidiInterface.h"
#include "platform/app/Application.h"
#include "platform/storage/Entry.h"
#include "platform/support/Threads.h"
#include "ui/ChannelsView.h"
#include "ui/EffectsView.h"
#include "ui/MainView.h"
#include "ui/MessageCodes.h"
#include "ui/MeterDisplay.h"
#include "ui/SetupView.h"
#include "ui/SoundfontsView.h"
#include "ui/StatusWindow.h"

std::atomic<WINDOW*> app_window{nullptr};
BFilePanel* filepanel = nullptr;

namespace
{

const rgb_color kPanelColor = {216, 216, 216, 255};
constexpr float kScrollStep = 12;
constexpr int kPageSteps = 7;

enum : int32
{
    kPageUp = 11,
    kPageDown = 12,
    kUpArrow = 30,
    kDownArrow = 31,
};

} // namespace

TAB::TAB(SFVIEW* page) : sfview(page) {}

void TAB::Select(BView* owner)
{
    BTab::Select(owner);
    if (sfview != nullptr)
    {
        sfview->visible = 1;
        sfview->ListScrollBar()->SetValue(0);
        sfview->ListScrollBar()->SetSteps(kScrollStep, 48);
    }
}

void TAB::Deselect()
{
    if (sfview != nullptr)
    {
        sfview->visible = 0;
        sfview->ListScrollBar()->SetValue(0);
    }
    BTab::Deselect();
}

WINDOW::WINDOW(BRect frame)
    : BWindow(frame, "Harmoloom 1.1", B_TITLED_WINDOW, B_NOT_RESIZABLE | B_NOT_ZOOMABLE,
              B_CURRENT_WORKSPACE)
{
    DEBUG_PRINT("Entering window constructor");
    BRect bounds = Bounds();

    DEBUG_PRINT("Creating tab view");
    BRect tab_frame = bounds;
    tab_frame.top += 4;
    tabview = new BTabView(tab_frame, "tabview", B_WIDTH_AS_USUAL, B_FOLLOW_ALL);
    tabview->SetViewColor(kPanelColor);

    DEBUG_PRINT("Creating view");
    padview = new BView(BRect(0, 0, 380, 4), "padview", B_FOLLOW_ALL, B_WILL_DRAW);
    padview->SetViewColor(kPanelColor);
    AddChild(padview);

    DEBUG_PRINT("Creating tabs");
    BRect page = tabview->Bounds();
    tabs[0] = new TAB();
    mainview = new MAINVIEW(page, "  Main  ");
    tabview->AddTab(mainview, tabs[0]);
    tabs[1] = new TAB();
    sfview = new SFVIEW(page, "  Soundfonts  ");
    tabs[1]->sfview = sfview;
    tabview->AddTab(sfview, tabs[1]);
    tabs[2] = new TAB();
    fxview = new FXVIEW(page, "  Effects  ");
    tabview->AddTab(fxview, tabs[2]);
    tabs[3] = new TAB();
    setupview = new SETUPVIEW(page, "  Setup  ");
    tabview->AddTab(setupview, tabs[3]);
    tabs[4] = new TAB();
    channelsview =
        new CHANNELSVIEW(page, "  Channels  ", sfview, settings[setting::two_ports] != 0 ? 2 : 1);
    tabview->AddTab(channelsview, tabs[4]);

    DEBUG_PRINT("Adding tab view");
    AddChild(tabview);

    DEBUG_PRINT("Starting looper");
    Show();

    DEBUG_PRINT("Performing tab width adjustment");
    Lock();
    tabview->SetTabWidth(B_WIDTH_FROM_WIDEST);
    tabview->Invalidate();
    Unlock();

    DEBUG_PRINT("Starting meter thread");
    resume_thread(spawn_thread(meter_thread, "meter_thread", B_NORMAL_PRIORITY, mainview));

    DEBUG_PRINT("Starting audio driver");
    int sample_rate = SampleRateForIndex(settings[setting::sample_rate_index]);
    StartAudio(sample_rate, FramesPerBuffer(settings[setting::timing_index], sample_rate),
               mainview);

    DEBUG_PRINT("Starting MIDI interface");
    StartMidiInterface(settings[setting::two_ports]);

    DEBUG_PRINT("Starting up");
    snooze(650000);

    DEBUG_PRINT("Closing status window");
    CloseStatusWindow();

    crash_has_started = 1;
    DEBUG_PRINT("Flag cleared; leaving window constructor");
}

WINDOW::~WINDOW()
{
    // The fuse's watchdog reaches the window through app_window while it holds fuse_locker: once
    // this has it, the watchdog is out of the window and will not find it again.
    BAutolock keep_fuse_out(fuse_locker);
    WINDOW* self = this;
    app_window.compare_exchange_strong(self, nullptr);
}

bool WINDOW::QuitRequested()
{
    DEBUG_PRINT("Quit requested");

    DEBUG_PRINT("Stopping audio");
    StopAudio();

    DEBUG_PRINT("Suspending meter thread");
    // The window is deleted once this returns: the meter may not be left halfway through a
    // drawing, however long it takes to reach its pause (it cannot get our lock meanwhile).
    thread_id meter = find_thread("meter_thread");
    while (suspend_thread(meter) == B_TIMED_OUT)
    {
    }

    DEBUG_PRINT("Recording window position");
    if (!sfview->StopLoading())
    {
        // A file is still being read, which nothing can interrupt: rather than wait for it, the
        // stack is saved as the list shows it (a loading file was accepted) and the process
        // ends here, as when the display is lost, with the position recorded among the rest.
        DEBUG_PRINT("Quitting during a load");
        SaveSettingsAndExit(this, 0);
    }
    RecordPosition();

    DEBUG_PRINT("Requesting application quit");
    if (be_app != nullptr)
        be_app->PostMessage(B_QUIT_REQUESTED);

    DEBUG_PRINT("Returning from quit requested");
    return true;
}

void WINDOW::RecordPosition()
{
    BRect frame = Frame();
    settings[setting::window_left] = static_cast<int32_t>(frame.left);
    settings[setting::window_top] = static_cast<int32_t>(frame.top);
}

void WINDOW::RecordForSaving()
{
    RecordPosition();
    setupview->StoreChoices();
}

void WINDOW::AddFileFrom(const entry_ref& ref, bool follow_links)
{
    BEntry entry;
    entry.SetTo(&ref, follow_links);
    BPath path;
    const char* chosen = entry.GetPath(&path) == B_OK && path.Path() != nullptr ? path.Path() : "";
    // The file loads on the loader thread; its row says so meanwhile.
    DEBUG_PRINT("Adding soundfont");
    sfview->AddFile(chosen);
}

bool WINDOW::ReceiveFiles(BMessage* message)
{
    switch (message->what)
    {
    case MSG_ADD_SOUNDFONT:
        if (filepanel == nullptr)
            filepanel = new BFilePanel(B_OPEN_PANEL, this, nullptr, B_FILE_NODE, false, nullptr,
                                       nullptr, false, true);
        {
            BMessage chosen(MSG_FILE_CHOSEN);
            filepanel->SetMessage(&chosen);
        }
        filepanel->Show();
        return true;
    case MSG_FILE_CHOSEN:
    {
        DEBUG_PRINT("File selected");
        entry_ref ref;
        BEntry entry;
        if (message->FindRef("refs", &ref) == B_OK && entry.SetTo(&ref, false) == B_OK)
            AddFileFrom(ref, false);
        return true;
    }
    case MSG_FILE_DROPPED:
    {
        DEBUG_PRINT("File dragged");
        type_code type = 0;
        entry_ref ref;
        // A drop whose "refs" are not file references (text dragged in) is taken and ignored.
        if (message->GetInfo("refs", &type) == B_OK && type == B_REF_TYPE &&
            message->FindRef("refs", 0, &ref) == B_OK)
            AddFileFrom(ref, true); // only the first of several dropped files
        return true;
    }
    case MSG_SOUNDFONT_LOADED:
        DEBUG_PRINT("Finished adding soundfont");
        sfview->TakeLoadedFonts();
        return true;
    default:
        return false;
    }
}

bool WINDOW::ReceiveMainPage(BMessage* message)
{
    int quality = -1;
    int32 step = 0;
    switch (message->what)
    {
    case MSG_CLEAR_PEAK:
        ClearPeakLevels();
        return true;
    case MSG_SYSTEM_RESET:
        Synth->SystemReset();
        return true;
    case MSG_QUALITY_LOW:
        quality = 0;
        break;
    case MSG_QUALITY_MEDIUM:
        quality = 1;
        break;
    case MSG_QUALITY_HIGH:
        quality = 2;
        break;
    case MSG_OUTPUT_CHANGED:
        setupview->ShowOutputDevice();
        return true;
    case MSG_FUSE_STEP:
        if (message->FindInt32("step", &step) == B_OK)
            mainview->PolyphonySlider()->SetValue(step);
        return true;
    default:
        return false;
    }
    settings[setting::quality] = quality;
    Synth->SetInterp(quality + 1);
    return true;
}

bool WINDOW::ReceiveOthers(BMessage* message)
{
    uint32 code = message->what;
    int n = 0;
    if (IsRangedCode(code, MSG_REVERB_PRESET, PRESET_CODE_RANGE, &n))
    {
        fxview->LoadReverbPreset(n);
        return true;
    }
    if (IsRangedCode(code, MSG_CHORUS_PRESET, PRESET_CODE_RANGE, &n))
    {
        fxview->LoadChorusPreset(n);
        return true;
    }
    if (IsRangedCode(code, MSG_REMOVE_SLOT, SLOT_CODE_RANGE, &n))
    {
        sfview->RemoveSlot(n);
        return true;
    }
    if (IsRangedCode(code, MSG_BANK_DOWN, SLOT_CODE_RANGE, &n))
    {
        sfview->BankDown(n);
        return true;
    }
    if (IsRangedCode(code, MSG_BANK_UP, SLOT_CODE_RANGE, &n))
    {
        sfview->BankUp(n);
        return true;
    }
    if (IsRangedCode(code, MSG_BANK_TYPED, SLOT_CODE_RANGE, &n))
    {
        // The source itself may be gone: the generation says whether it is still the row's.
        void* source = nullptr;
        int32 generation = 0;
        if (message->FindPointer("source", &source) == B_OK && source != nullptr &&
            message->FindInt32("generation", &generation) == B_OK)
            sfview->BankTyped(n, generation);
        return true;
    }
    if (ReceiveChannels(message))
        return true;
    if (code == MSG_MOUSE_WHEEL)
    {
        float delta = 0;
        message->FindFloat("be:wheel_delta_y", &delta);
        if (sfview->visible != 0)
            sfview->ScrollList(delta > 0 ? kScrollStep : -kScrollStep);
        return true;
    }
    if (code == MSG_KEY_DOWN)
    {
        int32 key = 0;
        message->FindInt32("raw_char", &key);
        float step = 0;
        int steps = 1;
        if (key == kPageUp || key == kPageDown)
            steps = kPageSteps;
        if (key == kPageUp || key == kUpArrow)
            step = -kScrollStep;
        else if (key == kPageDown || key == kDownArrow)
            step = kScrollStep;
        else
            return false;
        for (int count = 0; sfview->visible != 0 && count < steps; count++)
            sfview->ScrollList(step);
        return true;
    }
    return false;
}

bool WINDOW::ReceiveChannels(BMessage* message)
{
    int row = 0;
    int32 index = 0;
    if (IsRangedCode(message->what, MSG_CHANNEL_PRESET, CHANNEL_ROW_RANGE, &row))
    {
        if (message->FindInt32("index", &index) == B_OK)
            channelsview->ChoosePreset(row, index);
        return true;
    }
    if (IsRangedCode(message->what, MSG_CHANNEL_LOCK, CHANNEL_ROW_RANGE, &row))
    {
        channelsview->ToggleLock(row);
        return true;
    }
    if (message->what == MSG_CHANNELS_LIST)
    {
        channelsview->ListPresets();
        return true;
    }
    if (message->what == MSG_CHANNEL_PORT)
    {
        if (message->FindInt32("index", &index) == B_OK)
            channelsview->ChoosePort(index);
        return true;
    }
    return false;
}

void WINDOW::MessageReceived(BMessage* message)
{
    if (ReceiveFiles(message) || ReceiveMainPage(message) || ReceiveOthers(message))
        return;
    BWindow::MessageReceived(message);
}
