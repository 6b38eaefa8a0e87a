// Keeps alsa-lib's own error lines ("ALSA lib confmisc.c...") off standard error while it lives:
// a back end that is only tried, and refused, is no error to print; the caller says why itself.
#pragma once

class QuietAlsa
{
public:
    QuietAlsa();
    ~QuietAlsa();
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;
};
