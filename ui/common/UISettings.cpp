#include "ui/common/UISettings.h"

#include "engine/services/SavedOptions.h"

namespace {

const char* HistorySection(THistoryKind kind)
{
    switch (kind) {
    case THistoryKind::StartingAddress: return "StartingAddressHistory";
    case THistoryKind::SaveFolder: return "SaveFolderHistory";
    case THistoryKind::AgentName: return "AgentNameHistory";
    }
    return "";
}

}  // namespace

std::string UIDataFolder()
{
    return GetDataFolder();
}

int32_t ReadSettingInteger(const std::string& section, const std::string& key, int32_t def)
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options ? options->ReadInteger(section, key, def) : def;
}

bool WriteSettingInteger(const std::string& section, const std::string& key, int32_t value)
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options && options->WriteInteger(section, key, value);
}

bool ReadSettingBool(const std::string& section, const std::string& key, bool def)
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options ? options->ReadBool(section, key, def) : def;
}

bool WriteSettingBool(const std::string& section, const std::string& key, bool value)
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options && options->WriteBool(section, key, value);
}

std::string ReadSettingString(const std::string& section, const std::string& key, const std::string& def)
{
    std::string value = def;
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->ReadString(section, key, value, def);
    return value;
}

bool WriteSettingString(const std::string& section, const std::string& key, const std::string& value)
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options && options->WriteString(section, key, value);
}

bool HistoryEnabled()
{
    TSavedOptions* options = TSavedOptions::Instance();
    return options && options->GetEnableHistory();
}

std::vector<std::string> ReadHistory(THistoryKind kind)
{
    std::vector<std::string> list;
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->ReadHistory(HistorySection(kind), list);
    return list;
}

void AddToHistory(THistoryKind kind, const std::string& text)
{
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->AddToHistory(HistorySection(kind), text);
}

void EraseHistory(THistoryKind kind)
{
    if (TSavedOptions* options = TSavedOptions::Instance())
        options->ClearHistorySection(HistorySection(kind));
}

std::string LastJobFileName()
{
    return TSavedOptions::GetLastJobFileName();
}
