#include "ui/UISettings.h"

#include "engine/AppTraceLog.h"
#include "engine/ThreadSafeFileOps.h"
#include "platform/IniFile.h"

#include <QString>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string SettingsPath()
{
    return UIDataFolder() + "Gleanery.INI";
}

}  // namespace

std::string UIDataFolder()
{
    static const std::string folder = [] {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* home = std::getenv("HOME");
        std::string base = xdg && *xdg ? std::string(xdg) : home && *home ? std::string(home) + "/.local/share" : "";
        if (!base.empty() && SafeForceDirectories(base + "/Gleanery"))
            return base + "/Gleanery/";
        const char* tmp = std::getenv("TMPDIR");
        std::string t = (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/gleanery-" + std::to_string(getuid());
        SafeForceDirectories(t);
        return t + "/";
    }();
    return folder;
}

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

std::string Trimmed(const std::string& text)
{
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

int32_t MaxHistoryLength()
{
    return ReadSettingInteger("Options", "MaxHistoryLength", 8);
}

}  // namespace

bool HistoryEnabled()
{
    return ReadSettingBool("Options", "EnableHistory", true);
}

std::vector<std::string> ReadHistory(THistoryKind kind)
{
    std::vector<std::string> list;
    if (!HistoryEnabled())
        return list;
    TIniFile ini(SettingsPath());
    int32_t count = ini.ReadInteger(HistorySection(kind), "Count", 0);
    int32_t max = MaxHistoryLength();
    for (int32_t i = 0; i < count && static_cast<int32_t>(list.size()) < max; ++i)
        list.push_back(Trimmed(ini.ReadString(HistorySection(kind), "Item" + std::to_string(i), "")));
    return list;
}

void AddToHistory(THistoryKind kind, const std::string& text)
{
    std::string entry = Trimmed(text);
    if (!HistoryEnabled() || entry.empty())
        return;
    std::vector<std::string> list = ReadHistory(kind);
    MoveToTopOfList(entry, list);
    size_t max = static_cast<size_t>(std::max<int32_t>(MaxHistoryLength(), 1));
    if (list.size() > max)
        list.resize(max);
    TIniFile ini(SettingsPath());
    ini.WriteInteger(HistorySection(kind), "Count", static_cast<int64_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i)
        ini.WriteString(HistorySection(kind), "Item" + std::to_string(i), list[i]);
    ini.UpdateFile();
}

void EraseHistory(THistoryKind kind)
{
    TIniFile ini(SettingsPath());
    ini.EraseSection(HistorySection(kind));
    ini.UpdateFile();
}

void MoveToTopOfList(const std::string& text, std::vector<std::string>& list)
{
    if (Trimmed(text).empty())
        return;
    QString wanted = QString::fromStdString(text);
    for (auto it = list.begin(); it != list.end(); ++it)
        if (QString::fromStdString(*it).compare(wanted, Qt::CaseInsensitive) == 0) {
            list.erase(it);
            break;
        }
    list.insert(list.begin(), text);
}

std::string LastJobFileName()
{
    return UIDataFolder() + "LastJob.GCJ";
}

int32_t ReadSettingInteger(const std::string& section, const std::string& key, int32_t def)
{
    TIniFile ini(SettingsPath());
    return ini.ReadInteger(section, key, def);
}

bool WriteSettingInteger(const std::string& section, const std::string& key, int32_t value)
{
    TIniFile ini(SettingsPath());
    ini.WriteInteger(section, key, value);
    return ini.UpdateFile();
}

bool ReadSettingBool(const std::string& section, const std::string& key, bool def)
{
    TIniFile ini(SettingsPath());
    return ini.ReadBool(section, key, def);
}

bool WriteSettingBool(const std::string& section, const std::string& key, bool value)
{
    TIniFile ini(SettingsPath());
    ini.WriteBool(section, key, value);
    return ini.UpdateFile();
}
