#include "engine/CommonParser.h"

#include "engine/ThreadSafeFileOps.h"
#include "engine/URLType.h"

#include <filesystem>
#include <unordered_map>

namespace parsertext {

std::string_view Trim(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

}  // namespace parsertext

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

// A value of a local page: the file it names when that exists or when the value is no address.
void ResolveLocalValue(const std::string& text, const std::string& folder, TURL& url)
{
    namespace fs = std::filesystem;
    const std::string fullPath = (fs::path(folder) / fs::path(text)).lexically_normal().string();
    TURL parsed;
    if (SafeFileExists(fullPath) || !parsed.SetFullURL(text))
        url.SetFullURL("file://" + fullPath);
    else
        url.Assign(parsed);
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

void TCommonParser::SetAbsoluteURLsInLinkList(const std::string& fileName, TWebLinkList& list)
{
    TURL base;
    bool hasCodebase = false;
    for (const TWebLinkInfo& link : list) {
        if (IsHTMLLink(link, "BASE", "HREF"))
            base.SetFullURL(link.FValue);
        hasCodebase = hasCodebase || link.FAttribName == "CODEBASE";
    }
    if (!base.IsValid())
        base.SetFullURL(FBaseURL);
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
    for (TWebLinkInfo& link : list) {
        std::string text;
        if (link.FKind == lkHTMLAttribute && link.FTagName == "META") {
            const std::string written = link.ValueAsWritten();
            if (link.FAttribName != "CONTENT" || link.FURLPartLength <= 0 || link.FURLPartPos < 0 ||
                link.FURLPartPos + link.FURLPartLength > static_cast<int64_t>(written.size()))
                continue;
            text = written.substr(static_cast<size_t>(link.FURLPartPos), static_cast<size_t>(link.FURLPartLength));
        } else {
            text = link.FValue;
        }
        if (text.empty())
            continue;
        if (FLocalMode) {
            ResolveLocalValue(text, folder, link.FURL);
            continue;
        }
        const TURL* linkBase = &base;
        TURL codebase;
        if (IsHTMLLink(link, "APPLET", "CODE") || IsHTMLLink(link, "OBJECT", "DATA")) {
            auto it = codebases.find(link.FTagIndex);
            if (it != codebases.end() && codebase.SetRelativeURL(AsFolder(*it->second), base))
                linkBase = &codebase;
        }
        link.FURL.SetRelativeURL(text, *linkBase);
        // A page from the network never leads to a local file.
        if (link.FURL.GetScheme() == usFile)
            link.FURL.Clear();
    }
}
