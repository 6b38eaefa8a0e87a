#include "platform/interface/Alert.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/app/EventLoop.h"

namespace
{

// The next unused answer of HARMOLOOM_ALERT_ANSWERS: -1 for "no answer left", or an index that
// may be out of range for the alert at hand.
bool take_scripted_answer(int32* answer)
{
    static std::mutex mutex;
    static size_t position = 0;
    std::lock_guard<std::mutex> guard(mutex);

    const char* answers = std::getenv("HARMOLOOM_ALERT_ANSWERS");
    if (answers == nullptr)
        return false;
    std::string list(answers);
    while (position < list.size() && (list[position] == ',' || list[position] == ' '))
        position++;
    if (position >= list.size())
        return false;
    size_t end = list.find(',', position);
    if (end == std::string::npos)
        end = list.size();
    std::string entry = list.substr(position, end - position);
    position = end;
    char* rest = nullptr;
    long value = std::strtol(entry.c_str(), &rest, 10);
    *answer = (rest != entry.c_str() && value >= 0 && value <= 2) ? static_cast<int32>(value) : -1;
    return true;
}

const char* type_name(alert_type type)
{
    switch (type)
    {
    case B_STOP_ALERT:
        return "stop";
    case B_WARNING_ALERT:
        return "warning";
    case B_IDEA_ALERT:
        return "idea";
    case B_INFO_ALERT:
        return "info";
    default:
        return "plain";
    }
}

} // namespace

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1,
               const char* button2, button_width /*width*/, alert_type type)
    : title_(title != nullptr ? title : ""), text_(text != nullptr ? text : ""), button_count_(0),
      type_(type)
{
    const char* labels[3] = {button0, button1, button2};
    for (const char* label : labels)
    {
        if (label == nullptr)
            break;
        buttons_[button_count_++] = label;
    }
    if (button_count_ == 0)
        buttons_[button_count_++] = "OK";
}

int32 BAlert::Go()
{
    int32 last = button_count_ - 1;
    int32 answer = -1;
    const char* source = nullptr;
    if (take_scripted_answer(&answer))
    {
        source = "HARMOLOOM_ALERT_ANSWERS";
        if (answer < 0 || answer > last)
            answer = last;
    }
    else if (event_loop_has_display())
    {
        // The toolkit belongs to the window thread: the dialog is shown there, the caller waits.
        run_on_event_loop(
            [&] {
                answer =
                    run_alert_dialog(title_.c_str(), text_.c_str(), buttons_, button_count_, type_);
            },
            true);
    }
    else if (!event_loop_running() && display_available())
    {
        answer = run_alert_dialog(title_.c_str(), text_.c_str(), buttons_, button_count_, type_);
    }
    else
    {
        source = "no display";
        answer = last;
    }

    if (source != nullptr)
    {
        std::fprintf(stderr, "Alert \"%s\" (%s):\n%s\nButtons:", title_.c_str(), type_name(type_),
                     text_.c_str());
        for (int32 index = 0; index < button_count_; index++)
            std::fprintf(stderr, " [%d] \"%s\"", static_cast<int>(index), buttons_[index].c_str());
        std::fprintf(stderr, "\nAnswered [%d] \"%s\" (%s)\n", static_cast<int>(answer),
                     buttons_[answer].c_str(), source);
        std::fflush(stderr);
    }
    delete this;
    return answer;
}
