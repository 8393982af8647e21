#include "engine/crawl/MIMEExtensions.h"

#include "engine/job/URLType.h"
#include "platform/TextUtils.h"

#include <string_view>

namespace {

// From the last "." of the last path segment, dot included; empty when there is none.
std::string FileExtension(const std::string& fileName)
{
    size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.')
        return std::string();
    return fileName.substr(dot);
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

struct TTypeEnding {
    std::string_view Type;
    std::string_view Ending;
};

// Types whose files a browser reading from disk recognises only by their ending.
constexpr TTypeEnding kEndings[] = {
    {"text/css", ".css"},
    {"application/javascript", ".js"},
    {"text/javascript", ".js"},
    {"application/x-javascript", ".js"},
    {"image/svg+xml", ".svg"},
    {"image/webp", ".webp"},
    {"image/x-icon", ".ico"},
    {"image/vnd.microsoft.icon", ".ico"},
};

// The endings of the file-type groups a job's extension list is built from, pages left out, and
// the compressed archives.
constexpr std::string_view kNonPageEndings[] = {
    ".jpg", ".jpeg", ".gif", ".png",  ".bmp", ".wav", ".mp3", ".au",  ".aiff", ".midi", ".ra",  ".wma",
    ".avi", ".mpg",  ".mpeg", ".mov", ".qt",  ".rm",  ".ram", ".wmv", ".exe",  ".bat",  ".scr", ".vbs",
    ".pif", ".zip",  ".rar", ".iso",  ".txt", ".rtf", ".doc", ".pdf", ".gz",   ".tgz",  ".bz2", ".xz",
};

}  // namespace

std::string AddExtensionForMIMEType(const std::string& fileName, const std::string& mimeType)
{
    const std::string ext = AsciiLowerCase(FileExtension(fileName));
    const std::string type = AsciiLowerCase(mimeType);
    if (StartsWith(type, "text/html"))
        return ext == ".htm" || ext == ".html" ? fileName : fileName + ".htm";
    if (StartsWith(type, "image/gif"))
        return ext == ".gif" ? fileName : fileName + ".gif";
    if (StartsWith(type, "image/jpeg"))
        return ext == ".jpg" ? fileName : fileName + ".jpg";
    if (StartsWith(type, "image/png"))
        return ext == ".png" ? fileName : fileName + ".png";
    const std::string_view media = MediaTypeOf(type);
    for (const TTypeEnding& entry : kEndings)
        if (media == entry.Type)
            return ext == entry.Ending ? fileName : fileName + std::string(entry.Ending);
    return fileName;
}

bool IsNonPageEnding(std::string_view ending)
{
    const std::string lower = AsciiLowerCase(std::string(ending));
    for (const TTypeEnding& entry : kEndings)
        if (lower == entry.Ending)
            return true;
    for (std::string_view known : kNonPageEndings)
        if (lower == known)
            return true;
    return false;
}
