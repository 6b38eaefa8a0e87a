// Inside the kit: the toolkit's window that shows a BWindow. Only platform/ includes this.
//
// Window thread only.
#pragma once

#include <FL/Fl_Double_Window.H>

#include "platform/interface/private/KitWidget.h"

class BWindow;

namespace BPrivate
{

// The toolkit's window: keys, the wheel and drops become the window's messages. The widget of
// the window's top view goes into it.
class WindowWidget : public Fl_Double_Window, public ToolkitWidget
{
public:
    WindowWidget(BWindow* owner, int x, int y, int width, int height);

    // The window manager moved the window: the window's frame follows.
    void resize(int x, int y, int width, int height) override;
    int handle(int event) override;
    // Selects the tab step tabs on (negative: back) from the selected one, round the ends, in
    // the window's tab view; 0 when it has none.
    int SwitchTab(int step);

private:
    void Dropped(const char* text, int length);

    BWindow* owner_;
    bool awaiting_drop_ = false;
};

} // namespace BPrivate

// The toolkit offers a key to the control with the focus and its groups before the window,
// and they take the arrows to move the focus: from now on the scroll keys go to the window
// first. Not while a menu or a modal dialog has the input.
void kit_route_scroll_keys();
