#include "ui/StatusWindow.h"

#include "app/WindowPlacement.h"
#include "ui/Window.h"

BWindow* statuswindow = nullptr;
BView* statusview = nullptr;
BStringView* statusstring = nullptr;

BRect StatusWindowFrame(BRect main_window_frame)
{
    BRect frame = main_window_frame;
    frame.InsetBy(50, 125);
    return frame;
}

void OpenStatusWindow()
{
    if (statuswindow != nullptr)
        return;
    BRect reference;
    if (WINDOW* window = app_window.load())
    {
        reference = window->Frame();
    }
    else
    {
        // At start-up: the position as stored, before it is kept on the screen.
        reference = MainWindowFrame();
    }
    statuswindow = new BWindow(
        StatusWindowFrame(reference), "Loading", B_MODAL_WINDOW,
        B_NOT_RESIZABLE | B_NOT_ZOOMABLE | B_NOT_CLOSABLE | B_NOT_MINIMIZABLE, B_CURRENT_WORKSPACE);
    statusview = new BView(statuswindow->Bounds(), "ProgressView", B_FOLLOW_ALL, B_WILL_DRAW);
    statusview->SetViewColor(216, 216, 216, 255);
    statusstring = new BStringView(BRect(0, 0, 280, 31), "string", "Loading sample data...",
                                   B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
    statusstring->SetAlignment(B_ALIGN_CENTER);
    statusstring->SetFont(be_bold_font, B_FONT_ALL);
    statusview->AddChild(statusstring);
    statuswindow->AddChild(statusview);
    statuswindow->Show();
}

void CloseStatusWindow()
{
    if (statuswindow == nullptr)
        return;
    statuswindow->Lock();
    statuswindow->RemoveChild(statusview);
    statuswindow->Quit();
    statusview->RemoveChild(statusstring);
    delete statusview;
    delete statusstring;
    statuswindow = nullptr;
}
