// alert: a dialog from the command line, for the crash handler, which can no longer show one
// of its own. alert [--empty|--info|--idea|--warning|--stop] text [button1 [button2 [button3]]]
// shows the text with the buttons ("OK" when none are given), prints the label of the pressed
// button and exits with its index.
#include <cstdio>
#include <cstring>

#include "platform/interface/Alert.h"

namespace
{

struct AlertType
{
    const char* option;
    alert_type type;
};

const AlertType kTypes[] = {
    {"--empty", B_EMPTY_ALERT},     {"--info", B_INFO_ALERT}, {"--idea", B_IDEA_ALERT},
    {"--warning", B_WARNING_ALERT}, {"--stop", B_STOP_ALERT},
};

} // namespace

int main(int argc, char** argv)
{
    int next = 1;
    alert_type type = B_INFO_ALERT;
    if (next < argc && std::strncmp(argv[next], "--", 2) == 0)
    {
        bool known = false;
        for (const AlertType& candidate : kTypes)
        {
            if (std::strcmp(argv[next], candidate.option) == 0)
            {
                type = candidate.type;
                known = true;
            }
        }
        if (!known)
        {
            std::fprintf(stderr, "alert: unknown option %s\n", argv[next]);
            return 2;
        }
        next++;
    }
    if (next >= argc)
    {
        std::fprintf(stderr, "usage: alert [--empty|--info|--idea|--warning|--stop] text "
                             "[button1 [button2 [button3]]]\n");
        return 2;
    }
    const char* text = argv[next++];
    const char* buttons[3] = {"OK", nullptr, nullptr};
    for (int index = 0; index < 3 && next < argc; index++)
        buttons[index] = argv[next++];

    int32 pressed =
        (new BAlert("alert", text, buttons[0], buttons[1], buttons[2], B_WIDTH_AS_USUAL, type))
            ->Go();
    if (pressed < 0 || pressed > 2 || buttons[pressed] == nullptr)
        pressed = 0;
    std::printf("%s\n", buttons[pressed]);
    return pressed;
}
