// The debug trace: every significant step announces itself here; with debug mode on the lines
// appear on standard output as "DEBUG: " and the message.
#pragma once

#include <string>

// A null message switches debug mode on (and says so). Otherwise, in debug mode, prints the
// message, with value in place of a "%d" in it. Any thread; writes only in debug mode.
void DEBUG_PRINT(const char* message, int value = 0);

// Whether debug mode is on. Any thread; real-time safe (reads a flag set before other threads).
bool DebugEnabled();

// A failure's reasons as the trace gives them ("jack: no server; alsa: no device; "), made into
// a line of an alert: without the last separator.
std::string FailureCause(const char* reasons);
