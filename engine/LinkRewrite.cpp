#include "engine/LinkRewrite.h"

#include <cstdio>
#include <vector>

namespace {

std::vector<std::string> SplitFolders(const std::string& path, std::string& fileName)
{
    std::vector<std::string> folders;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            break;
        if (slash > start)
            folders.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    fileName = path.substr(start);
    return folders;
}

bool NeedsEncoding(unsigned char c)
{
    switch (c) {
    case '%': case '#': case '?': case '"': case '\'': case '(': case ')': case '<': case '>':
        return true;
    default:
        return c <= 0x20 || c >= 0x7F;
    }
}

}  // namespace

std::string MakeRelativeLink(const std::string& pageFile, const std::string& targetFile)
{
    std::string page = pageFile;
    std::string target = targetFile;
    for (char& c : page)
        c = c == '\\' ? '/' : c;
    for (char& c : target)
        c = c == '\\' ? '/' : c;
    std::string pageName, targetName;
    std::vector<std::string> pageFolders = SplitFolders(page, pageName);
    std::vector<std::string> targetFolders = SplitFolders(target, targetName);
    size_t common = 0;
    while (common < pageFolders.size() && common < targetFolders.size() &&
           pageFolders[common] == targetFolders[common])
        ++common;
    std::string out;
    for (size_t i = common; i < pageFolders.size(); ++i)
        out += "../";
    for (size_t i = common; i < targetFolders.size(); ++i)
        out += targetFolders[i] + "/";
    return out + targetName;
}

std::string EncodeRelativeLink(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (char ch : path) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += '/';
        } else if (NeedsEncoding(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string SavedFromMark(const std::string& pageAddress)
{
    char length[16];
    std::snprintf(length, sizeof length, "(%.4zu)", pageAddress.size());
    return "<!-- saved from url=" + std::string(length) + pageAddress + " -->";
}

std::string KeptInputFileName(const std::string& fileName)
{
    size_t slash = fileName.find_last_of('/');
    size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + "_orig";
    return fileName.substr(0, dot) + "_orig" + fileName.substr(dot);
}
