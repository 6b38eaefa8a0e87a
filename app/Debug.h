// The debug trace: every significant step announces itself here; with debug mode on the lines
// appear on standard output as "DEBUG: " and the message.
#pragma once

// A null message switches debug mode on (and says so). Otherwise, in debug mode, prints the
// message, with value in place of a "%d" in it. Any thread; writes only in debug mode.
void DEBUG_PRINT(const char* message, int value = 0);

// Whether debug mode is on. Any thread; real-time safe (reads a flag set before other threads).
bool DebugEnabled();
