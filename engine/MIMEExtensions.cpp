#include "engine/MIMEExtensions.h"

#include "platform/TextUtils.h"

#include <cctype>

namespace {

// From the last "." of the last path segment, dot included; empty when there is none.
std::string FileExtension(const std::string& fileName)
{
    size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.')
        return std::string();
    return fileName.substr(dot);
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

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
    return fileName;
}
