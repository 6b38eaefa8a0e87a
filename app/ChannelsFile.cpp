#include "app/ChannelsFile.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/FileReplacement.h"
#include "app/Settings.h"

namespace
{

const char kName[] = "Harmoloom Channels";
const char kFirstLine[] = "Harmoloom Channels 1\n";

// The settings file's folder, with its '/'; "" where that has no place.
std::string settings_folder()
{
    std::string settings = SettingsFilePath();
    size_t slash = settings.rfind('/');
    return slash == std::string::npos ? "" : settings.substr(0, slash + 1);
}

bool valid(const ChannelChoice& choice)
{
    bool none = choice.bank == -1 && choice.program == -1;
    return none || (choice.bank >= 0 && choice.bank <= 16383 && choice.program >= 0 &&
                    choice.program <= 127);
}

} // namespace

void ReadChannelsFile(ChannelChoice (&choices)[CHANNEL_CHOICES])
{
    ChannelChoice read[CHANNEL_CHOICES];
    std::string folder = settings_folder();
    if (folder.empty())
        return;
    RemoveStrayCopies(folder.c_str(), kName); // a write killed before its rename left them
    FILE* file = std::fopen((folder + kName).c_str(), "r");
    if (file == nullptr)
        return;
    char line[64] = {};
    bool whole =
        std::fgets(line, sizeof(line), file) != nullptr && std::strcmp(line, kFirstLine) == 0;
    for (int channel = 0; whole && channel < CHANNEL_CHOICES; channel++)
    {
        int number = -1, locked = -1;
        ChannelChoice& choice = read[channel];
        whole = std::fscanf(file, "%d %d %d %d\n", &number, &locked, &choice.bank,
                            &choice.program) == 4 &&
                number == channel + 1 && (locked == 0 || locked == 1) && valid(choice);
        choice.locked = locked == 1;
    }
    whole = whole && std::fgetc(file) == EOF;
    std::fclose(file);
    if (whole)
        std::memcpy(choices, read, sizeof(read));
}

bool WriteChannelsFile(const ChannelChoice (&choices)[CHANNEL_CHOICES])
{
    std::string path = settings_folder() + kName;
    if (!MakeSettingsFolder())
        return false;
    std::string text = kFirstLine;
    for (int channel = 0; channel < CHANNEL_CHOICES; channel++)
    {
        const ChannelChoice& choice = choices[channel];
        text += std::to_string(channel + 1) + " " + (choice.locked ? "1" : "0") + " " +
                std::to_string(choice.bank) + " " + std::to_string(choice.program) + "\n";
    }
    return ReplaceFileContents(path.c_str(), kName,
                               reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
