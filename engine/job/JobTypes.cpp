#include "engine/job/JobTypes.h"

#include "engine/services/AppTraceLog.h"
#include "engine/job/Base64.h"
#include "engine/job/CSVMaskList.h"
#include "engine/services/LanguageStrings.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <sys/stat.h>
#include <string_view>
#include <vector>

namespace {

const char kFileInfo[] = "FileInfo";
const char kStart[] = "Start";
const char kLocation[] = "LocationRestrictions";
const char kAddress[] = "AddressRestrictions";
const char kCountAndSize[] = "FileCountAndSize";
const char kExtensions[] = "FileExtensions";
const char kMimeTypes[] = "MimeTypes";
const char kHostnames[] = "Hostnames";
const char kAdditional[] = "AdditionalOptions";

constexpr size_t kMaxTypeListValue = 64;
constexpr size_t kMaxTypeListMembers = 64;

std::string JoinList(const std::vector<std::string>& members, const char* separator)
{
    std::string out;
    for (const std::string& m : members) {
        if (!out.empty())
            out += separator;
        out += m;
    }
    return out;
}

// A text of the current language made fit to be a file name in one folder.
std::string FileTitle(int stringId)
{
    const TLocalLanguages* languages = TLocalLanguages::Instance();
    std::string title = languages ? languages->GetString(stringId, -1, false) : GetDefaultString(stringId);
    std::replace(title.begin(), title.end(), '/', '_');
    return title;
}

}  // namespace

TCopyJob::TCopyJob() = default;

void TCopyJob::Clear()
{
    DestinationSubfolder.clear();
    JobName.clear();
    RecreateFolderStructure = true;
    FlattenDestinationFolders = false;
    RewriteLinks = true;
    RestrictLocation = 1;
    RestrictLocationOfWebPagesOnly = true;
    MaxDistance = 8;
    AddressStringsPurpose = lpUnused;
    MaxFileCount = -1;
    MinFileSize = -1;
    MaxFileSize = -1;
    MaxJobDownloadSize = -1;
    ExtensionsPurpose = lpUnused;
    TypesPurpose = lpUnused;
    Hosts.clear();
    HostsPurpose = lpUnused;
    DownloadOptions.Clear();
    StartingReferrer.clear();
    PauseBetweenDownloads = 0;
    HonorRobotNoIndexTags = false;
    HonorRobotNoFollowTags = false;
    SaveQueryResults = true;
    DownloadHTTP = true;
    DownloadFTP = false;
    DownloadHTTPS = false;
    DownloadDefaultInEachDirectory = false;
    MaxSecondsForAllDownloads = -1;
    AssumeWWWWhenNoThirdLevelDomain = true;
    PruneFolders = true;
    AddMarkOfWebOnRewrite = false;
    KeepRewriteInputFiles = false;
}

bool TCopyJob::Normalize()
{
    bool changed = false;
    auto unuseEmpty = [&changed](const std::string& list, int32_t& purpose) {
        if (list.empty() && purpose != lpUnused) {
            purpose = lpUnused;
            changed = true;
        }
    };
    unuseEmpty(Extensions, ExtensionsPurpose);
    unuseEmpty(Types, TypesPurpose);
    unuseEmpty(Hosts, HostsPurpose);
    unuseEmpty(AddressStrings, AddressStringsPurpose);
    RecreateFolderStructure = true;
    if (FlattenDestinationFolders) {
        RewriteLinks = false;
        DownloadOptions.UpdateOldFiles = false;
    }
    return changed;
}

void TCopyJob::SetDestinationFolder(const std::string& folder)
{
    DestinationFolder = folder;
    while (DestinationFolder.size() > 1 && DestinationFolder.back() == '/')
        DestinationFolder.pop_back();
    DestinationSubfolder.clear();
}

std::string NormalFolderPath(const std::string& folder, const std::string& base)
{
    if (folder.empty())
        return {};
    std::string joined;
    if (folder == "~" || folder.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        joined = std::string(home) + "/" + folder.substr(1);
    } else if (folder[0] == '/') {
        joined = folder;
    } else {
        if (base.empty() || base[0] != '/')
            return {};
        joined = base + "/" + folder;
    }
    std::vector<std::string_view> segments;
    const std::string_view text(joined);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view segment = text.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    if (segments.empty())
        return "/";
    std::string out;
    for (std::string_view segment : segments) {
        out += '/';
        out += segment;
    }
    return out;
}

bool TCopyJob::NormalizeDestinationFolder(const std::string& base)
{
    const std::string normal = NormalFolderPath(DestinationFolder, base);
    if (normal.empty() || normal == "/")
        return false;
    DestinationFolder = normal;
    return true;
}

std::string TCopyJob::GetDestinationPath() const
{
    if (DestinationSubfolder.empty())
        return DestinationFolder;
    return DestinationFolder + "/" + DestinationSubfolder;
}

bool TCopyJob::SelectUniqueDestinationSubfolder()
{
    try {
        // Without a folder the subfolder would land in the file-system root.
        if (DestinationFolder.empty())
            return false;
        std::time_t now = std::time(nullptr);
        std::tm local {};
        char stamp[32];
        if (!localtime_r(&now, &local) || std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local) == 0)
            return false;
        if (!SafeForceDirectories(DestinationFolder))
            return false;
        // mkdir claims a name atomically: a folder made by another run in the same second, or
        // a file of that name, moves on to the next number.
        for (int n = 0; n <= 9999; ++n) {
            std::string name = stamp;
            if (n > 0)
                name += " (" + std::to_string(n) + ")";
            const std::string path = DestinationFolder + "/" + name;
            if (::mkdir(path.c_str(), 0755) == 0) {
                DestinationSubfolder = name;
                return true;
            }
        }
        return false;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "SelectUniqueDestinationSubfolder", "JobTypes");
        return false;
    }
}

void TCopyJob::ExcludeMimeType(const std::string& mimeType)
{
    // Compare the media type only: "text/html; charset=utf-8" excludes "text/html".
    std::string media = mimeType.substr(0, mimeType.find(';'));
    while (!media.empty() && static_cast<unsigned char>(media.back()) <= ' ')
        media.pop_back();
    size_t start = 0;
    while (start < media.size() && static_cast<unsigned char>(media[start]) <= ' ')
        ++start;
    AddToTypeList(Types, TypesPurpose, media.substr(start));
}

void TCopyJob::ExcludeExtension(const std::string& extension)
{
    AddToTypeList(Extensions, ExtensionsPurpose, extension);
}

void TCopyJob::ExcludeHost(const std::string& host)
{
    AddToTypeList(Hosts, HostsPurpose, host);
}

bool TCopyJob::ReadFromIni(const TIniFile& ini)
{
    try {
        if (ini.ReadInteger(kFileInfo, "SchemaVersion", 0) != 1)
            return false;
        TCopyJob j(*this);
        j.JobName = ini.ReadString(kStart, "JobName", "");
        j.StartingWebAddress.SetFullURL(ini.ReadString(kStart, "StartingWebAddress", ""));
        const std::string su = ini.ReadString(kStart, "SU", "");
        const std::string sp = ini.ReadString(kStart, "SP", "");
        if (!su.empty() && !sp.empty())
            j.StartingWebAddress.SetUserAndPassword(Base64ToStr(su), Base64ToStr(sp));
        j.DestinationFolder = ini.ReadString(kStart, "DestinationFolder", "");
        j.DestinationSubfolder.clear();
        j.RecreateFolderStructure = ini.ReadBool(kStart, "RecreateFolderStructure", true);
        j.FlattenDestinationFolders = ini.ReadBool(kStart, "FlattenDestinationFolders", true);
        j.RewriteLinks = ini.ReadBool(kStart, "RewriteLinks", true);
        j.KeepRewriteInputFiles = ini.ReadBool(kStart, "KeepRewriteInputFiles", false);
        j.AddMarkOfWebOnRewrite = ini.ReadBool(kStart, "AddMarkOfWebOnRewrite", false);

        j.RestrictLocation = ini.ReadInteger(kLocation, "RestrictLocation", 1);
        j.RestrictLocationOfWebPagesOnly = ini.ReadBool(kLocation, "RestrictLocationOfWebPagesOnly", true);
        j.MaxDistance = ini.ReadInteger(kLocation, "MaxDistance", 8);

        j.AddressStrings = ini.ReadString(kAddress, "AddressStrings", "");
        j.AddressStringsPurpose = ini.ReadInteger(kAddress, "AddressStringsPurpose", lpUnused);

        j.MaxFileCount = ini.ReadInteger(kCountAndSize, "MaxFileCount", -1);
        j.MinFileSize = ini.ReadInteger(kCountAndSize, "MinFileSize", -1);
        j.MaxFileSize = ini.ReadInteger(kCountAndSize, "MaxFileSize", -1);
        j.MaxJobDownloadSize = ini.ReadInteger(kCountAndSize, "MaxJobDownloadSize", -1);

        j.Extensions = ini.ReadString(kExtensions, "Extensions", "");
        j.ExtensionsPurpose = ini.ReadInteger(kExtensions, "ExtensionsPurpose", lpUnused);
        j.Types = ini.ReadString(kMimeTypes, "Types", "");
        j.TypesPurpose = ini.ReadInteger(kMimeTypes, "TypesPurpose", lpUnused);
        j.Hosts = ini.ReadString(kHostnames, "Hosts", "");
        j.HostsPurpose = ini.ReadInteger(kHostnames, "HostsPurpose", lpUnused);

        j.StartingReferrer = ini.ReadString(kAdditional, "StartingReferrer", "");
        j.PauseBetweenDownloads = ini.ReadInteger(kAdditional, "PauseBetweenDownloads", 0);
        j.HonorRobotNoIndexTags = ini.ReadBool(kAdditional, "HonorRobotNoIndexTags", false);
        j.HonorRobotNoFollowTags = ini.ReadBool(kAdditional, "HonorRobotNoFollowTags", false);
        j.SaveQueryResults = ini.ReadBool(kAdditional, "SaveQueryResults", true);
        j.DownloadHTTP = ini.ReadBool(kAdditional, "DownloadHTTP", true);
        j.DownloadHTTPS = ini.ReadBool(kAdditional, "DownloadHTTPS", false);
        j.DownloadFTP = ini.ReadBool(kAdditional, "DownloadFTP", false);
        j.DownloadDefaultInEachDirectory = ini.ReadBool(kAdditional, "DownloadDefaultInEachDirectory", false);
        j.MaxSecondsForAllDownloads = ini.ReadInteger(kAdditional, "MaxSecondsForAllDownloads", -1);
        j.AssumeWWWWhenNoThirdLevelDomain = ini.ReadBool(kAdditional, "AssumeWWWWhenNoThirdLevelDomain", true);
        j.PruneFolders = ini.ReadBool(kAdditional, "PruneFolders", true);

        if (!j.DownloadOptions.ReadFromIni(ini))
            return false;
        std::string& headers = j.DownloadOptions.HTTPHeaders;
        if (!headers.empty() && !headers.ends_with("\r\n"))
            headers += "\r\n";
        *this = std::move(j);
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ReadJobFile", "JobTypes");
        return false;
    }
}

void TCopyJob::WriteToIni(TIniFile& ini) const
{
    ini.WriteString(kFileInfo, "Description", "Gleanery Copy Job");
    ini.WriteInteger(kFileInfo, "SchemaVersion", 1);

    ini.WriteString(kStart, "JobName", JobName);
    ini.WriteString(kStart, "StartingWebAddress", StartingWebAddress.GetURL(false, true, true, true, true));
    if (!StartingWebAddress.GetUserName().empty()) {
        ini.WriteString(kStart, "SU", StrToBase64(StartingWebAddress.GetUserName()));
        ini.WriteString(kStart, "SP", StrToBase64(StartingWebAddress.GetPassword()));
    }
    ini.WriteString(kStart, "DestinationFolder", DestinationFolder);
    ini.WriteBool(kStart, "RecreateFolderStructure", RecreateFolderStructure);
    ini.WriteBool(kStart, "FlattenDestinationFolders", FlattenDestinationFolders);
    ini.WriteBool(kStart, "RewriteLinks", RewriteLinks);
    ini.WriteBool(kStart, "KeepRewriteInputFiles", KeepRewriteInputFiles);
    ini.WriteBool(kStart, "AddMarkOfWebOnRewrite", AddMarkOfWebOnRewrite);

    ini.WriteInteger(kLocation, "RestrictLocation", RestrictLocation);
    ini.WriteBool(kLocation, "RestrictLocationOfWebPagesOnly", RestrictLocationOfWebPagesOnly);
    ini.WriteInteger(kLocation, "MaxDistance", MaxDistance);

    ini.WriteString(kAddress, "AddressStrings", AddressStrings);
    ini.WriteInteger(kAddress, "AddressStringsPurpose", AddressStringsPurpose);

    ini.WriteInteger(kCountAndSize, "MaxFileCount", MaxFileCount);
    ini.WriteInteger(kCountAndSize, "MinFileSize", MinFileSize);
    ini.WriteInteger(kCountAndSize, "MaxFileSize", MaxFileSize);
    // The key holds 32-bit values: a larger limit is kept as the largest one, never wrapped.
    ini.WriteInteger(kCountAndSize, "MaxJobDownloadSize",
                     std::clamp<int64_t>(MaxJobDownloadSize, INT32_MIN, INT32_MAX));

    ini.WriteString(kExtensions, "Extensions", Extensions);
    ini.WriteInteger(kExtensions, "ExtensionsPurpose", ExtensionsPurpose);
    ini.WriteString(kMimeTypes, "Types", Types);
    ini.WriteInteger(kMimeTypes, "TypesPurpose", TypesPurpose);
    ini.WriteString(kHostnames, "Hosts", Hosts);
    ini.WriteInteger(kHostnames, "HostsPurpose", HostsPurpose);

    ini.WriteString(kAdditional, "StartingReferrer", StartingReferrer);
    ini.WriteInteger(kAdditional, "PauseBetweenDownloads", PauseBetweenDownloads);
    ini.WriteBool(kAdditional, "HonorRobotNoIndexTags", HonorRobotNoIndexTags);
    ini.WriteBool(kAdditional, "HonorRobotNoFollowTags", HonorRobotNoFollowTags);
    ini.WriteBool(kAdditional, "SaveQueryResults", SaveQueryResults);
    ini.WriteBool(kAdditional, "DownloadHTTP", DownloadHTTP);
    ini.WriteBool(kAdditional, "DownloadHTTPS", DownloadHTTPS);
    ini.WriteBool(kAdditional, "DownloadFTP", DownloadFTP);
    ini.WriteBool(kAdditional, "DownloadDefaultInEachDirectory", DownloadDefaultInEachDirectory);
    ini.WriteInteger(kAdditional, "MaxSecondsForAllDownloads", MaxSecondsForAllDownloads);
    ini.WriteBool(kAdditional, "AssumeWWWWhenNoThirdLevelDomain", AssumeWWWWhenNoThirdLevelDomain);
    ini.WriteBool(kAdditional, "PruneFolders", PruneFolders);

    DownloadOptions.WriteToIni(ini);
}

bool TCopyJob::ReadJobFile(const std::string& fileName)
{
    TIniFile ini;
    return LoadJobFile(fileName, ini) && ReadFromIni(ini);
}

bool TCopyJob::WriteJobFile(const std::string& fileName) const
{
    try {
        // A fresh document: nothing of an earlier job (its credentials above all) survives.
        TIniFile ini;
        WriteToIni(ini);
        return ini.SaveTo(fileName, JobFileMode(ini));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "WriteJobFile", "JobTypes");
        return false;
    }
}

void AddToTypeList(std::string& list, int32_t& purpose, const std::string& value)
{
    if (value.empty())
        return;
    auto refuse = [&value](const char* why) {
        LogEvent(etWarning, std::string("Exclusion of \"") + value + "\" ignored: " + why, "AddToTypeList", "JobTypes");
    };
    if (value.size() > kMaxTypeListValue)
        return refuse("longer than 64 characters");
    const std::vector<std::string> upper = SplitCommaList(AsciiUpperCase(list));
    if (upper.size() > kMaxTypeListMembers)
        return refuse("the list has more than 64 members");
    const auto found = std::find(upper.begin(), upper.end(), AsciiUpperCase(value));
    if (purpose == lpNotThese && found == upper.end() && upper.size() >= kMaxTypeListMembers)
        return refuse("the list already has 64 members");
    switch (purpose) {
    case lpOnlyThese:
        if (found != upper.end()) {
            std::vector<std::string> members = SplitCommaList(list);
            members.erase(members.begin() + (found - upper.begin()));
            list = JoinList(members, ",");
        }
        break;
    case lpNotThese:
        if (found == upper.end())
            list = upper.empty() ? value : list + ", " + value;
        break;
    case lpUnused:
        list = value;
        purpose = lpNotThese;
        break;
    default:
        break;
    }
}

std::string NormalizeList(const std::string& text, size_t maxLength, size_t maxCount)
{
    try {
        std::vector<std::string> members = SplitCommaList(text);
        std::erase_if(members, [maxLength](const std::string& m) { return m.size() > maxLength; });
        if (members.size() > maxCount)
            members.resize(maxCount);
        return JoinList(members, ", ");
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "NormalizeList", "JobTypes");
        return {};
    }
}

void WriteDefaultJobTemplates(const std::string& folder)
{
    struct Template {
        int titleId;
        void (*setUp)(TCopyJob&);
    };
    static const Template templates[] = {
        {58,  // "Download a single file"
         [](TCopyJob& j) {
             j.MaxFileCount = 1;
             j.SaveQueryResults = true;
             j.MaxDistance = 0;
         }},
        {59,  // "Download a single web page"
         [](TCopyJob& j) {
             j.SaveQueryResults = true;
             j.MaxDistance = 0;
         }},
        {60, [](TCopyJob& j) { j.RestrictLocation = 2; }},  // "Download entire website"
    };
    TCopyJob job;
    for (const Template& t : templates) {
        const std::string fileName = folder + FileTitle(t.titleId) + ".GCJ";
        if (SafeFileExists(fileName))
            continue;
        job.Clear();
        t.setUp(job);
        if (!job.WriteJobFile(fileName))
            LogEvent(etWarning, "Cannot create " + fileName, "WriteDefaultJobTemplates", "JobTemplates");
    }
}
