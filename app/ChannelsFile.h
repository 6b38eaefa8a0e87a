// The Channels page's choices between runs: each channel's lock and the preset last chosen for
// it from the page, in "Harmoloom Channels" beside the settings file, which stays as it is.
#pragma once

constexpr int CHANNEL_CHOICES = 32;

struct ChannelChoice
{
    bool locked = false;
    int bank = -1; // -1: no preset chosen, the channel keeps what it is given
    int program = -1;
};

// Every channel's choice; a missing or damaged file gives no locks and no chosen presets. Also
// clears away the copy a write killed at the wrong instant may have left beside the file.
void ReadChannelsFile(ChannelChoice (&choices)[CHANNEL_CHOICES]);
// Makes the settings folder where it is missing. False when the file could not be replaced (it
// is then as it was). Not real-time safe.
bool WriteChannelsFile(const ChannelChoice (&choices)[CHANNEL_CHOICES]);
