#include "engine/parse/CommonParser.h"

#include "engine/parse/CharacterReferences.h"
#include "engine/parse/LocalLinks.h"
#include "engine/job/LocalNames.h"
#include "engine/services/AppTraceLog.h"
#include "engine/job/URLType.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

bool IsHTMLLink(const TWebLinkInfo& link, const char* tag, const char* attrib)
{
    return link.FKind == lkHTMLAttribute && link.FTagName == tag && link.FAttribName == attrib;
}

// The folder part of a file name ("" when it has none).
std::string FolderOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

// The file path names below folder, normalized.
std::string JoinedPath(const std::string& folder, const std::string& path)
{
    namespace fs = std::filesystem;
    std::string_view base = folder;
    if (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    if (!base.empty() && HasOnlyPlainSegments(base) && HasOnlyPlainSegments(path))
        return std::string(base) + '/' + path;
    return (fs::path(folder) / fs::path(path)).lexically_normal().string();
}

// Control bytes in a value (a reference such as "&#1;" gives them) are percent-encoded, as a
// browser does when it reads the value as an address; tabs and line breaks are dropped later.
bool IsEscapedControlByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\t' && c != '\r' && c != '\n') || b == 0x7F;
}

bool HasControlBytes(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), IsEscapedControlByte);
}

void EscapeControlBytes(std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    const auto control = IsEscapedControlByte;
    if (!HasControlBytes(text))
        return;
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (control(c)) {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    text = std::move(out);
}

// The files of the copy a page's relative values name, by folder and path as written ("" when
// none): a page names the same file over and over, with other fragments.
using TLocalFileMemo = std::unordered_map<std::string, std::string>;

// A value of a page already on disk, as a browser reads it there: an absolute address is taken
// as it is (a file: address is not taken at all); a relative one names a file by its path relative to folder (percent escapes decoded,
// query and fragment not part of the name; the fragment is kept). When no such file of the copy
// exists (outside the destination or behind a symbolic link counts as none) the value is read as
// on the server, against base; it never becomes a link to a missing local file.
// True when a file was looked for and not found: a download may yet put one there. A follower
// follows the value to the address its file stands for; pageFolder: the value is relative to the
// page's own folder, so the follower may know it from an earlier one.
bool ResolveLocalValue(const std::string& text, const std::string& folder, bool pageFolder, const TURL& base,
                       TLocalFileMemo& memo, TURL& url, TLocalLinkFollower* follower, size_t index)
{
    url.Clear();
    TURL parsed;
    // A relative value is no address: it is not offered to SetFullURL, which would log it.
    if (TURL::HasScheme(text) && parsed.SetFullURL(text)) {
        // A file: address written in a page is content, not one of the copy's own links.
        if (parsed.GetScheme() != usFile)
            url.Assign(parsed);
        return false;
    }
    const size_t hash = text.find('#');
    const std::string_view beforeHash = std::string_view(text).substr(0, hash);
    const std::string_view fragment = std::string_view(text).substr(beforeHash.size());
    if (pageFolder && follower != nullptr && follower->FollowKnownValue(index, beforeHash, fragment, url))
        return false;
    // A rewritten page names its files percent-encoded.
    const std::string path = PercentDecoded(beforeHash.substr(0, beforeHash.find('?')));
    bool missing = false;
    if (!path.empty() && path.front() != '/' && path.find('\0') == std::string::npos) {
        auto [known, added] = memo.try_emplace(folder + '\0' + path);
        if (added) {
            std::string fullPath = JoinedPath(folder, path);
            if (IsFileOfJobCopy(fullPath))
                known->second = std::move(fullPath);
        }
        const std::string& file = known->second;
        if (!file.empty()) {
            if (url.SetFullURL("file://" + file + std::string(fragment))) {
                if (follower != nullptr)
                    follower->Follow(index, url, pageFolder ? beforeHash : std::string_view());
                return false;
            }
        } else {
            missing = true;
        }
    }
    if (base.IsValid() && url.SetRelativeURL(text, base) && url.GetScheme() == usFile)
        url.Clear();
    return missing;
}

// CODE or DATA named under an address CODEBASE (the rewrite writes them absolute): the copy of
// that address when it is on disk, else the address. True when its file was looked for and not
// found.
bool ResolveUnderRemoteCodebase(const std::string& text, const TURL& codebase, TLocalNames* names, TURL& url)
{
    if (!url.SetRelativeURL(text, codebase) || url.GetScheme() == usFile) {
        url.Clear();
        return false;
    }
    std::string local;
    if (names != nullptr)
        names->MapURLToLocalFile(url, std::string(), local);
    if (local.empty())
        return false;
    if (!IsFileOfJobCopy(local))
        return true;
    TURL file;
    if (file.SetFullURL("file://" + local))
        url.Assign(file);
    return false;
}

// A CODEBASE names a folder; without a closing "/" its last segment would be dropped when the
// CODE or DATA value is resolved against it.
std::string AsFolder(const std::string& codebase)
{
    if (codebase.empty() || codebase.back() == '/' || codebase.find_first_of("?#") != std::string::npos)
        return codebase;
    return codebase + "/";
}

}  // namespace

bool ReadFileForLinks(const std::string& fileName, std::string& data, int64_t maxSize)
{
    data.clear();
    struct stat st {};
    // Checked before as a plain file: a link put in its place meanwhile is not followed.
    const int fd = OpenPlainFileForReading(fileName, st, false);
    if (fd < 0)
        return false;
    const int64_t fileSize = static_cast<int64_t>(st.st_size);
    const int64_t wanted = std::min(fileSize, maxSize);
    data.resize(static_cast<size_t>(wanted));
    int64_t filled = 0;
    while (filled < wanted) {
        const ssize_t n = ::read(fd, data.data() + filled, static_cast<size_t>(wanted - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            data.clear();
            SetLastErrorFromErrno(err);
            return false;
        }
        if (n == 0)
            break;  // the file shrank meanwhile
        filled += n;
    }
    ::close(fd);
    data.resize(static_cast<size_t>(filled));
    if (fileSize > maxSize)
        LogEvent(etWarning,
                 "Links read from the first " + std::to_string(maxSize) + " of " + std::to_string(fileSize) +
                     " bytes of " + fileName,
                 "ReadFileForLinks", "CommonParser");
    return true;
}

void NoteLinksPassedOver(const std::string& fileName, const TWebLinkList& list)
{
    if (list.Count() >= kMaxLinksPerFile)
        LogEvent(etWarning,
                 "Only the first " + std::to_string(kMaxLinksPerFile) + " links of " + fileName + " are read",
                 "NoteLinksPassedOver", "CommonParser");
}

void TCommonParser::SetAbsoluteURLsInLinkList(const std::string& fileName, TWebLinkList& list)
{
    FLocalFilesMissing = 0;
    TURL base;
    bool hasCodebase = false;
    for (const TWebLinkInfo& link : list) {
        if (IsHTMLLink(link, "BASE", "HREF"))
            base.SetFullURL(link.FValue);
        hasCodebase = hasCodebase || link.FAttribName == "CODEBASE";
    }
    if (!base.IsValid())
        base.SetFullURL(FBaseURL);
    FLinkBase = base.IsValid() ? base.GetURLWithoutUserInfo() : std::string();
    if (!base.IsValid())
        return;

    // CODEBASE values by tag number: APPLET CODE and OBJECT DATA resolve against them.
    std::unordered_map<int64_t, const std::string*> codebases;
    if (hasCodebase)
        for (const TWebLinkInfo& link : list)
            if ((IsHTMLLink(link, "APPLET", "CODEBASE") || IsHTMLLink(link, "OBJECT", "CODEBASE")) &&
                !link.FValue.empty())
                codebases.emplace(link.FTagIndex, &link.FValue);

    const std::string folder = FolderOf(fileName);
    // Pages name the same files over and over: the job asks the disk about each once.
    TLocalNames* names = FLocalMode ? TLocalNames::Instance() : nullptr;
    TLocalFileMemo memo;
    TLocalLinkFollower* const follower = FLocalMode ? FFollower : nullptr;
    size_t index = 0;
    for (TWebLinkInfo& link : list) {
        const size_t linkIndex = index++;
        // The value as read, unless it is a refresh's address part or holds control bytes.
        std::string own;
        const std::string* value = &link.FValue;
        if (link.FKind == lkHTMLAttribute && link.FTagName == "META") {
            const std::string written = link.ValueAsWritten();
            if (link.FAttribName != "CONTENT" || link.FURLPartLength <= 0 || link.FURLPartPos < 0 ||
                link.FURLPartPos + link.FURLPartLength > static_cast<int64_t>(written.size()))
                continue;
            own = DecodeCharacterReferences(
                written.substr(static_cast<size_t>(link.FURLPartPos), static_cast<size_t>(link.FURLPartLength)));
            value = &own;
        }
        if (value->empty())
            continue;
        if (HasControlBytes(*value)) {
            if (value != &own)
                own = *value;
            EscapeControlBytes(own);
            value = &own;
        }
        const std::string& text = *value;
        const bool codeOrData = IsHTMLLink(link, "APPLET", "CODE") || IsHTMLLink(link, "OBJECT", "DATA");
        const auto codebaseOf = codeOrData ? codebases.find(link.FTagIndex) : codebases.end();
        if (FLocalMode) {
            // A CODEBASE on disk names a folder beside the page; one written as an address (the
            // rewrite writes them absolute) is resolved as on the server.
            TURL remote;
            bool missing = false;
            if (codebaseOf != codebases.end() && remote.SetFullURL(AsFolder(*codebaseOf->second)) &&
                remote.GetScheme() != usFile) {
                missing = ResolveUnderRemoteCodebase(text, remote, names, link.FURL);
                if (follower != nullptr)
                    follower->Follow(linkIndex, link.FURL);
            } else if (codebaseOf != codebases.end()) {
                missing = ResolveLocalValue(text, folder + PercentDecoded(AsFolder(*codebaseOf->second)), false,
                                            base, memo, link.FURL, follower, linkIndex);
            } else {
                missing = ResolveLocalValue(text, folder, true, base, memo, link.FURL, follower, linkIndex);
            }
            FLocalFilesMissing += missing ? 1 : 0;
            continue;
        }
        const TURL* linkBase = &base;
        TURL codebase;
        if (codebaseOf != codebases.end() && codebase.SetRelativeURL(AsFolder(*codebaseOf->second), base))
            linkBase = &codebase;
        link.FURL.SetRelativeURL(text, *linkBase);
        // A page from the network never leads to a local file.
        if (link.FURL.GetScheme() == usFile)
            link.FURL.Clear();
    }
}
