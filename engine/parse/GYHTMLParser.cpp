#include "engine/parse/GYHTMLParser.h"

#include "engine/job/LocalNames.h"
#include "engine/services/FileStatusCache.h"
#include "engine/services/AppTraceLog.h"
#include "engine/parse/CharacterReferences.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/services/ThreadSafeFileOps.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <cctype>
#include <cstring>
#include <exception>
#include <stdexcept>

using parsertext::IsBlank;

namespace {

using namespace std::string_view_literals;

constexpr int64_t kProgressStep = 3001;
constexpr int64_t kMarkZone = 2048;
constexpr std::string_view kMarkStart = "<!-- saved from url=";

// The link attribute table, in lookup order.
constexpr const char* kHref[] = {"HREF"};
constexpr const char* kApplet[] = {"CODE", "CODEBASE"};
constexpr const char* kCite[] = {"CITE"};
constexpr const char* kSrc[] = {"SRC"};
constexpr const char* kBackground[] = {"BACKGROUND"};
constexpr const char* kEmbed[] = {"SRC", "PLUGINURL", "HREF"};
constexpr const char* kForm[] = {"ACTION"};
constexpr const char* kFrame[] = {"SRC", "LONGDESC"};
constexpr const char* kImage[] = {"SRC", "LONGDESC", "LOWSRC", "USEMAP"};
constexpr const char* kMeta[] = {"NAME", "HTTP-EQUIV", "CONTENT"};
constexpr const char* kObject[] = {"CODEBASE", "DATA", "USEMAP"};

struct TLinkTag {
    std::string_view Tag;
    std::span<const char* const> Attribs;
};

const TLinkTag kLinkTags[] = {
    {"A", kHref},          {"AREA", kHref},   {"APPLET", kApplet},   {"BASE", kHref},    {"BLOCKQUOTE", kCite},
    {"BGSOUND", kSrc},     {"BODY", kBackground}, {"DEL", kCite},    {"EMBED", kEmbed},  {"FORM", kForm},
    {"FRAME", kFrame},     {"IFRAME", kFrame}, {"IMAGE", kImage},    {"IMG", kImage},    {"INPUT", kSrc},
    {"INS", kCite},        {"LINK", kHref},   {"META", kMeta},       {"OBJECT", kObject}, {"Q", kCite},
    {"SCRIPT", kSrc},      {"TABLE", kBackground}, {"TD", kBackground}, {"TH", kBackground},
};

constexpr std::string_view kRequisiteTags[] = {"APPLET", "BGSOUND", "BODY",   "EMBED", "FRAME", "IFRAME", "IMAGE",
                                               "IMG",    "INPUT",   "OBJECT", "TABLE", "TD",    "TH"};
// Tags whose links name files a page is made of: images, sounds, scripts, embedded objects.
constexpr std::string_view kPartTags[] = {"APPLET", "BGSOUND", "BODY",  "EMBED", "IMAGE", "IMG",
                                          "INPUT",  "OBJECT",  "SCRIPT", "TABLE", "TD",    "TH"};
// LINK relations that name a file the page is made of, or one a browser fetches for it.
constexpr std::string_view kPartRelations[] = {"stylesheet", "icon",      "apple-touch-icon", "apple-touch-icon-precomposed",
                                               "mask-icon",  "preload",   "modulepreload",    "prefetch",
                                               "manifest",   "image_src", "fluid-icon"};

bool MatchesAt(std::string_view text, size_t pos, std::string_view upperName)
{
    if (pos + upperName.size() > text.size())
        return false;
    for (size_t i = 0; i < upperName.size(); ++i)
        if (AsciiUpper(text[pos + i]) != upperName[i])
            return false;
    return true;
}

bool EndsWithText(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && SameTextIgnoringCase(s.substr(s.size() - suffix.size()), suffix);
}

bool IsSavedFromMark(const TTagData& tag)
{
    return tag.Start + tag.Length < kMarkZone && tag.Text.size() >= kMarkStart.size() &&
           SameTextIgnoringCase(tag.Text.substr(0, kMarkStart.size()), kMarkStart) && tag.Text.ends_with("-->");
}

// "</" + name or "<" + name (name in lower case, any case in the page) at the offset, followed by a
// blank, "/" or ">" (the byte must be there: a name cut off by the end of the page ends nothing).
bool TagNameAt(std::string_view page, size_t at, bool endTag, std::string_view lowerName)
{
    size_t p = at + 1 + (endTag ? 1 : 0);
    if (p + lowerName.size() >= page.size() || page[at] != '<' || (endTag && page[at + 1] != '/'))
        return false;
    for (char c : lowerName)
        if ((page[p++] | 0x20) != c)
            return false;
    const char next = page[p];
    return IsBlank(static_cast<unsigned char>(next)) || next == '/' || next == '>';
}

// Offset of the "<" of the end tag that closes the text of an element whose content is not
// markup (STYLE, TITLE, TEXTAREA; lowerName is its name) starting at from; the page's size when
// the element is never closed.
size_t PlainTextEnd(std::string_view page, size_t from, std::string_view lowerName)
{
    for (size_t i = from; i < page.size(); ++i) {
        const void* hit = std::memchr(page.data() + i, '<', page.size() - i);
        if (!hit)
            break;
        i = static_cast<size_t>(static_cast<const char*>(hit) - page.data());
        if (TagNameAt(page, i, true, lowerName))
            return i;
    }
    return page.size();
}

// The same for a SCRIPT element, whose text is read as a browser reads it: after "<!--" a
// "<script" opens a nested stretch whose "</script" does not end the element, up to "-->".
size_t ScriptTextEnd(std::string_view page, size_t from)
{
    enum class TState { Plain, Escaped, DoubleEscaped };
    TState state = TState::Plain;
    const size_t n = page.size();
    size_t i = from;
    while (i < n) {
        if (state == TState::Plain) {
            const void* hit = std::memchr(page.data() + i, '<', n - i);
            if (!hit)
                break;
            i = static_cast<size_t>(static_cast<const char*>(hit) - page.data());
            if (TagNameAt(page, i, true, "script"))
                return i;
            if (page.compare(i, 4, "<!--") == 0) {
                state = TState::Escaped;
                i += 2;  // "<!-->" is closed by its own dashes
                continue;
            }
            ++i;
            continue;
        }
        if (page[i] == '-' && page.compare(i, 3, "-->") == 0) {
            state = TState::Plain;
            i += 3;
            continue;
        }
        if (page[i] == '<' && state == TState::Escaped) {
            if (TagNameAt(page, i, true, "script"))
                return i;
            if (TagNameAt(page, i, false, "script")) {
                state = TState::DoubleEscaped;
                i += 7;
                continue;
            }
        } else if (page[i] == '<' && TagNameAt(page, i, true, "script")) {
            state = TState::Escaped;
            i += 8;
            continue;
        }
        ++i;
    }
    return n;
}

// Runs of consecutive links of one META tag: the parser appends the links of a tag together.
template <class F>
void ForEachMetaTag(TWebLinkList& list, F&& handle)
{
    const int64_t n = list.Count();
    int64_t b = 0;
    while (b < n) {
        int64_t e = b + 1;
        const int64_t tagIndex = list.Get(b)->FTagIndex;
        while (e < n && list.Get(e)->FTagIndex == tagIndex)
            ++e;
        if (list.Get(b)->FKind == lkHTMLAttribute && list.Get(b)->FTagName == "META")
            handle(b, e);
        b = e;
    }
}

}  // namespace

std::span<const char* const> THTMLParser::GetLinkAttribNames(std::string_view tagName)
{
    // Asked for every tag of a page, most of them end tags or tags without links.
    if (tagName.empty() || tagName.front() < 'A' || tagName.front() > 'Z')
        return {};
    for (const TLinkTag& entry : kLinkTags)
        if (entry.Tag.front() == tagName.front() && entry.Tag == tagName)
            return entry.Attribs;
    return {};
}

std::string CharsetOfContentType(std::string_view contentType)
{
    constexpr std::string_view kKey = "charset";
    for (size_t at = 0; at + kKey.size() <= contentType.size(); ++at) {
        if (!SameTextIgnoringCase(contentType.substr(at, kKey.size()), kKey))
            continue;
        size_t p = at + kKey.size();
        while (p < contentType.size() && IsBlank(static_cast<unsigned char>(contentType[p])))
            ++p;
        if (p >= contentType.size() || contentType[p] != '=')
            continue;
        ++p;
        while (p < contentType.size() && IsBlank(static_cast<unsigned char>(contentType[p])))
            ++p;
        if (p < contentType.size() && (contentType[p] == '"' || contentType[p] == '\''))
            ++p;
        std::string name;
        while (p < contentType.size() && name.size() < 40) {
            const char c = contentType[p++];
            if (!std::isalnum(static_cast<unsigned char>(c)) && std::string_view("-_.:()").find(c) == std::string_view::npos)
                break;
            name += c;
        }
        return name;
    }
    return std::string();
}

bool THTMLParser::IsPageRequisite(const TWebLinkInfo& link)
{
    if (link.FKind == lkCSSURL)
        return true;
    for (std::string_view tag : kRequisiteTags)
        if (link.FTagName == tag)
            return true;
    return link.FTagName == "LINK" && link.FAttribName == "HREF" && EndsWithText(link.FValue, ".css");
}

bool THTMLParser::IsNavigationLink(const TWebLinkInfo& link)
{
    if (link.FKind != lkHTMLAttribute)
        return false;
    if (link.FTagName == "META")
        return link.FAttribName == "CONTENT" && link.FURLPartLength > 0;
    if (link.FAttribName == "LONGDESC")
        return true;  // a page describing the image or frame
    for (std::string_view tag : kPartTags)
        if (link.FTagName == tag)
            return false;
    if (link.FTagName == "LINK")
        return !IsPartRelation(link);
    return true;
}

bool THTMLParser::IsPartRelation(const TWebLinkInfo& link)
{
    if (EndsWithText(link.FValue, ".css"))
        return true;
    const std::string_view text = link.FTagText;
    if (text.size() < 2 || text.front() != '<')
        return false;
    const std::string_view inner = text.substr(1, text.size() - (text.back() == '>' ? 2 : 1));
    TTagAttribData rel;
    if (!GetAttribValue(inner, link.FTagName.size(), "REL", rel))
        return false;
    // REL holds blank-separated relation names, matched ignoring case.
    const std::string relations = AsciiLowerCase(rel.Value);
    size_t pos = 0;
    while (pos < relations.size()) {
        const size_t start = relations.find_first_not_of(" \t\r\n\f", pos);
        if (start == std::string::npos)
            break;
        size_t end = relations.find_first_of(" \t\r\n\f", start);
        if (end == std::string::npos)
            end = relations.size();
        const std::string_view name = std::string_view(relations).substr(start, end - start);
        for (std::string_view part : kPartRelations)
            if (name == part)
                return true;
        pos = end;
    }
    return false;
}

bool THTMLParser::ForceAbsoluteLink(const TWebLinkInfo& link) const
{
    return link.FAttribName == "CODEBASE";
}

bool THTMLParser::GetAttribValue(std::string_view inner, size_t tagNameLength, std::string_view attribName,
                                 TTagAttribData& attrib)
{
    const size_t n = inner.size();
    const size_t m = attribName.size();
    if (m == 0)
        return false;
    auto blank = [&](size_t i) { return IsBlank(static_cast<unsigned char>(inner[i])); };
    // The attributes one by one, as a browser reads them: a name runs up to a blank, "/" or "=";
    // a value follows "=" and is quoted or runs up to a blank. Only a whole name matches, and
    // the first attribute of that name decides.
    size_t p = tagNameLength < n ? tagNameLength : n;
    for (;;) {
        while (p < n && (blank(p) || inner[p] == '/'))
            ++p;
        if (p >= n)
            return false;
        const size_t nameStart = p++;
        while (p < n && !blank(p) && inner[p] != '/' && inner[p] != '=')
            ++p;
        const bool match = p - nameStart == m && MatchesAt(inner, nameStart, attribName);
        size_t q = p;
        while (q < n && blank(q))
            ++q;
        if (q >= n || inner[q] != '=') {
            if (match)
                return false;
            p = q;
            continue;
        }
        ++q;
        while (q < n && blank(q))
            ++q;
        size_t end = q;  // the value as written is [q, end)
        bool closed = false;
        if (q < n && (inner[q] == '"' || inner[q] == '\'')) {
            const void* close = std::memchr(inner.data() + q + 1, inner[q], n - q - 1);
            closed = close != nullptr;
            end = closed ? static_cast<size_t>(static_cast<const char*>(close) - inner.data()) + 1 : n;
        } else {
            while (end < n && !blank(end))
                ++end;
        }
        if (!match) {
            p = end;
            continue;
        }
        if (q >= n)
            return false;
        attrib.Name.assign(attribName);
        attrib.ValueOffset = static_cast<int64_t>(q) + 1;  // the tag text starts with "<"
        attrib.ValueLength = static_cast<int64_t>(end - q);
        std::string_view value = inner.substr(q, end - q);
        if (value.front() == '"' || value.front() == '\'') {
            value.remove_prefix(1);
            if (closed)
                value.remove_suffix(1);
        }
        // A browser decodes character references before it uses the value.
        if (value.find('&') == std::string_view::npos)
            attrib.Value.assign(TrimTextView(value));
        else
            attrib.Value.assign(TrimTextView(DecodeCharacterReferences(value)));
        return true;
    }
}

void THTMLParser::ClearPageState()
{
    FNoFollow = false;
    FNoIndex = false;
    FMarked = false;
    FTitleStart = 0;
    FStyleStart = 0;
    FTitle.clear();
    FCharset.clear();
}

void THTMLParser::GetLinksInHTMLFile(const std::string& fileName, const std::string& baseURL, TWebLinkList& list,
                                     uint8_t localMode)
{
    try {
        list.Clear();
        ClearPageState();
        FLinkList = &list;
        if (!FileExistsCached(FileStatusOfJob(), fileName))
            return;
        std::string data;
        if (!ReadFileForLinks(fileName, data)) {
            std::string reason = SystemErrorMessage(GetLastErrorCode());
            throw std::runtime_error(reason.empty() ? "Cannot read the file" : reason);
        }
        GetLinksInHTMLCode(data, fileName, baseURL, list, localMode);
        NoteLinksPassedOver(fileName, list);
    } catch (const std::exception& e) {
        page_ = {};
        LogEvent(etException, fileName + " " + e.what(), "GetLinksInHTMLFile", "GYHTMLParser");
        throw std::runtime_error(e.what());
    }
}

void THTMLParser::GetLinksInHTMLCode(std::string_view html, const std::string& fileName, const std::string& baseURL,
                                     TWebLinkList& list, uint8_t localMode)
{
    list.Clear();
    ClearPageState();
    FLinkList = &list;
    FBaseURL = baseURL;
    FLocalMode = localMode;
    page_ = html;
    ScanTags();
    ApplyMetaRefresh();
    ReadRobotsMeta();
    page_ = {};
    SetAbsoluteURLsInLinkList(fileName, list);
}

bool THTMLParser::ScanTags()
{
    const char* const data = page_.data();
    const int64_t size = static_cast<int64_t>(page_.size());
    int64_t nextReport = OnReadProgress ? 1 : size;  // bytes done at which progress is reported
    int64_t i = 0;
    int64_t tagStart = 0;
    int64_t tagNumber = 0;
    bool inTag = false;
    bool inComment = false;
    bool afterEquals = false;
    bool noDoubleQuote = false;  // no double quote after the current position: none will close
    bool noSingleQuote = false;
    while (i < size) {
        const int64_t limit = nextReport < size ? nextReport : size;
        while (i < limit) {
            if (!inTag) {
                const void* hit = std::memchr(data + i, '<', static_cast<size_t>(limit - i));
                if (!hit) {
                    i = limit;
                    break;
                }
                i = static_cast<const char*>(hit) - data;
                inTag = true;
                tagStart = i;
                inComment = i + 3 < size && data[i + 1] == '!' && data[i + 2] == '-' && data[i + 3] == '-';
                afterEquals = false;
                ++i;
                continue;
            }
            if (inComment) {
                const void* hit = std::memchr(data + i, '>', static_cast<size_t>(limit - i));
                if (!hit) {
                    i = limit;
                    break;
                }
                i = static_cast<const char*>(hit) - data;
                // A comment closes at "-->"; the "--" may share bytes with its opening "<!--", so
                // "<!-->" and "<!--->" are whole comments.
                if (!(data[i - 1] == '-' && data[i - 2] == '-')) {
                    ++i;
                    continue;
                }
            } else {
                // A ">" inside a quoted attribute value does not end the tag. A quote opens a
                // value only right after "=" (blanks between); one never closed is an ordinary byte.
                while (i < limit && data[i] != '>') {
                    const char c = data[i];
                    if ((c == '"' || c == '\'') && afterEquals) {
                        afterEquals = false;
                        bool& none = c == '"' ? noDoubleQuote : noSingleQuote;
                        const void* close =
                            none ? nullptr : std::memchr(data + i + 1, c, static_cast<size_t>(size - i - 1));
                        if (close) {
                            i = static_cast<const char*>(close) - data + 1;
                            continue;
                        }
                        none = true;
                    } else if (c == '=') {
                        afterEquals = true;
                    } else if (!IsBlank(static_cast<unsigned char>(c))) {
                        afterEquals = false;
                    }
                    ++i;
                }
                if (i >= limit)
                    break;
            }
            inTag = false;
            TTagData tag;
            tag.Start = tagStart;
            tag.Length = i - tagStart + 1;
            tag.Text = page_.substr(static_cast<size_t>(tagStart), static_cast<size_t>(tag.Length));
            tag.Number = ++tagNumber;
            ++i;
            if (!OnHTMLTagFound(tag))
                return false;
            // The text of these elements is not markup: no tag is read inside it (STYLE blocks
            // still give their CSS links when their end tag is handled).
            if (tag.Name == "SCRIPT"sv)
                i = static_cast<int64_t>(ScriptTextEnd(page_, static_cast<size_t>(i)));
            else if (tag.Name == "STYLE"sv || tag.Name == "TITLE"sv || tag.Name == "TEXTAREA"sv)
                i = static_cast<int64_t>(PlainTextEnd(page_, static_cast<size_t>(i), AsciiLowerCase(tag.Name)));
        }
        while (OnReadProgress && i >= nextReport) {
            if (OnReadProgress(nextReport, size))
                return false;
            nextReport += kProgressStep;
        }
    }
    return true;
}

bool THTMLParser::OnHTMLTagFound(TTagData& tag)
{
    const std::string_view text = tag.Text;
    size_t k = 1;
    if (k < text.size() && text[k] == '/')
        ++k;
    while (k < text.size() && !IsBlank(static_cast<unsigned char>(text[k])) && text[k] != '>' && text[k] != '/')
        ++k;
    if (k == 1)
        return true;
    // Half the tags of a page are end tags; only those of a title or a style block matter.
    if (text[1] == '/' && !SameTextIgnoringCase(text.substr(2, k - 2), "TITLE"sv) &&
        !SameTextIgnoringCase(text.substr(2, k - 2), "STYLE"sv))
        return true;
    tag.Name = AsciiUpperCase(text.substr(1, k - 1));
    const int64_t after = tag.Start + tag.Length + 1;  // 1-based position of the byte after the tag

    if (tag.Name == "TITLE"sv) {
        FTitleStart = after;
    } else if (tag.Name == "/TITLE"sv && FTitleStart > 0) {
        // The title ends at the first close; later ones would copy the page again and again.
        if (FTitleStart - 1 <= tag.Start)
            FTitle = std::string(page_.substr(static_cast<size_t>(FTitleStart - 1),
                                              static_cast<size_t>(tag.Start - (FTitleStart - 1))));
        FTitleStart = 0;
    } else if (IsSavedFromMark(tag)) {
        FMarked = true;
    } else if (auto attribs = GetLinkAttribNames(tag.Name); !attribs.empty()) {
        ExtractLinkAttributes(tag, attribs);
    }

    if (tag.Name == "META"sv && FCharset.empty())
        ReadMetaCharset(tag);

    if (tag.Name == "STYLE"sv) {
        FStyleStart = after;
    } else if (tag.Name == "/STYLE"sv) {
        if (FStyleStart > 0) {
            const int64_t from = FStyleStart - 1;
            const int64_t start = FStyleStart;
            FStyleStart = 0;
            if (from <= tag.Start) {
                std::string_view css =
                    page_.substr(static_cast<size_t>(from), static_cast<size_t>(tag.Start - from));
                if (FindCSSLinks(css, *FLinkList, tag.Number, static_cast<int64_t>(page_.size()), start,
                                 OnReadProgress))
                    return false;
            }
        } else {
            LogEvent(etWarning, "Missing style open tag", "OnHTMLTagFound", "GYHTMLParser");
        }
    }
    return true;
}

void THTMLParser::ExtractLinkAttributes(const TTagData& tag, std::span<const char* const> attribs)
{
    const std::string_view inner = tag.Text.substr(1, tag.Text.size() - 2);
    // The name as written (its length is that of the upper-cased name).
    const size_t nameLength = tag.Name.size();
    TTagAttribData attrib;
    for (const char* name : attribs) {
        if (GetAttribValue(inner, nameLength, name, attrib) && !attrib.Value.empty())
            OnAttribValueFound(tag, attrib);
    }
}

void THTMLParser::OnAttribValueFound(const TTagData& tag, const TTagAttribData& attrib)
{
    if (FLinkList->Count() >= kMaxLinksPerFile)
        return;
    // Filled where it is kept: a link is a large record, and most pages have many.
    TWebLinkInfo* added = nullptr;
    try {
        added = &FLinkList->AddNew();
        TWebLinkInfo& link = *added;
        link.FKind = lkHTMLAttribute;
        link.FTagName = tag.Name;
        link.FAttribName = attrib.Name;
        link.FTagText = std::string(tag.Text);
        link.FValue = attrib.Value;
        link.FValuePos = tag.Start + attrib.ValueOffset;
        link.FValueLength = attrib.ValueLength;
        link.FTagPos = tag.Start;
        link.FTagLength = tag.Length;
        link.FTagIndex = tag.Number;
    } catch (const std::exception& e) {
        if (added)
            FLinkList->RemoveLast();
        LogEvent(etException, e.what(), "OnAttribValueFound", "GYHTMLParser");
    }
}

void THTMLParser::ApplyMetaRefresh()
{
    TWebLinkList& list = *FLinkList;
    ForEachMetaTag(list, [&](int64_t b, int64_t e) {
        bool refresh = false;
        for (int64_t i = b; i < e; ++i)
            refresh = refresh || SameTextIgnoringCase(list.Get(i)->FValue, "REFRESH");
        if (!refresh)
            return;
        for (int64_t i = b; i < e; ++i) {
            TWebLinkInfo& link = *list.Get(i);
            if (link.FAttribName != "CONTENT")
                continue;
            const std::string written = link.ValueAsWritten();
            const size_t eq = written.find('=');
            if (eq == std::string::npos)
                continue;
            std::string_view rest = std::string_view(written).substr(eq + 1);
            const char first = written[0];
            if ((first == '"' || first == '\'') && !rest.empty() && rest.back() == first)
                rest.remove_suffix(1);
            std::string_view part = TrimTextView(rest);
            // url='page.html': the address inside its quotes, up to the matching one.
            if (!part.empty() && (part.front() == '"' || part.front() == '\'')) {
                const char quote = part.front();
                part.remove_prefix(1);
                part = TrimTextView(part.substr(0, part.find(quote)));
            }
            if (part.empty())
                continue;
            link.FURLPartPos = static_cast<int64_t>(part.data() - written.data());
            link.FURLPartLength = static_cast<int64_t>(part.size());
        }
    });
}

void THTMLParser::ReadMetaCharset(const TTagData& tag)
{
    if (tag.Text.size() < 2)
        return;
    const std::string_view inner = tag.Text.substr(1, tag.Text.size() - 2);
    const size_t nameLength = tag.Name.size();
    TTagAttribData attrib;
    if (GetAttribValue(inner, nameLength, "CHARSET", attrib)) {
        FCharset = CharsetOfContentType("charset=" + attrib.Value);
        return;
    }
    TTagAttribData content;
    if (GetAttribValue(inner, nameLength, "HTTP-EQUIV", attrib) && SameTextIgnoringCase(attrib.Value, "Content-Type") &&
        GetAttribValue(inner, nameLength, "CONTENT", content))
        FCharset = CharsetOfContentType(content.Value);
}

void THTMLParser::ReadRobotsMeta()
{
    TWebLinkList& list = *FLinkList;
    ForEachMetaTag(list, [&](int64_t b, int64_t e) {
        bool robots = false;
        for (int64_t i = b; i < e; ++i) {
            const TWebLinkInfo& link = *list.Get(i);
            robots = robots || ((link.FAttribName == "NAME" || link.FAttribName == "HTTP-EQUIV") &&
                                SameTextIgnoringCase(link.FValue, "ROBOTS"));
        }
        if (!robots)
            return;
        for (int64_t i = b; i < e; ++i) {
            const TWebLinkInfo& link = *list.Get(i);
            if (link.FAttribName != "CONTENT")
                continue;
            const std::string directives = AsciiUpperCase(link.FValue);
            if (directives.find("ALL") != std::string::npos)
                continue;
            if (directives.find("NOINDEX") != std::string::npos)
                FNoIndex = true;
            if (directives.find("NOFOLLOW") != std::string::npos)
                FNoFollow = true;
        }
    });
}
