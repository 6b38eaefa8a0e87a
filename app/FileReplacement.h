// Replacing a small file so that nothing that happens meanwhile (a kill, a crash, a full disk, a
// power cut) leaves anything but the old contents or the new ones, and no copy beside them.
#pragma once

#include <cstddef>

// Writes size bytes of data into a new file in target's folder and renames it over target; the
// folder itself is synced afterwards. The new file has no name while it is written (O_TMPFILE):
// it gets one, "<folder>/<name>.XXXXXX", only for the instant before the rename. Where the file
// system refuses unnamed files it is made under that name at once (mkstemp). False when nothing
// was replaced; target is then as it was. Not real-time safe.
bool ReplaceFileContents(const char* target, const char* name, const unsigned char* data,
                         size_t size);

// Removes what a replacement killed at the wrong instant left in folder: this user's regular
// files named "<name>." and six letters or digits.
void RemoveStrayCopies(const char* folder, const char* name);
