#pragma once
// Typed access to the settings file for the windows, and the data folder.
#include <cstdint>
#include <string>
#include <vector>

int32_t ReadSettingInteger(const std::string& section, const std::string& key, int32_t def);
bool WriteSettingInteger(const std::string& section, const std::string& key, int32_t value);
bool ReadSettingBool(const std::string& section, const std::string& key, bool def);
bool WriteSettingBool(const std::string& section, const std::string& key, bool value);

// The data folder, ending with "/".
std::string UIDataFolder();

// The drop-down histories of the job editor, most recent first.
enum class THistoryKind { StartingAddress, SaveFolder, AgentName };
bool HistoryEnabled();
// Empty when history is off.
std::vector<std::string> ReadHistory(THistoryKind kind);
// Trims text; a blank text, or history off, changes nothing.
void AddToHistory(THistoryKind kind, const std::string& text);
void EraseHistory(THistoryKind kind);
// Puts a non-blank text first in list, removing an earlier entry equal to it in any letter case.
void MoveToTopOfList(const std::string& text, std::vector<std::string>& list);
// "LastJob.GCJ" in the data folder.
std::string LastJobFileName();
