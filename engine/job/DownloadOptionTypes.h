#pragma once
// A job's download options and the records they hold (proxies, cookies, find/replace tasks),
// with their job-file sections.
#include <array>
#include <cstdint>
#include <string>
#include <sys/types.h>

class TIniFile;

// One proxy setting, filled from the proxy preference pages.
struct TProxyServerInfo {
    bool UseProxyServer = false;
    std::string Address;
    int32_t Port = 0;
    std::string Username;
    std::string Password;
    std::string BypassList;  // handed to the session opener; nothing fills it
};

constexpr int32_t kMaxFindReplaceTasks = 19;  // slots used of the 20 in the array
constexpr int32_t kMaxCookies = 19;

// Flag bits of TFindReplaceTask::Flags.
constexpr uint8_t rfReplaceAll = 0x01;
constexpr uint8_t rfIgnoreCase = 0x02;

struct TFindReplaceTask {
    std::string FindString;
    std::string ReplaceString;
    uint8_t Flags = 0;
    bool WholeWordsOnly = false;
};

struct TFindReplaceTasks {
    std::array<TFindReplaceTask, 20> Tasks{};
    int32_t Count = 0;
};

struct TCookie {
    std::string URL;
    std::string Name;
    std::string Data;
};

struct TCookies {
    std::array<TCookie, 20> Cookies{};
    int32_t Count = 0;
};

class TCopyJobDownloadOptions {
public:
    TCopyJobDownloadOptions() { Clear(); }

    void Clear();
    void Assign(const TCopyJobDownloadOptions& source) { *this = source; }

    // Each opens the job file itself; False on any failure (the options are then unchanged
    // by a read, and the file by a write).
    bool ReadFromJobFile(const std::string& fileName);
    bool WriteToJobFile(const std::string& fileName) const;
    // The same on a document already in memory.
    bool ReadFromIni(const TIniFile& ini);
    void WriteToIni(TIniFile& ini) const;

    std::string HTTPAgentName;
    bool AllowCookies = true;
    bool UpdateOldFiles = false;
    bool AllowAuthentication = true;
    int32_t ConnectRetries = 3;
    int32_t Timeout = 60000;  // milliseconds
    bool WriteToIECache = false;
    bool UsePassiveFTP = false;
    std::string HTTPHeaders;  // extra request header lines, CR LF separated
    bool AddFileExtensions = true;
    bool UseReferrer = true;
    std::string CustomHTMLHeader;
    std::string CustomHTMLFooter;
    TFindReplaceTasks FindReplaceTasks;
    TCookies Cookies;
    int32_t MaxSimultaneousDownloads = 4;
    bool ApplyParsingFilter = true;
};

// What a download thread works with: both proxies and the job's download options.
class TDownloadOptions {
public:
    TDownloadOptions();
    void Assign(const TDownloadOptions& source) { *this = source; }

    TProxyServerInfo HTTPProxy;
    TProxyServerInfo FTPProxy;
    TCopyJobDownloadOptions JobOptions;
};

// A text kept as a section of numbered lines: "LineCount" and "Line0", "Line1", ...
std::string ReadMultilineValue(const TIniFile& ini, const std::string& section, bool skipEmpty);
void WriteMultilineValue(TIniFile& ini, const std::string& section, const std::string& text, bool skipEmpty);

void ReadFindReplaceTasks(const TIniFile& ini, const std::string& section, TFindReplaceTasks& tasks);
void WriteFindReplaceTasks(TIniFile& ini, const std::string& section, const TFindReplaceTasks& tasks);
void ReadCookies(const TIniFile& ini, TCookies& cookies);
void WriteCookies(TIniFile& ini, const TCookies& cookies);

// Reads a job file into ini (a missing file gives an empty document); False when it cannot
// be read.
bool LoadJobFile(const std::string& fileName, TIniFile& ini);

// File mode for a job file with this content: 0600 when it holds start-address credentials.
mode_t JobFileMode(const TIniFile& ini);
