// The open-file panel: the user chooses a file, and the panel's message goes to its target
// window with the choice in "refs".
//
// Panels can be answered without a person: when HARMOLOOM_FILE_PANEL_ANSWERS holds a list of
// paths separated by newlines, successive panels take them in order (an empty one cancels).
//
// A panel opens in the folder of the file last chosen in it, at first in the user's home folder:
// the program's working folder is its own installation folder, no place for the user's files.
#pragma once

#include <memory>
#include <string>

#include "platform/app/Message.h"

class BWindow;

enum file_panel_mode
{
    B_OPEN_PANEL,
};

enum : uint32
{
    B_FILE_NODE = 1,
};

class BFilePanel
{
public:
    // Takes ownership of the message.
    BFilePanel(file_panel_mode mode, BWindow* target, const entry_ref* directory = nullptr,
               uint32 nodeFlavors = B_FILE_NODE, bool allowMultipleSelection = false,
               BMessage* message = nullptr, void* refFilter = nullptr, bool modal = false,
               bool hideWhenDone = true);
    ~BFilePanel();

    // A copy of the message is kept.
    void SetMessage(BMessage* message);
    // Shows the panel; on the window thread, or handed to it.
    void Show();

private:
    BWindow* target_;
    std::unique_ptr<BMessage> message_;
    // Shared with the work Show hands to the window thread, which alone reads and writes it.
    std::shared_ptr<std::string> folder_ = std::make_shared<std::string>();
};
