#include "engine/job/PasswordFile.h"

#include "engine/job/Base64.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/DamagedFile.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"

#include <cerrno>
#include <exception>
#include <sys/stat.h>

const char* const kPasswordFileName = "up.ini";
const char* const kPasswordFileSection = "Security";

namespace {

const char* const kUnit = "PasswordFile";
constexpr mode_t kPasswordFileMode = 0600;

// Decodes a value; an invalid one gives empty and is logged by its key, never by its text.
bool DecodeValue(const std::string& text, std::string& result, const std::string& key)
{
    try {
        result = Base64ToStr(text);
        return true;
    } catch (const std::exception&) {
        result.clear();
        LogEvent(etException, "Invalid base64 in " + key, "SafeBase64ToStr", kUnit);
        return false;
    }
}

}  // namespace

std::string SiteToHostKey(const std::string& site)
{
    std::string key = AsciiLowerCase(site);
    std::string scheme;
    size_t schemeEnd = key.find("://");
    if (schemeEnd != std::string::npos) {
        scheme = key.substr(0, schemeEnd);
        key.erase(0, schemeEnd + 3);
    }
    const size_t pathStart = key.find_first_of("/?#");
    if (pathStart != std::string::npos)
        key.erase(pathStart);
    // User information never belongs to the key: it would show the password and never match a lookup.
    const size_t userInfoEnd = key.rfind('@');
    if (userInfoEnd != std::string::npos)
        key.erase(0, userInfoEnd + 1);
    // The download threads look sites up without the scheme's default port.
    static const std::pair<const char*, const char*> kDefaultPorts[] = {{"http", ":80"}, {"https", ":443"},
                                                                       {"ftp", ":21"}};
    for (const auto& [name, port] : kDefaultPorts) {
        const std::string suffix = port;
        if (scheme == name && key.size() > suffix.size() &&
            key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
            key.erase(key.size() - suffix.size());
    }
    return key;
}

std::string PasswordFileKey(const char* name, int index)
{
    return name + std::to_string(index);
}

bool ReadPasswordFile(const std::string& fileName, std::vector<TPasswordRec>& records, bool& whole)
{
    records.clear();
    whole = true;
    TIniFile ini;
    if (!ini.Load(fileName)) {
        whole = false;
        return false;
    }
    std::string countText;
    int64_t count = 0;
    if (ini.Find(kPasswordFileSection, "Count", countText)) {
        if (!TIniFile::ParseInteger(countText, count))
            whole = false;
    } else if (!ini.ToText().empty()) {
        whole = false;  // something, but not a password list
    }
    // Each entry has a key of its own: a count beyond the keys present has nothing to read.
    const int64_t keys = static_cast<int64_t>(ini.ReadSectionKeys(kPasswordFileSection).size());
    if (count > keys) {
        whole = false;
        count = keys;
    }
    for (int i = 0; i < count; ++i) {
        TPasswordRec rec;
        // Keys written before user information was dropped from them are read in today's form.
        rec.Host = SiteToHostKey(ini.ReadString(kPasswordFileSection, PasswordFileKey("Host", i), ""));
        const std::string userKey = PasswordFileKey("U", i);
        const std::string passwordKey = PasswordFileKey("P", i);
        bool decoded = DecodeValue(ini.ReadString(kPasswordFileSection, userKey, ""), rec.Username, userKey);
        decoded = DecodeValue(ini.ReadString(kPasswordFileSection, passwordKey, ""), rec.Password, passwordKey) &&
                  decoded;
        if (!decoded || rec.Host.empty() || rec.Username.empty() || rec.Password.empty()) {
            whole = false;
            continue;
        }
        records.push_back(std::move(rec));
    }
    return true;
}

bool LoadPasswordFileIntoStore(const std::string& fileName, TPasswordManager& store)
{
    std::vector<TPasswordRec> records;
    bool whole = false;
    if (!ReadPasswordFile(fileName, records, whole))
        return false;
    for (const TPasswordRec& rec : records)
        whole = store.PutPassword(rec) && whole;
    return whole;
}

bool WritePasswordFile(const std::string& fileName, const std::vector<TPasswordRec>& records)
{
    TFileLock lock(fileName);
    TIniFile ini;
    if (!ini.Load(fileName))
        return false;
    const int count = static_cast<int>(records.size());
    ini.WriteInteger(kPasswordFileSection, "Count", count);
    for (int i = 0; i < count; ++i) {
        const TPasswordRec& rec = records[static_cast<size_t>(i)];
        ini.WriteString(kPasswordFileSection, PasswordFileKey("Host", i), rec.Host);
        ini.WriteString(kPasswordFileSection, PasswordFileKey("U", i), StrToBase64(rec.Username));
        ini.WriteString(kPasswordFileSection, PasswordFileKey("P", i), StrToBase64(rec.Password));
    }
    for (int i = count; i < TPasswordManager::MaxPasswords; ++i)
        for (const char* name : {"Host", "U", "P"})
            ini.DeleteKey(kPasswordFileSection, PasswordFileKey(name, i));
    return ini.SaveTo(fileName, kPasswordFileMode);
}

bool KeepUnreadPasswordFile(const std::string& fileName, std::string& kept)
{
    kept.clear();
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 && errno == ENOENT)
        return true;
    kept = MoveAside(fileName, ".bak", "SavePasswords");
    return !kept.empty();
}
