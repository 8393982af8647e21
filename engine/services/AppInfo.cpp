#include "engine/services/AppInfo.h"

#include "Version.h"
#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"

#include <climits>
#include <cstdio>
#include <curl/curl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

struct FileSystemMagic {
    int64_t magic;
    const char* name;
};

constexpr FileSystemMagic kFileSystems[] = {
    {0xEF53, "ext4"},        {0x9123683E, "btrfs"},     {0x58465342, "xfs"},       {0x01021994, "tmpfs"},
    {0x5346544E, "NTFS"},    {0x4D44, "FAT"},           {0x2011BAB0, "exFAT"},     {0x6969, "nfs"},
    {0xFF534D42, "cifs"},    {0xFE534D42, "smb2"},      {0x65735546, "fuseblk"},   {0x794C7630, "overlay"},
    {0x2FC12FC1, "zfs"},     {0xF2F52010, "f2fs"},      {0x3153464A, "jfs"},       {0x52654973, "reiserfs"},
    {0x9660, "iso9660"},     {0x15013346, "udf"},       {0x73717368, "squashfs"},  {0x01021997, "9p"},
};

std::string StripQuotes(std::string v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

std::string GetProgramFileName()
{
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string GetProgramFolder()
{
    std::string exe = GetProgramFileName();
    size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

TAppInfo::TAppInfo()
    : ExeName(GetProgramFileName()),
      ProductName(GLEANERY_PRODUCT_NAME),
      CompanyName(GLEANERY_COMPANY_NAME),
      LegalCopyright(GLEANERY_COPYRIGHT),
      FileVersion(ShortenVersion(GLEANERY_VERSION))
{
    if (ProductName.empty())
        ProductName = "Gleanery";
    if (CompanyName.empty())
        CompanyName = "Brindlesoft";
}

std::string TAppInfo::ShortenVersion(std::string version)
{
    while (version.size() >= 4 && version.compare(version.size() - 4, 4, ".0.0") == 0)
        version.resize(version.size() - 2);
    return version;
}

int TAppInfo::GetOSVersion()
{
    struct utsname u {};
    return ::uname(&u) == 0 ? kOSVersionLinux : -1;
}

std::string TAppInfo::OSNameFromRelease(const std::string& text)
{
    std::string pretty, name;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("PRETTY_NAME=", 0) == 0)
            pretty = StripQuotes(line.substr(12));
        else if (line.rfind("NAME=", 0) == 0)
            name = StripQuotes(line.substr(5));
    }
    return pretty.empty() ? name : pretty;
}

std::string TAppInfo::GetOSName()
{
    std::string text;
    if (ReadWholeFile("/etc/os-release", text) || ReadWholeFile("/usr/lib/os-release", text)) {
        std::string name = OSNameFromRelease(text.substr(0, 65536));
        if (!name.empty())
            return name;
    }
    return "Linux";
}

bool TAppInfo::GetFileSystemName(const std::string& path, std::string& name)
{
    if (path.empty() || path[0] != '/')
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    {
        std::lock_guard<std::mutex> guard(cacheLock_);
        if (cacheValid_ && cachedDevice_ == static_cast<uint64_t>(st.st_dev)) {
            name = cachedName_;
            return true;
        }
    }
    struct statfs fs {};
    if (::statfs(path.c_str(), &fs) != 0)
        return false;
    std::string found;
    for (const auto& f : kFileSystems)
        if (static_cast<int64_t>(static_cast<uint32_t>(fs.f_type)) == f.magic)
            found = f.name;
    if (found.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(fs.f_type));
        found = buf;
    }
    std::lock_guard<std::mutex> guard(cacheLock_);
    cachedDevice_ = static_cast<uint64_t>(st.st_dev);
    cachedName_ = found;
    cacheValid_ = true;
    name = found;
    return true;
}

std::string TAppInfo::GetFileVersionText(const std::string& path)
{
    // Only the program file carries a version here; it comes from the build.
    if (path.empty() || path != GetProgramFileName())
        return std::string();
    return GLEANERY_VERSION;
}

std::string TAppInfo::LibcurlVersion()
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && info->version ? info->version : "";
}

void TAppInfo::LogVersionInfo()
{
    if (!TApplicationTraceLog::Instance())
        return;
    struct utsname u {};
    int major = 0, minor = 0, build = 0;
    if (::uname(&u) == 0)
        std::sscanf(u.release, "%d.%d.%d", &major, &minor, &build);
    char buf[128];
    // Platform 2: the family whose version codes this system reports.
    std::snprintf(buf, sizeof buf, "OS Version (platform, major, minor, build): %d, %d, %d, %d", 2, major, minor,
                  build);
    LogMessage(buf);
    LogMessage("Application version: " + FileVersion);
    LogMessage("libcurl version: " + LibcurlVersion());
}
