// Settings files as the program reads and writes them: the 19 fields, then 128 slots, each a
// bank and a path. Tests write them before a start and read them after the end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using SlotList = std::map<int, std::pair<int32_t, std::string>>;

// The factory settings' fields, as the program sets them (into its own tables too).
std::vector<int32_t> DefaultSettings();

std::string SettingsFile(const std::vector<int32_t>& fields, const SlotList& slots = {});
// The fields of a file (empty when it is too short) and its occupied slots.
std::vector<int32_t> SettingsFields(const std::string& file);
SlotList SettingsSlots(const std::string& file);
