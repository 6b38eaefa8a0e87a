// The alert as a person sees it: a real window on a real (virtual) X server, answered with the
// keyboard.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace
{

class AlertDialog : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(display.Running()) << "Xvfb could not be started"; }

    // Shows an alert in a process of its own, types keys into it, and returns the answer.
    int Answer(const std::string& title, const std::vector<std::string>& buttons,
               const std::vector<std::string>& keys)
    {
        std::vector<std::string> arguments = {ALERT_PROBE, title, "Something happened."};
        arguments.insert(arguments.end(), buttons.begin(), buttons.end());
        BackgroundProcess alert(arguments,
                                {{"DISPLAY", display.Name()}, {"HARMOLOOM_ALERT_ANSWERS", ""}});
        // Focus goes to the alert once it is mapped; there is no window manager to give it.
        ProcessResult found = RunProcess({"/usr/bin/xdotool", "search", "--sync", "--onlyvisible",
                                          "--name", "^" + title + "$", "windowfocus"},
                                         {{"DISPLAY", display.Name()}}, 20);
        EXPECT_EQ(found.exit_status, 0) << found.errors;
        // Grouped by docks with the program's other windows, under its desktop entry.
        EXPECT_EQ(RunProcess({"/usr/bin/xprop", "-notype", "-name", title, "WM_CLASS"},
                             {{"DISPLAY", display.Name()}}, 20)
                      .output,
                  "WM_CLASS = \"harmoloom\", \"Harmoloom\"\n");
        usleep(100000);
        // Typed as from the keyboard, at whatever has the focus.
        std::vector<std::string> command = {"/usr/bin/xdotool", "key", "--delay", "50"};
        command.insert(command.end(), keys.begin(), keys.end());
        ProcessResult typed = RunProcess(command, {{"DISPLAY", display.Name()}}, 20);
        EXPECT_EQ(typed.exit_status, 0) << typed.errors;
        ProcessResult result = alert.Stop(0, 20); // signal 0: just wait for it
        EXPECT_EQ(result.errors, "") << "a shown alert writes nothing";
        return result.exit_status;
    }

    VirtualDisplay display;
};

TEST_F(AlertDialog, ReturnChoosesTheLastButton)
{
    EXPECT_EQ(
        Answer("noload", {"Exit application", "Try again", "Continue without them"}, {"Return"}),
        2);
    EXPECT_EQ(Answer("failed", {"Restore to defaults", "OK"}, {"Return"}), 1)
        << "never the destructive first button";
}

TEST_F(AlertDialog, EscapeTakesTheLastButtonToo)
{
    EXPECT_EQ(Answer("failed", {"Restore to defaults", "OK"}, {"Escape"}), 1);
}

TEST_F(AlertDialog, ButtonsAreNumberedFromTheLeft)
{
    EXPECT_EQ(
        Answer("noload", {"Exit application", "Try again", "Continue without them"}, {"space"}), 0);
    EXPECT_EQ(Answer("noload", {"Exit application", "Try again", "Continue without them"},
                     {"Tab", "space"}),
              1);
}

} // namespace
