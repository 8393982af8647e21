#pragma once
// Typed access to the settings file for the windows, and the data folder.
#include <cstdint>
#include <string>

int32_t ReadSettingInteger(const std::string& section, const std::string& key, int32_t def);
bool WriteSettingInteger(const std::string& section, const std::string& key, int32_t value);
bool ReadSettingBool(const std::string& section, const std::string& key, bool def);
bool WriteSettingBool(const std::string& section, const std::string& key, bool value);

// The data folder, ending with "/".
std::string UIDataFolder();
