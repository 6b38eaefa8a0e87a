#include "platform/storage/FilePanel.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/app/EventLoop.h"
#include "platform/interface/Window.h"
#include "platform/storage/Entry.h"

namespace
{

// The next scripted answer, or false when there is none.
bool take_scripted_answer(std::string* path)
{
    static std::mutex mutex;
    static size_t position = 0;
    std::lock_guard<std::mutex> hold(mutex);
    const char* answers = std::getenv("HARMOLOOM_FILE_PANEL_ANSWERS");
    if (answers == nullptr)
        return false;
    std::string list(answers);
    if (position > list.size())
        return false;
    size_t end = list.find('\n', position);
    if (end == std::string::npos)
        end = list.size();
    *path = list.substr(position, end - position);
    position = end + 1;
    return true;
}

// The folder a panel opens in when it has not been used yet.
std::string home_folder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    struct passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/";
}

} // namespace

BFilePanel::BFilePanel(file_panel_mode, BWindow* target, const entry_ref*, uint32, bool,
                       BMessage* message, void*, bool, bool)
    : target_(target), message_(message)
{
}

BFilePanel::~BFilePanel() = default;

void BFilePanel::SetMessage(BMessage* message)
{
    message_ = std::make_unique<BMessage>(message != nullptr ? *message : BMessage());
}

void BFilePanel::Show()
{
    BWindow* target = target_;
    BMessage reply = message_ != nullptr ? *message_ : BMessage();
    std::shared_ptr<std::string> folder = folder_;
    run_on_event_loop(
        [target, reply, folder]() mutable
        {
            std::string path;
            if (!take_scripted_answer(&path))
            {
                if (!event_loop_has_display())
                    return;
                Fl_Native_File_Chooser chooser;
                chooser.title("Add Soundfont or wave file");
                chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
                if (folder->empty())
                    *folder = home_folder();
                chooser.directory(folder->c_str());
                if (chooser.show() != 0 || chooser.filename() == nullptr)
                    return;
                path = chooser.filename();
                size_t slash = path.rfind('/');
                if (slash != std::string::npos)
                    *folder = path.substr(0, slash + 1);
            }
            if (path.empty() || target == nullptr)
                return;
            entry_ref ref(path);
            reply.AddRef("refs", &ref);
            target->PostMessage(&reply);
        },
        false);
}
