#include "ui/UISettings.h"

#include "engine/AppTraceLog.h"
#include "engine/ThreadSafeFileOps.h"
#include "platform/IniFile.h"

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
