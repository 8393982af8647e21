#include "engine/parse/GYCSSParser.h"

#include "engine/job/LocalNames.h"
#include "engine/services/FileStatusCache.h"
#include "engine/services/AppTraceLog.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"

#include <cstring>
#include <exception>
#include <stdexcept>

using parsertext::IsAlnum;
using parsertext::IsBlank;

namespace {

constexpr int64_t kProgressStep = 3000;

// Next "url" in any case at or after from; npos when none.
size_t FindURLWord(std::string_view s, size_t from)
{
    const size_t n = s.size();
    if (n < 3)
        return std::string_view::npos;
    for (size_t i = from; i + 3 <= n; ++i) {
        if ((s[i] | 0x20) != 'u')
            continue;
        if ((s[i + 1] | 0x20) == 'r' && (s[i + 2] | 0x20) == 'l')
            return i;
    }
    return std::string_view::npos;
}

std::string UnescapeQuotes(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\'' || s[i + 1] == '"'))
            ++i;
        out.push_back(s[i]);
    }
    return out;
}

void AddPotentialURLToList(std::string_view written, int64_t filePos, int64_t tagNumber, TWebLinkList& list)
{
    if (list.Count() >= kMaxLinksPerFile)
        return;
    try {
        TWebLinkInfo link;
        link.FKind = lkCSSURL;
        link.FTagName = "STYLE";
        link.FAttribName = "CSSURL";
        link.FValue = UnescapeQuotes(written);
        link.FValuePos = filePos;
        link.FValueLength = static_cast<int64_t>(written.size());
        link.FTagIndex = tagNumber;
        list.AddLink(std::move(link));
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "AddPotentialURLToList", "GYCSSParser");
    }
}

// The url( ) references; True when the progress callback asked to stop.
bool FindURLReferences(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t fileSize,
                       int64_t position, const TParserProgressCallback& progress)
{
    const size_t n = css.size();
    const int64_t origin = position - 1;  // file offset of css[0]
    int64_t skipped = 0;
    size_t last = 0;
    size_t from = 0;
    for (;;) {
        size_t p = FindURLWord(css, from);
        if (p == std::string_view::npos)
            return false;
        skipped += static_cast<int64_t>(p - last);
        last = p;
        if (skipped >= kProgressStep) {
            if (progress && progress(origin + static_cast<int64_t>(p), fileSize))
                return true;
            skipped -= kProgressStep;
        }
        from = p + 3;
        if (p > 0 && IsAlnum(static_cast<unsigned char>(css[p - 1])))
            continue;
        if (n - from >= 2 && IsAlnum(static_cast<unsigned char>(css[from])))
            continue;
        size_t open = from;
        while (open < n && IsBlank(static_cast<unsigned char>(css[open])))
            ++open;
        if (open >= n || css[open] != '(')
            continue;
        const void* hit = std::memchr(css.data() + open + 1, ')', n - open - 1);
        if (!hit)
            return false;  // no ")" anywhere further on: no later reference can close either
        size_t close = static_cast<size_t>(static_cast<const char*>(hit) - css.data());
        from = close + 1;

        size_t a = open + 1;
        while (a < close && IsBlank(static_cast<unsigned char>(css[a])))
            ++a;
        size_t e = close;
        while (e > a && IsBlank(static_cast<unsigned char>(css[e - 1])))
            --e;
        size_t start = a;
        size_t end = e;
        if (a < e && (css[a] == '"' || css[a] == '\'')) {
            const char quote = css[a];
            start = a + 1;
            size_t k = e;
            while (k > start && css[k - 1] != quote)
                --k;
            end = k > start ? k - 1 : e;
        }
        if (end > start)
            AddPotentialURLToList(css.substr(start, end - start), origin + static_cast<int64_t>(start), tagNumber,
                                  list);
    }
}

// "@import" followed by a quoted string (the form without url( ), which the url( ) search finds).
void FindImportStrings(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t position)
{
    constexpr std::string_view kImport = "import";
    const size_t n = css.size();
    const int64_t origin = position - 1;
    size_t from = 0;
    for (;;) {
        const void* hit = from < n ? std::memchr(css.data() + from, '@', n - from) : nullptr;
        if (!hit)
            return;
        size_t p = static_cast<size_t>(static_cast<const char*>(hit) - css.data()) + 1;
        from = p;
        if (n - p < kImport.size())
            return;
        bool match = true;
        for (size_t i = 0; i < kImport.size() && match; ++i)
            match = (css[p + i] | 0x20) == kImport[i];
        if (!match)
            continue;
        p += kImport.size();
        size_t q = p;
        while (q < n && IsBlank(static_cast<unsigned char>(css[q])))
            ++q;
        if (q >= n || (css[q] != '"' && css[q] != '\''))
            continue;
        // The string runs to its closing quote; a backslash escapes the next byte, and a line
        // break ends an unclosed string.
        const char quote = css[q];
        size_t e = q + 1;
        while (e < n && css[e] != quote && css[e] != '\n') {
            if (css[e] == '\\' && e + 1 < n)
                ++e;
            ++e;
        }
        from = e;
        if (e >= n || css[e] != quote)
            continue;
        size_t a = q + 1;
        size_t b = e;
        while (a < b && IsBlank(static_cast<unsigned char>(css[a])))
            ++a;
        while (b > a && IsBlank(static_cast<unsigned char>(css[b - 1])))
            --b;
        if (b > a)
            AddPotentialURLToList(css.substr(a, b - a), origin + static_cast<int64_t>(a), tagNumber, list);
    }
}

}  // namespace

bool FindCSSLinks(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t fileSize, int64_t position,
                  const TParserProgressCallback& progress)
{
    if (FindURLReferences(css, list, tagNumber, fileSize, position, progress))
        return true;
    FindImportStrings(css, list, tagNumber, position);
    return false;
}

bool TCSSParser::GetLinksInCSSCode(std::string_view css, TWebLinkList& list, int64_t tagNumber, int64_t fileSize,
                                   int64_t position)
{
    return FindCSSLinks(css, list, tagNumber, fileSize, position, OnReadProgress);
}

void TCSSParser::GetLinksInCSSFile(const std::string& fileName, const std::string& baseURL, TWebLinkList& list,
                                   uint8_t localMode)
{
    try {
        if (!FileExistsCached(FileStatusOfJob(), fileName))
            return;
        FBaseURL = baseURL;
        FLocalMode = localMode;
        std::string data;
        if (!ReadFileForLinks(fileName, data))
            throw std::runtime_error(SystemErrorMessage(GetLastErrorCode()));
        GetLinksInCSSCode(data, list, 0, static_cast<int64_t>(data.size()), 1);
        NoteLinksPassedOver(fileName, list);
        SetAbsoluteURLsInLinkList(fileName, list);
    } catch (const std::exception& e) {
        LogEvent(etException, fileName + " " + e.what(), "GetLinksInCSSFile", "GYCSSParser");
    }
}
