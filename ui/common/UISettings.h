#pragma once
// The windows' access to the settings store: each a no-op giving the default while the store
// does not exist (a window built by a test without one).
#include <cstdint>
#include <string>
#include <vector>

int32_t ReadSettingInteger(const std::string& section, const std::string& key, int32_t def);
bool WriteSettingInteger(const std::string& section, const std::string& key, int32_t value);
bool ReadSettingBool(const std::string& section, const std::string& key, bool def);
bool WriteSettingBool(const std::string& section, const std::string& key, bool value);
std::string ReadSettingString(const std::string& section, const std::string& key, const std::string& def);
bool WriteSettingString(const std::string& section, const std::string& key, const std::string& value);

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
// "LastJob.GCJ" in the data folder.
std::string LastJobFileName();
