#include "engine/parse/LinkRewrite.h"

#include "engine/job/LocalNames.h"
#include "engine/services/FileStatusCache.h"
#include "engine/parse/CharacterReferences.h"
#include "engine/parse/CommonParser.h"
#include "engine/services/FileRewrite.h"
#include "engine/job/LinkType.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "engine/job/URLType.h"
#include "platform/TextUtils.h"

#include <cstdio>
#include <stdexcept>
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

bool IsRewritableScheme(int32_t scheme)
{
    return scheme == usFTP || scheme == usHTTP || scheme == usHTTPS || scheme == usFile;
}

// APPLET CODE and OBJECT DATA name only the file; the CODEBASE of the same tag carries the folder.
bool TakesFileNameOnly(const TWebLinkInfo& link)
{
    return (link.FTagName == "APPLET" && link.FAttribName == "CODE") ||
           (link.FTagName == "OBJECT" && link.FAttribName == "DATA");
}

std::string FileNamePart(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The text with the bytes that need() percent-encoded.
template <class Need>
std::string PercentEncode(const std::string& text, Need need)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (need(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

// An absolute address without the characters that would end the value it stands in: double
// quotes in HTML (values are written in double quotes); quotes, brackets and blanks in CSS.
std::string EscapeForValue(const std::string& address, bool css)
{
    return PercentEncode(address, [css](unsigned char c) {
        return c == '"' || (css && (c == '\'' || c == '(' || c == ')' || c <= 0x20));
    });
}

// A value that resolved to no usable address (too long to be one, say) was never fetched: it
// is written as the network address it names, which it still is online. False when it names
// none (another scheme, or nothing to resolve it against).
bool UnresolvedLinkText(const TCommonParser& parser, const TWebLinkInfo& link, std::string& text)
{
    const std::string& value = link.FURL.GetUnusableText();
    if (value.empty() || parser.FLinkBase.empty())
        return false;
    const std::string resolved = CombineReference(parser.FLinkBase, value);
    const size_t colon = resolved.find("://");
    if (colon == std::string::npos)
        return false;
    const std::string scheme = AsciiLowerCase(std::string_view(resolved).substr(0, colon));
    if (scheme != "http" && scheme != "https" && scheme != "ftp")
        return false;
    text = EscapeForValue(resolved, link.FKind == lkCSSURL);
    return true;
}

// The new text of a rewritable link; false when the link is to stay as written (a local file
// with no copy to link to: a copy never links into file: space, which would break when its
// folder moves).
bool NewLinkText(const TCommonParser& parser, const std::string& pageFile, const TWebLinkInfo& link, bool withFiles,
                 std::string& text)
{
    // The callback names only a copy that is there to link to.
    std::string local = withFiles && parser.OnAddressToFile ? parser.OnAddressToFile(link.FURL) : std::string();
    bool available = !local.empty();
    if (available && TakesFileNameOnly(link))
        text = EncodeRelativeLink(FileNamePart(local));
    else if (available && !parser.ForceAbsoluteLink(link))
        text = EncodeRelativeLink(MakeRelativeLink(pageFile, local)) + link.FURL.GetFragment();
    else if (link.FURL.GetScheme() == usFile)
        return false;
    else
        text = EscapeForValue(link.FURL.GetURL(false, true, true, true, true), link.FKind == lkCSSURL);
    return true;
}

// The text written in place of the link, as it will stand (escaped and quoted); false when the
// link stays as written. withFiles: links to copies on disk are made (else none is taken to exist).
bool ReplacementText(const TCommonParser& parser, const std::string& pageFile, const TWebLinkInfo& link,
                     bool withFiles, std::string& text)
{
    // Other links (mailto, javascript, values that name no address) are copied with the text
    // around them.
    const bool rewritten = link.FURL.IsValid() ? IsRewritableScheme(link.FURL.GetScheme()) &&
                                                     NewLinkText(parser, pageFile, link, withFiles, text)
                                               : UnresolvedLinkText(parser, link, text);
    if (!rewritten)
        return false;
    // A browser decodes character references in attribute values before it reads the address.
    if (link.FKind == lkHTMLAttribute)
        text = EscapeForAttribute(text);
    if (link.FKind == lkHTMLAttribute && link.FURLPartPos == 0)
        text = "\"" + text + "\"";
    return true;
}

bool IsBaseTag(const TWebLinkInfo& link)
{
    return link.FKind == lkHTMLAttribute && link.FTagName == "BASE" && link.FAttribName == "HREF";
}

}  // namespace

bool RewriteKeepsLink(const TCommonParser& parser, const TWebLinkInfo& link, bool page, bool followedFile)
{
    if (page && IsBaseTag(link))
        return false;
    // A local path stays as written.
    if (followedFile)
        return true;
    std::string text;
    if (!ReplacementText(parser, std::string(), link, false, text))
        return true;
    if (link.FKind == lkHTMLAttribute) {
        const std::string written = link.ValueAsWritten();
        if (link.FURLPartPos == 0)
            return written == text;
        return link.FURLPartPos > 0 && link.FURLPartLength >= 0 &&
               static_cast<size_t>(link.FURLPartPos + link.FURLPartLength) <= written.size() &&
               written.compare(static_cast<size_t>(link.FURLPartPos), static_cast<size_t>(link.FURLPartLength),
                               text) == 0;
    }
    // A style sheet's value as read is the value as written unless escapes were decoded.
    return link.FValue.size() == static_cast<size_t>(link.FValueLength) && link.FValue == text;
}

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
    std::string slashed = path;
    for (char& c : slashed)
        c = c == '\\' ? '/' : c;
    return PercentEncode(slashed, NeedsEncoding);
}

std::string LocalPathAsAddress(const std::string& path)
{
    return PercentEncode(path,
                         [](unsigned char c) { return c <= 0x20 || c >= 0x7F || c == '#' || c == '?' || c == '"'; });
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

void ReplaceLinksInStream(TFileRewrite& io, const TCommonParser& parser, const std::string& pageAddress,
                          bool dropBase, bool writeMark, TWebLinkList& list)
{
    if (writeMark && !pageAddress.empty())
        io.Write(SavedFromMark(pageAddress) + "\r\n");
    list.SortByPosition();
    const int64_t size = io.SourceSize();
    for (const TWebLinkInfo& link : list) {
        if (dropBase && IsBaseTag(link)) {
            if (link.FTagPos < io.SourcePosition() || link.FTagPos + link.FTagLength > size)
                continue;
            io.CopySource(link.FTagPos - io.SourcePosition());
            io.SkipSource(link.FTagLength);
            continue;
        }
        const bool partOnly = link.FURLPartPos != 0;
        const int64_t start = link.FValuePos + link.FURLPartPos;
        const int64_t length = partOnly ? link.FURLPartLength : link.FValueLength;
        // Two links over one value (LOWSRC and SRC in one tag): the first one written wins.
        if (start < io.SourcePosition() || length < 0 || start + length > size)
            continue;
        std::string text;
        if (ReplacementText(parser, io.FileName(), link, true, text)) {
            io.CopySource(start - io.SourcePosition());
            io.Write(text);
            io.SkipSource(length);
        }
        if (parser.OnRewriteProgress && parser.OnRewriteProgress(io.SourcePosition(), size))
            break;
    }
    io.CopySource();
}

std::unique_ptr<TFileRewrite> PrepareReplacedLinks(const TCommonParser& parser, const std::string& fileName,
                                                   const std::string& pageAddress, const TLinkReplaceOptions& options,
                                                   TWebLinkList& list, int kind, bool pageMarked,
                                                   TRewriteSpares* spares)
{
    if (!FileExistsCached(FileStatusOfJob(), fileName))
        throw std::runtime_error("File does not exist");
    auto io = std::make_unique<TFileRewrite>(fileName, spares);
    const bool page = kind == 1;
    ReplaceLinksInStream(*io, parser, pageAddress, page, page && options.FAddMark && !pageMarked, list);
    return io;
}

void ReplaceLinksInFile(const TCommonParser& parser, const std::string& fileName, const std::string& pageAddress,
                        const TLinkReplaceOptions& options, TWebLinkList& list, int kind, bool pageMarked)
{
    auto io = PrepareReplacedLinks(parser, fileName, pageAddress, options, list, kind, pageMarked);
    io->Commit(options.FKeepInputFile ? KeptInputFileName(fileName) : std::string());
}
