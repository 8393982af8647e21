#include "engine/job/DownloadOptionTypes.h"

#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <exception>

namespace {

const char kOptionsSection[] = "DownloadOptions";
const char kCookiesSection[] = "Cookies";

// Calls fn for every line ended by a break: CR LF, or a lone LF or CR, since the file cannot
// hold either inside a value. Text after the last break is not a line.
template <class Fn>
void ForEachEndedLine(const std::string& text, Fn&& fn)
{
    size_t start = 0;
    for (;;) {
        size_t brk = text.find_first_of("\r\n", start);
        if (brk == std::string::npos)
            return;
        fn(text.substr(start, brk - start));
        start = brk + (text.compare(brk, 2, "\r\n") == 0 ? 2 : 1);
    }
}

// A stored count bounded by the keys the section really holds, so an absurd count cannot make
// the reader loop or grow beyond the size of the file.
int64_t BoundedCount(const TIniFile& ini, const std::string& section, const std::string& key, int64_t maxCount)
{
    int64_t n = std::clamp<int64_t>(ini.ReadInt64(section, key, 0), 0, maxCount);
    if (n > 0)
        n = std::min<int64_t>(n, static_cast<int64_t>(ini.ReadSectionKeys(section).size()));
    return n;
}

}  // namespace

void TCopyJobDownloadOptions::Clear()
{
    HTTPAgentName.clear();
    AllowCookies = true;
    UpdateOldFiles = false;
    AllowAuthentication = true;
    ConnectRetries = 3;
    Timeout = 60000;
    WriteToIECache = false;
    UsePassiveFTP = false;
    HTTPHeaders.clear();
    AddFileExtensions = true;
    UseReferrer = true;
    CustomHTMLHeader.clear();
    CustomHTMLFooter.clear();
    FindReplaceTasks.Count = 0;
    Cookies.Count = 0;
    MaxSimultaneousDownloads = 4;
    ApplyParsingFilter = true;
}

bool TCopyJobDownloadOptions::ReadFromIni(const TIniFile& ini)
{
    try {
        TCopyJobDownloadOptions o(*this);
        o.HTTPAgentName = ini.ReadString(kOptionsSection, "HTTPAgentName", "");
        o.AllowCookies = ini.ReadBool(kOptionsSection, "AllowCookies", true);
        o.UpdateOldFiles = ini.ReadBool(kOptionsSection, "UpdateOldFiles", false);
        o.AllowAuthentication = ini.ReadBool(kOptionsSection, "AllowAuthentication", true);
        o.HTTPHeaders = ReadMultilineValue(ini, "HTTPHeaders", true);
        o.ConnectRetries = ini.ReadInteger(kOptionsSection, "ConnectRetries", 3);
        o.Timeout = ini.ReadInteger(kOptionsSection, "Timeout", 60000);
        o.WriteToIECache = ini.ReadBool(kOptionsSection, "WriteToIECache", false);
        o.UsePassiveFTP = ini.ReadBool(kOptionsSection, "UsePassiveFTP", false);
        o.AddFileExtensions = ini.ReadBool(kOptionsSection, "AddFileExtensions", true);
        o.UseReferrer = ini.ReadBool(kOptionsSection, "UseReferrer", true);
        o.CustomHTMLHeader = ReadMultilineValue(ini, "CustomHTMLHeader", false);
        o.CustomHTMLFooter = ReadMultilineValue(ini, "CustomHTMLFooter", false);
        ReadFindReplaceTasks(ini, "FindReplace", o.FindReplaceTasks);
        ReadCookies(ini, o.Cookies);
        o.MaxSimultaneousDownloads = ini.ReadInteger(kOptionsSection, "MaxSimultaneousDownloads", 4);
        o.ApplyParsingFilter = ini.ReadBool(kOptionsSection, "ApplyParsingFilter", true);
        *this = std::move(o);
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ReadFromJobFile", "DownloadOptionTypes");
        return false;
    }
}

void TCopyJobDownloadOptions::WriteToIni(TIniFile& ini) const
{
    ini.WriteString(kOptionsSection, "HTTPAgentName", HTTPAgentName);
    ini.WriteBool(kOptionsSection, "AllowCookies", AllowCookies);
    ini.WriteBool(kOptionsSection, "UpdateOldFiles", UpdateOldFiles);
    ini.WriteBool(kOptionsSection, "AllowAuthentication", AllowAuthentication);
    WriteMultilineValue(ini, "HTTPHeaders", HTTPHeaders, true);
    ini.WriteInteger(kOptionsSection, "ConnectRetries", ConnectRetries);
    ini.WriteInteger(kOptionsSection, "Timeout", Timeout);
    ini.WriteBool(kOptionsSection, "WriteToIECache", WriteToIECache);
    ini.WriteBool(kOptionsSection, "UsePassiveFTP", UsePassiveFTP);
    ini.WriteBool(kOptionsSection, "AddFileExtensions", AddFileExtensions);
    ini.WriteBool(kOptionsSection, "UseReferrer", UseReferrer);
    WriteMultilineValue(ini, "CustomHTMLHeader", CustomHTMLHeader, false);
    WriteMultilineValue(ini, "CustomHTMLFooter", CustomHTMLFooter, false);
    WriteFindReplaceTasks(ini, "FindReplace", FindReplaceTasks);
    WriteCookies(ini, Cookies);
    ini.WriteInteger(kOptionsSection, "MaxSimultaneousDownloads", MaxSimultaneousDownloads);
    ini.WriteBool(kOptionsSection, "ApplyParsingFilter", ApplyParsingFilter);
}

bool LoadJobFile(const std::string& fileName, TIniFile& ini)
{
    try {
        return ini.Load(fileName);
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "LoadJobFile", "DownloadOptionTypes");
        return false;
    }
}

bool TCopyJobDownloadOptions::ReadFromJobFile(const std::string& fileName)
{
    TIniFile ini;
    return LoadJobFile(fileName, ini) && ReadFromIni(ini);
}

bool TCopyJobDownloadOptions::WriteToJobFile(const std::string& fileName) const
{
    try {
        TIniFile ini;
        if (!LoadJobFile(fileName, ini))
            return false;
        WriteToIni(ini);
        return ini.SaveTo(fileName, JobFileMode(ini));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "WriteToJobFile", "DownloadOptionTypes");
        return false;
    }
}

TDownloadOptions::TDownloadOptions()
{
    HTTPProxy.UseProxyServer = true;
    FTPProxy.UseProxyServer = true;
}

std::string ReadMultilineValue(const TIniFile& ini, const std::string& section, bool skipEmpty)
{
    std::string result;
    bool first = true;
    const int64_t n = BoundedCount(ini, section, "LineCount", INT32_MAX);
    for (int64_t i = 0; i < n; ++i) {
        std::string line = ini.ReadString(section, "Line" + std::to_string(i), "");
        // A file cannot hold NUL bytes in a value: read as they would be written back.
        std::erase(line, '\0');
        if (line.empty() && skipEmpty)
            continue;
        if (!first)
            result += "\r\n";
        first = false;
        result += line;
    }
    return result;
}

void WriteMultilineValue(TIniFile& ini, const std::string& section, const std::string& text, bool skipEmpty)
{
    int64_t count = 0;
    ForEachEndedLine(text + "\r\n", [&](std::string line) {
        std::erase(line, '\0');  // never stored: a line of them alone is an empty line
        if (!line.empty() || !skipEmpty)
            ini.WriteString(section, "Line" + std::to_string(count++), line);
    });
    ini.WriteInteger(section, "LineCount", count);
}

void ReadFindReplaceTasks(const TIniFile& ini, const std::string& section, TFindReplaceTasks& tasks)
{
    const int64_t n = BoundedCount(ini, section, "TaskCount", kMaxFindReplaceTasks);
    tasks.Count = 0;
    for (int64_t i = 0; i < n; ++i) {
        const std::string num = std::to_string(i);
        TFindReplaceTask& t = tasks.Tasks[static_cast<size_t>(tasks.Count)];
        t.FindString = ini.ReadString(section, "FindString" + num, "");
        t.ReplaceString = ini.ReadString(section, "ReplaceString" + num, "");
        t.Flags = 0;
        if (ini.ReadBool(section, "ReplaceAll" + num, false))
            t.Flags |= rfReplaceAll;
        if (ini.ReadBool(section, "IgnoreCase" + num, false))
            t.Flags |= rfIgnoreCase;
        t.WholeWordsOnly = ini.ReadBool(section, "WholeWordsOnly" + num, false);
        if (!t.FindString.empty() && !t.ReplaceString.empty())
            ++tasks.Count;
    }
}

void WriteFindReplaceTasks(TIniFile& ini, const std::string& section, const TFindReplaceTasks& tasks)
{
    const int32_t count = std::clamp<int32_t>(tasks.Count, 0, static_cast<int32_t>(tasks.Tasks.size()));
    ini.WriteInteger(section, "TaskCount", count);
    for (int32_t i = 0; i < count; ++i) {
        const std::string num = std::to_string(i);
        const TFindReplaceTask& t = tasks.Tasks[static_cast<size_t>(i)];
        ini.WriteString(section, "FindString" + num, t.FindString);
        ini.WriteString(section, "ReplaceString" + num, t.ReplaceString);
        ini.WriteBool(section, "ReplaceAll" + num, (t.Flags & rfReplaceAll) != 0);
        ini.WriteBool(section, "IgnoreCase" + num, (t.Flags & rfIgnoreCase) != 0);
        ini.WriteBool(section, "WholeWordsOnly" + num, t.WholeWordsOnly);
    }
}

void ReadCookies(const TIniFile& ini, TCookies& cookies)
{
    const int64_t n = BoundedCount(ini, kCookiesSection, "CookieCount", kMaxCookies);
    cookies.Count = 0;
    for (int64_t i = 0; i < n; ++i) {
        const std::string num = std::to_string(i);
        TCookie& c = cookies.Cookies[static_cast<size_t>(cookies.Count)];
        c.URL = ini.ReadString(kCookiesSection, "CookieURL" + num, "");
        c.Name = ini.ReadString(kCookiesSection, "CookieName" + num, "");
        c.Data = ini.ReadString(kCookiesSection, "CookieData" + num, "");
        if (!c.URL.empty())
            ++cookies.Count;
    }
}

void WriteCookies(TIniFile& ini, const TCookies& cookies)
{
    const int32_t count = std::clamp<int32_t>(cookies.Count, 0, static_cast<int32_t>(cookies.Cookies.size()));
    ini.WriteInteger(kCookiesSection, "CookieCount", count);
    for (int32_t i = 0; i < count; ++i) {
        const std::string num = std::to_string(i);
        const TCookie& c = cookies.Cookies[static_cast<size_t>(i)];
        ini.WriteString(kCookiesSection, "CookieURL" + num, c.URL);
        ini.WriteString(kCookiesSection, "CookieName" + num, c.Name);
        ini.WriteString(kCookiesSection, "CookieData" + num, c.Data);
    }
}

mode_t JobFileMode(const TIniFile& ini)
{
    // Start-address credentials and cookie values are both secrets.
    const bool credentials = ini.ValueExists("Start", "SU") || ini.ValueExists("Start", "SP") ||
                             ini.ReadInteger("Cookies", "CookieCount", 0) > 0;
    return credentials ? 0600 : 0644;
}
