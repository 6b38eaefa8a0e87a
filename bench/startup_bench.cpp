// How long the program takes from its start to its window on the screen, and to the end of its
// start-up less the fixed 650 ms pause in it: the built program on an X server (Xvfb) and a JACK
// server of its own, with the default settings, started a few times. The end of the start-up is
// seen in the debug output, which is looked at every few milliseconds.
//
//   build/bench/startup_bench [runs]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/JackRig.h"
#include "tests/support/TestSupport.h"

namespace
{

using Clock = std::chrono::steady_clock;

// Whether a mapped top-level window has the title.
bool window_shown(Display* display, const char* title)
{
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0)
        return false;
    for (unsigned index = 0; index < count && !found; index++)
    {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(display, children[index], &attributes) != 0 &&
            attributes.map_state == IsViewable && XFetchName(display, children[index], &name) &&
            name != nullptr)
        {
            found = std::strcmp(name, title) == 0;
            XFree(name);
        }
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    VirtualDisplay screen;
    JackServer server(48000, 256);
    if (!screen.Running() || !server.Running())
    {
        std::fprintf(stderr, "Xvfb or jackd did not start\n");
        return 1;
    }
    Display* display = XOpenDisplay(screen.Name().c_str());
    if (display == nullptr)
        return 1;

    std::vector<double> to_window;
    std::vector<double> to_ready;
    for (int run = 0; run < runs; run++)
    {
        TemporaryFolder config;
        std::filesystem::create_directories(config.Path());
        std::map<std::string, std::string> environment = {{"XDG_CONFIG_HOME", config.Path()},
                                                          {"DISPLAY", screen.Name()},
                                                          {"HARMOLOOM_AUDIO", "jack"},
                                                          {"HARMOLOOM_MIDI", "jack"},
                                                          {"JACK_DEFAULT_SERVER", server.Name()}};
        auto start = Clock::now();
        BackgroundProcess program({HARMOLOOM_BINARY, "--debug"}, environment);
        double shown = -1;
        while (std::chrono::duration<double>(Clock::now() - start).count() < 20)
        {
            if (window_shown(display, "Harmoloom 1.1"))
            {
                shown = std::chrono::duration<double>(Clock::now() - start).count();
                break;
            }
            usleep(1000);
        }
        bool ready = program.WaitForOutput("DEBUG: End of application constructor", 20);
        double done = std::chrono::duration<double>(Clock::now() - start).count();
        program.Stop(SIGTERM, 20);
        if (shown < 0 || !ready)
        {
            std::fprintf(stderr, "run %d: the window did not show\n", run + 1);
            return 1;
        }
        to_window.push_back(shown);
        to_ready.push_back(done - 0.650);
        std::printf("run %d: window shown after %.0f ms; start-up done after %.0f ms + 650 ms\n",
                    run + 1, shown * 1e3, (done - 0.650) * 1e3);
    }
    std::printf("median: window shown after %.0f ms; start-up less the 650 ms pause %.0f ms\n",
                median(to_window) * 1e3, median(to_ready) * 1e3);
    XCloseDisplay(display);
    return 0;
}
