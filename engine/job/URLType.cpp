#include "engine/job/URLType.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/WorkingFiles.h"
#include "platform/ErrorCodes.h"
#include "platform/TextUtils.h"

#include <algorithm>
#include <array>
#include <exception>

namespace {

const char* const kUnit = "URLType";

// Room of the address parts when cracking, and of a built address.
constexpr size_t kMaxHostName = 255;
constexpr size_t kMaxURLPath = 2047;
constexpr size_t kMaxUserInfoPart = 127;
constexpr size_t kMaxExtraInfo = 2047;
constexpr size_t kMaxBuiltURL = 2054;

// Local names: one name component and a whole path (NAME_MAX, and PATH_MAX less its NUL). A
// file's name leaves room for an ending added for its type (".webp" at most) and then for the
// "#part" (or "#info") of a download or the "_orig" of a kept rewrite input.
constexpr size_t kMaxNameComponent = 255;
constexpr size_t kMaxLocalName = 4095;
constexpr size_t kSuffixRoom = 10;
constexpr size_t kMaxFileComponent = kMaxNameComponent - kSuffixRoom;
constexpr size_t kMaxWholeName = kMaxLocalName - kSuffixRoom;
constexpr size_t kMaxKeptExtension = 7;
constexpr size_t kHashTagSize = 17;

struct TSchemeInfo {
    std::string_view name;
    int32_t scheme;
    uint16_t defaultPort;
};

constexpr std::array<TSchemeInfo, 4> kSchemes{{
    {"ftp", usFTP, 21},
    {"gopher", usGopher, 70},
    {"http", usHTTP, 80},
    {"https", usHTTPS, 443},
}};

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// lower: already lower case.
bool EqualsNoCase(std::string_view s, std::string_view lower)
{
    if (s.size() != lower.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (AsciiLower(s[i]) != lower[i])
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view lowerPrefix)
{
    return s.size() >= lowerPrefix.size() && EqualsNoCase(s.substr(0, lowerPrefix.size()), lowerPrefix);
}

// Position of the first of the bytes Cs in s from position from on, or npos. (The library's
// find_first_of calls memchr once per byte of s.)
template <char... Cs>
size_t FindFirstOf(std::string_view s, size_t from = 0)
{
    for (size_t i = from; i < s.size(); ++i)
        if (((s[i] == Cs) || ...))
            return i;
    return std::string_view::npos;
}

const TSchemeInfo* FindScheme(int32_t scheme)
{
    for (const TSchemeInfo& info : kSchemes)
        if (info.scheme == scheme)
            return &info;
    return nullptr;
}

const TSchemeInfo* FindSchemeName(std::string_view name)
{
    for (const TSchemeInfo& info : kSchemes)
        if (EqualsNoCase(name, info.name))
            return &info;
    return nullptr;
}

// Position of the ":" that ends a well-formed scheme name at the start of s; 0 when there is none.
size_t SchemeLength(std::string_view s)
{
    if (s.empty() || !IsAlpha(s[0]))
        return 0;
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == ':')
            return i;
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

bool IsForbiddenHostChar(char c)
{
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
        return true;
    switch (c) {
    case '#': case '%': case '/': case ':': case '<': case '>': case '?': case '@':
    case '[': case '\\': case ']': case '^': case '|':
        return true;
    default:
        return false;
    }
}

// Unreserved characters and sub-delimiters stay as they are in user info; all else is escaped.
bool IsUserInfoChar(char c)
{
    if (IsAlpha(c) || IsDigit(c))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

size_t EncodedUserInfoLength(std::string_view s)
{
    size_t n = 0;
    for (char c : s)
        n += IsUserInfoChar(c) ? 1 : 3;
    return n;
}

void AppendEncodedUserInfo(std::string& out, std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    for (char c : s) {
        if (IsUserInfoChar(c)) {
            out += c;
        } else {
            auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
}

bool IsSingleDotSegment(std::string_view seg)
{
    return seg == "." || EqualsNoCase(seg, "%2e");
}

bool IsDoubleDotSegment(std::string_view seg)
{
    return seg == ".." || EqualsNoCase(seg, ".%2e") || EqualsNoCase(seg, "%2e.") || EqualsNoCase(seg, "%2e%2e");
}

// Calls visit(segment, isLast) for each "/" separated segment of s from position from on, until
// visit returns False; returns whether all were visited.
template <class Visit>
bool ForEachSegment(std::string_view s, size_t from, Visit visit)
{
    for (;;) {
        size_t j = s.find('/', from);
        const bool last = j == std::string_view::npos;
        if (last)
            j = s.size();
        if (!visit(s.substr(from, j - from), last))
            return false;
        if (last)
            return true;
        from = j + 1;
    }
}

// RFC 3986 section 5.2.4; an escaped dot counts as a dot, as browsers read it.
std::string RemoveDotSegments(std::string_view path)
{
    std::string out;
    out.reserve(path.size() + 1);
    const bool absolute = !path.empty() && path[0] == '/';
    ForEachSegment(path, absolute ? 1 : 0, [&](std::string_view seg, bool last) {
        if (IsSingleDotSegment(seg)) {
            if (last && !out.empty())
                out += '/';
        } else if (IsDoubleDotSegment(seg)) {
            size_t p = out.rfind('/');
            out.resize(p == std::string::npos ? 0 : p);
            if (last && !out.empty())
                out += '/';
        } else {
            if (absolute || !out.empty())
                out += '/';
            out += seg;
        }
        return true;
    });
    if (out.empty() && absolute)
        out = "/";
    return out;
}

// A backslash before the query or fragment is read as a slash.
void BackslashesToSlashes(std::string& s)
{
    size_t end = FindFirstOf<'?', '#'>(s);
    if (end == std::string::npos)
        end = s.size();
    std::replace(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(end), '\\', '/');
}

// The text with the part between "://" and the last "@" of the authority hidden, for the log.
std::string WithoutUserInfo(std::string_view text)
{
    size_t start = text.find("://");
    if (start == std::string_view::npos)
        return std::string(text);
    start += 3;
    size_t end = FindFirstOf<'?', '#'>(text, start);
    if (end == std::string_view::npos)
        end = text.size();
    size_t at = text.substr(0, end).rfind('@');
    if (at == std::string_view::npos || at < start)
        return std::string(text);
    std::string out(text.substr(0, start));
    out += "***";
    out += text.substr(at);
    return out;
}

void LogCallFailure(uint32_t code, const std::string& call, const char* routine)
{
    SetLastErrorCode(code);
    LogAPIError(call, routine, kUnit);
}

struct TRefParts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

// RFC 3986 appendix B.
TRefParts SplitReference(std::string_view s)
{
    TRefParts p;
    if (size_t sl = SchemeLength(s)) {
        p.hasScheme = true;
        p.scheme = s.substr(0, sl);
        s.remove_prefix(sl + 1);
    }
    if (s.size() >= 2 && s[0] == '/' && s[1] == '/') {
        size_t end = FindFirstOf<'/', '?', '#'>(s, 2);
        if (end == std::string_view::npos)
            end = s.size();
        p.hasAuthority = true;
        p.authority = s.substr(2, end - 2);
        s.remove_prefix(end);
    }
    size_t end = FindFirstOf<'?', '#'>(s);
    if (end == std::string_view::npos)
        end = s.size();
    p.path = s.substr(0, end);
    s.remove_prefix(end);
    if (!s.empty() && s[0] == '?') {
        end = s.find('#');
        if (end == std::string_view::npos)
            end = s.size();
        p.hasQuery = true;
        p.query = s.substr(1, end - 1);
        s.remove_prefix(end);
    }
    if (!s.empty()) {
        p.hasFragment = true;
        p.fragment = s.substr(1);
    }
    return p;
}

}  // namespace

// RFC 3986 section 5.2.2, taking a reference in the base's own scheme without an authority as
// relative (as browsers do).
std::string CombineReference(std::string_view baseText, std::string_view refText)
{
    std::string baseBuf(baseText);
    std::string refBuf(refText);
    BackslashesToSlashes(baseBuf);
    BackslashesToSlashes(refBuf);
    const TRefParts b = SplitReference(baseBuf);
    TRefParts r = SplitReference(refBuf);
    if (r.hasScheme && !r.hasAuthority && b.hasScheme && r.scheme.size() == b.scheme.size() &&
        std::equal(r.scheme.begin(), r.scheme.end(), b.scheme.begin(),
                   [](char x, char y) { return AsciiLower(x) == AsciiLower(y); }))
        r.hasScheme = false;
    if (r.hasScheme)
        return refBuf;

    std::string out;
    out.reserve(baseBuf.size() + refBuf.size() + 4);
    out += b.scheme;
    out += ':';
    std::string_view query = r.query;
    bool hasQuery = r.hasQuery;
    if (r.hasAuthority) {
        out += "//";
        out += r.authority;
        out += RemoveDotSegments(r.path);
    } else {
        if (b.hasAuthority) {
            out += "//";
            out += b.authority;
        }
        if (r.path.empty()) {
            out += b.path;
            if (!hasQuery) {
                hasQuery = b.hasQuery;
                query = b.query;
            }
        } else if (r.path[0] == '/') {
            out += RemoveDotSegments(r.path);
        } else {
            std::string merged;
            if (b.hasAuthority && b.path.empty()) {
                merged = "/";
            } else {
                size_t slash = b.path.rfind('/');
                if (slash != std::string_view::npos)
                    merged = b.path.substr(0, slash + 1);
            }
            merged += r.path;
            out += RemoveDotSegments(merged);
        }
    }
    if (hasQuery) {
        out += '?';
        out += query;
    }
    if (r.hasFragment) {
        out += '#';
        out += r.fragment;
    }
    return out;
}

namespace {

// Escapes of these bytes are decoded in local names: printable ASCII except # % . / ; = and "\".
bool IsDecodableChar(unsigned char c)
{
    if (c < ' ' || c > '~')
        return false;
    switch (c) {
    case '#': case '%': case '.': case '/': case ';': case '=': case '\\':
        return false;
    default:
        return true;
    }
}

void DecodeSelectedEscapes(std::string& s)
{
    if (s.find('%') == std::string::npos)
        return;
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = HexDigitValue(s[i + 1]);
            int lo = HexDigitValue(s[i + 2]);
            if (hi >= 0 && lo >= 0 && IsDecodableChar(static_cast<unsigned char>(hi * 16 + lo))) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    s.swap(out);
}

// Appends the "/" separated relative path to out, dropping empty and "." components and
// resolving ".."; False when ".." would climb above rootSize. endsInFolder: the last component
// named a folder (it was empty, "." or "..").
bool AppendResolved(std::string& out, size_t rootSize, std::string_view rel, bool& endsInFolder)
{
    return ForEachSegment(rel, 0, [&](std::string_view seg, bool last) {
        if (seg == "..") {
            if (out.size() <= rootSize)
                return false;
            out.resize(out.rfind('/'));
        } else if (!seg.empty() && seg != ".") {
            out += '/';
            out += seg;
        }
        if (last)
            endsInFolder = seg.empty() || seg == "." || seg == "..";
        return true;
    });
}

// The length of the longest beginning of s of at most limit bytes that does not split a UTF-8
// sequence (text that is not UTF-8 is cut at limit).
size_t Utf8CutPoint(std::string_view s, size_t limit)
{
    if (s.size() <= limit)
        return s.size();
    auto continues = [&](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
    size_t keep = limit;
    while (keep > 0 && limit - keep < 3 && continues(keep))
        --keep;
    return continues(keep) ? limit : keep;
}

// From the last "." of a name component, dot included, when that is at most 7 bytes; else empty.
std::string_view KeptExtension(std::string_view component)
{
    const size_t dot = component.rfind('.');
    if (dot == std::string_view::npos || component.size() - dot > kMaxKeptExtension)
        return {};
    return component.substr(dot);
}

// "~" and the hash of s in 16 lower-case hex digits.
std::string HashTag(std::string_view s)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string tag(kHashTagSize, '~');
    uint64_t h = StableHash(s);
    for (size_t i = kHashTagSize - 1; i > 0; --i, h >>= 4)
        tag[i] = kDigits[h & 0xF];
    return tag;
}

// A name of exactly length bytes standing for a component too long to keep: the component's
// beginning (padded with "_"), the hash tag of hashed, then the component's extension when
// withExtension. Components are kept only when shorter than length, so a shortened name never
// equals a kept one, and two shortened names differ with their hashes. length leaves room for
// the tag and an extension.
std::string ShortenedComponent(std::string_view component, size_t length, std::string_view hashed,
                               bool withExtension)
{
    const std::string_view ext = withExtension ? KeptExtension(component) : std::string_view();
    const size_t room = length - kHashTagSize - ext.size();
    std::string out(component.substr(0, Utf8CutPoint(component, room)));
    out.resize(room, '_');
    out += HashTag(hashed);
    out += ext;
    return out;
}

bool IsSafeComponent(std::string_view seg)
{
    return !seg.empty() && seg != "." && seg != "..";
}

// The limit of a component: a folder's, or a file's when it is the last.
size_t ComponentLimit(bool last)
{
    return last ? kMaxFileComponent : kMaxNameComponent;
}

bool NeedsShortening(std::string_view name, size_t start)
{
    if (name.size() >= kMaxWholeName)
        return true;
    return !ForEachSegment(name, start,
                           [](std::string_view seg, bool last) { return seg.size() < ComponentLimit(last); });
}

// Shortens each component of name after its first start bytes that reaches its limit.
void ShortenLongComponents(std::string& name, size_t start)
{
    bool shortened = false;
    std::string fitted;
    ForEachSegment(name, start, [&](std::string_view seg, bool last) {
        const size_t limit = ComponentLimit(last);
        if (seg.size() >= limit) {
            if (!shortened)
                fitted.assign(name, 0, static_cast<size_t>(seg.data() - name.data()));
            shortened = true;
            fitted += ShortenedComponent(seg, limit, seg, last);
        } else if (shortened) {
            fitted += seg;
        }
        if (shortened && !last)
            fitted += '/';
        return true;
    });
    if (shortened)
        name.swap(fitted);
}

// A whole name too long to keep: its leading folders that fit (the destination folder at least)
// and one shortened component standing for the rest, so that the whole is kMaxWholeName bytes
// where the folders allow. False when the destination leaves no room.
bool ShortenWholeName(std::string& name, size_t folderSize)
{
    const std::string_view last = std::string_view(name).substr(name.rfind('/') + 1);
    const size_t minLast = kHashTagSize + KeptExtension(last).size();
    const size_t cut = name.rfind('/', kMaxWholeName - 1 - minLast);
    if (cut == std::string::npos || cut < folderSize)
        return false;
    const size_t length = std::min(kMaxFileComponent, kMaxWholeName - 1 - cut);
    std::string shortened = ShortenedComponent(last, length, std::string_view(name).substr(cut + 1), true);
    name.resize(cut + 1);
    name += shortened;
    return true;
}

// Applies the file-system limits to the part of name after its first folderSize bytes and the
// separator. False when no safe name remains.
bool FitLocalName(std::string& name, size_t folderSize)
{
    const size_t start = folderSize + 1;
    if (NeedsShortening(name, start)) {
        LogEvent(etMessage, "Truncating long filename " + name, "URLToLocalFileName", kUnit);
        ShortenLongComponents(name, start);
        if (name.size() >= kMaxWholeName && !ShortenWholeName(name, folderSize))
            return false;
    }
    size_t lastSlash = name.rfind('/');
    return name.size() > start && lastSlash != std::string::npos && lastSlash >= folderSize &&
           IsSafeComponent(std::string_view(name).substr(lastSlash + 1));
}

// The fragment is the text from the last "#" on.
void SplitAtLastHash(std::string_view text, std::string& before, std::string& fragment)
{
    size_t hash = text.rfind('#');
    if (hash == std::string_view::npos)
        hash = text.size();
    before = text.substr(0, hash);
    fragment = text.substr(hash);
}

// Gives to a value of its own equal to from's, reusing to's room when it has one.
template <typename T>
void AssignOwned(std::unique_ptr<T>& to, const std::unique_ptr<T>& from)
{
    if (!from)
        to.reset();
    else if (to)
        *to = *from;
    else
        to = std::make_unique<T>(*from);
}

}  // namespace

TURL::TURL(const TURL& source)
    : Scheme(source.Scheme), Port(source.Port), Valid(source.Valid), HostName(source.HostName),
      URLPath(source.URLPath), ExtraInfo(source.ExtraInfo),
      rare_(source.rare_ ? std::make_unique<TRareParts>(*source.rare_) : nullptr)
{
}

TURL& TURL::operator=(const TURL& source)
{
    if (&source == this)
        return *this;
    Scheme = source.Scheme;
    Port = source.Port;
    Valid = source.Valid;
    HostName = source.HostName;
    URLPath = source.URLPath;
    ExtraInfo = source.ExtraInfo;
    AssignOwned(rare_, source.rare_);
    return *this;
}

TURL::~TURL() = default;

const std::string& TURL::EmptyText()
{
    static const std::string empty;
    return empty;
}

TURL::TRareParts::TRareParts(const TRareParts& source)
    : Fragment(source.Fragment), Others(source.Others ? std::make_unique<TOtherParts>(*source.Others) : nullptr)
{
}

TURL::TRareParts& TURL::TRareParts::operator=(const TRareParts& source)
{
    if (&source != this) {
        Fragment = source.Fragment;
        AssignOwned(Others, source.Others);
    }
    return *this;
}

void TURL::SetRare(TRarePart part, std::string value)
{
    if (!rare_ || !rare_->Others) {
        if (value.empty())
            return;
        if (!rare_)
            rare_ = std::make_unique<TRareParts>();
        rare_->Others = std::make_unique<TOtherParts>();
    }
    (*rare_->Others).*part = std::move(value);
}

void TURL::SetFragment(std::string value)
{
    if (!rare_) {
        if (value.empty())
            return;
        rare_ = std::make_unique<TRareParts>();
    }
    rare_->Fragment = std::move(value);
}

void TURL::Clear()
{
    Scheme = usNone;
    HostName.clear();
    Port = 0;
    URLPath.clear();
    ExtraInfo.clear();
    Valid = false;
    rare_.reset();
}

void TURL::Assign(const TURL& source)
{
    if (&source == this)
        return;
    std::string keep = GetUnusableText();
    *this = source;
    SetRare(&TOtherParts::UnusableText, std::move(keep));
}

bool TURL::operator==(const TURL& other) const
{
    if (Scheme != other.Scheme || Port != other.Port || Valid != other.Valid || HostName != other.HostName ||
        URLPath != other.URLPath || ExtraInfo != other.ExtraInfo)
        return false;
    if (GetFragment() != other.GetFragment())
        return false;
    for (TRarePart part : {&TOtherParts::UserName, &TOtherParts::Password, &TOtherParts::FileURL,
                           &TOtherParts::MailtoURL, &TOtherParts::JavaScriptURL})
        if (Rare(part) != other.Rare(part))
            return false;
    return true;
}

bool TURL::TakeOpaqueAddress(std::string_view text)
{
    // A drive path ("C:\x") is a file address too.
    if (StartsWithNoCase(text, "file:///") || (text.size() >= 3 && IsAlpha(text[0]) && text[1] == ':')) {
        Scheme = usFile;
        std::string file, fragment;
        SplitAtLastHash(text, file, fragment);
        SetRare(&TOtherParts::FileURL, std::move(file));
        SetFragment(std::move(fragment));
    } else if (StartsWithNoCase(text, "mailto:")) {
        Scheme = usMailto;
        SetRare(&TOtherParts::MailtoURL, std::string(text));
    } else if (StartsWithNoCase(text, "javascript:")) {
        Scheme = usJavaScript;
        SetRare(&TOtherParts::JavaScriptURL, std::string(text));
    } else {
        return false;
    }
    Valid = true;
    return true;
}

TURL::TCrackResult TURL::Crack(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
            return TCrackResult::Malformed;
    const size_t schemeLength = SchemeLength(text);
    if (schemeLength == 0)
        return TCrackResult::NoScheme;
    const TSchemeInfo* info = FindSchemeName(text.substr(0, schemeLength));
    if (!info)
        return TCrackResult::Unusable;

    std::string_view rest = text.substr(schemeLength + 1);
    size_t extraAt = FindFirstOf<'?', '#'>(rest);
    if (extraAt == std::string_view::npos)
        extraAt = rest.size();
    std::string hier(rest.substr(0, extraAt));
    std::replace(hier.begin(), hier.end(), '\\', '/');
    const std::string_view extra = rest.substr(extraAt);
    if (hier.size() < 2 || hier[0] != '/' || hier[1] != '/')
        return TCrackResult::Unusable;  // no host
    size_t authorityEnd = hier.find('/', 2);
    if (authorityEnd == std::string::npos)
        authorityEnd = hier.size();
    const std::string_view authority = std::string_view(hier).substr(2, authorityEnd - 2);
    const std::string_view path = std::string_view(hier).substr(authorityEnd);

    std::string_view user, password, hostPort = authority;
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        size_t colon = userInfo.find(':');
        user = userInfo.substr(0, colon);
        if (colon != std::string_view::npos)
            password = userInfo.substr(colon + 1);
    }
    std::string plainUser = PercentDecoded(user);
    std::string plainPassword = PercentDecoded(password);
    if (plainUser.size() > kMaxUserInfoPart || plainPassword.size() > kMaxUserInfoPart)
        return TCrackResult::Malformed;

    std::string_view host, portText;
    if (!hostPort.empty() && hostPort[0] == '[') {
        size_t close = hostPort.find(']');
        if (close == std::string_view::npos || close < 2)
            return TCrackResult::Malformed;
        host = hostPort.substr(0, close + 1);
        for (char c : hostPort.substr(1, close - 1))
            if (HexDigitValue(c) < 0 && c != ':' && c != '.')
                return TCrackResult::Malformed;
        std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':')
                return TCrackResult::Malformed;
            portText = after.substr(1);
        }
    } else {
        size_t colon = hostPort.find(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string_view::npos)
            portText = hostPort.substr(colon + 1);
        for (char c : host)
            if (IsForbiddenHostChar(c))
                return TCrackResult::Malformed;
    }
    if (host.size() > kMaxHostName)
        return TCrackResult::Malformed;
    uint32_t port = info->defaultPort;
    if (!portText.empty()) {
        port = 0;
        for (char c : portText) {
            if (!IsDigit(c))
                return TCrackResult::Malformed;
            port = port * 10 + static_cast<uint32_t>(c - '0');
            if (port > 65535)
                return TCrackResult::Malformed;
        }
    }
    if (host.empty() || port == 0)
        return TCrackResult::Unusable;

    std::string cleanPath = RemoveDotSegments(path.empty() ? std::string_view("/") : path);
    if (cleanPath.size() > kMaxURLPath || extra.size() > kMaxExtraInfo)
        return TCrackResult::Malformed;

    Scheme = info->scheme;
    Port = static_cast<uint16_t>(port);
    HostName = host;
    URLPath = std::move(cleanPath);
    SetRare(&TOtherParts::UserName, std::move(plainUser));
    SetRare(&TOtherParts::Password, std::move(plainPassword));
    std::string fragment;
    SplitAtLastHash(extra, ExtraInfo, fragment);
    SetFragment(std::move(fragment));
    return TCrackResult::Cracked;
}

bool TURL::RefuseText(std::string_view text, TCrackResult why)
{
    Clear();
    SetRare(&TOtherParts::UnusableText, std::string(text));
    if (TApplicationTraceLog::Instance()) {
        if (why == TCrackResult::Unusable)
            LogEvent(etWarning, "Unusable URL " + WithoutUserInfo(text), "SetFullURL", kUnit);
        else if (!text.empty())
            LogCallFailure(why == TCrackResult::NoScheme ? errc::InternetUnrecognizedScheme : errc::InternetInvalidUrl,
                           "InternetCrackUrl " + WithoutUserInfo(text), "SetFullURL");
    }
    return false;
}

bool TURL::SetFullURL(std::string_view text)
{
    Clear();
    text = TrimTextView(text);
    if (TakeOpaqueAddress(text))
        return true;
    // Tabs and line breaks inside an address are dropped, as browsers do.
    std::string stripped;
    std::string_view t = text;
    if (FindFirstOf<'\t', '\r', '\n'>(t) != std::string_view::npos) {
        stripped.reserve(t.size());
        for (char c : t)
            if (c != '\t' && c != '\r' && c != '\n')
                stripped += c;
        t = stripped;
    }
    TCrackResult result = Crack(t);
    if (result == TCrackResult::Cracked) {
        DropIncompleteUserInfo();
        Valid = true;
        if (BuiltLength() <= kMaxBuiltURL)
            return true;
        result = TCrackResult::Unusable;  // too long to rebuild
    }
    return RefuseText(text, result);
}

bool TURL::HasScheme(std::string_view text)
{
    // As SchemeLength reads the text without its tabs and line breaks.
    size_t length = 0;
    for (char c : TrimTextView(text)) {
        if (c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == ':')
            return length > 0;
        const bool fits = length == 0 ? IsAlpha(c) : IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
        if (!fits)
            return false;
        ++length;
    }
    return false;
}

bool TURL::FragmentReadsAlone(std::string_view fragment)
{
    if ((!fragment.empty() && fragment.front() != '#') || fragment.find('#', 1) != std::string_view::npos)
        return false;
    for (char c : fragment)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            return false;
    return true;
}

bool TURL::ReplaceFragment(std::string_view fragment)
{
    if (!Valid || !FragmentReadsAlone(fragment))
        return false;
    if (Scheme == usFile) {
        // SetFullURL splits a file address at its last "#", once the whole is trimmed.
        const std::string& file = GetFileURL();
        if (file.empty() || file.find('#') != std::string::npos || static_cast<unsigned char>(file.back()) <= ' ')
            return false;
    } else if (!IsDownloadableScheme() || BuiltLength() - GetFragment().size() + fragment.size() > kMaxBuiltURL) {
        return false;
    }
    SetFragment(std::string(fragment));
    return true;
}

bool TURL::TakeAddressKeepingFragment(const TURL& address)
{
    const std::string& fragment = GetFragment();
    if (address.rare_ || !address.Valid || !address.IsDownloadableScheme() || !FragmentReadsAlone(fragment) ||
        address.BuiltLength() + fragment.size() > kMaxBuiltURL)
        return false;
    Scheme = address.Scheme;
    Port = address.Port;
    Valid = true;
    HostName = address.HostName;
    URLPath = address.URLPath;
    ExtraInfo = address.ExtraInfo;
    if (rare_ && rare_->Fragment.empty())
        rare_.reset();
    else if (rare_)
        rare_->Others.reset();
    return true;
}

bool TURL::SetRelativeURL(std::string_view text, const TURL& base)
{
    Clear();
    std::string_view ref = TrimTextView(text);
    if (TakeOpaqueAddress(ref))
        return true;
    const std::string baseText = base.GetFullURL();
    if (baseText.empty())
        return false;
    SetRare(&TOtherParts::UnusableText, std::string(ref));
    std::string stripped;
    if (FindFirstOf<'\t', '\r', '\n'>(ref) != std::string_view::npos) {
        for (char c : ref)
            if (c != '\t' && c != '\r' && c != '\n')
                stripped += c;
        ref = stripped;
    }
    const std::string combined = CombineReference(baseText, ref);
    if (combined.size() > kMaxBuiltURL) {
        if (TApplicationTraceLog::Instance())
            LogCallFailure(errc::InternetInvalidUrl,
                           "InternetCombineUrl " + base.GetURLWithoutUserInfo() + " " + WithoutUserInfo(ref),
                           "SetRelativeURL");
        return false;
    }
    return SetFullURL(combined);
}

size_t TURL::BuiltLength() const
{
    const TSchemeInfo* info = FindScheme(Scheme);
    if (!info)
        return 0;
    size_t n = info->name.size() + 3 + HostName.size() + URLPath.size() + ExtraInfo.size() + GetFragment().size();
    if (!IsUserInfoEmpty())
        n += EncodedUserInfoLength(GetUserName()) +
             (GetPassword().empty() ? 0 : 1 + EncodedUserInfoLength(GetPassword())) + 1;
    if (Port != info->defaultPort)
        n += 1 + std::to_string(Port).size();
    return n;
}

void TURL::AppendAbsolute(std::string& out, bool includeUserInfo, bool includeHost, bool includeFragment,
                          bool includeExtraInfo, bool includePath) const
{
    const TSchemeInfo* info = FindScheme(Scheme);
    out += info->name;
    out += "://";
    if (includeUserInfo && !IsUserInfoEmpty()) {
        AppendEncodedUserInfo(out, GetUserName());
        if (!GetPassword().empty()) {
            out += ':';
            AppendEncodedUserInfo(out, GetPassword());
        }
        out += '@';
    }
    if (includeHost)
        out += HostName;
    if (Port != info->defaultPort) {
        out += ':';
        out += std::to_string(Port);
    }
    if (includePath)
        out += URLPath;
    if (includeExtraInfo)
        out += ExtraInfo;
    if (includeFragment)
        out += GetFragment();
}

std::string TURL::GetURL(bool includeUserInfo, bool includeHost, bool includeFragment, bool includeExtraInfo,
                         bool includePath) const
{
    if (!Valid)
        return std::string();
    switch (Scheme) {
    case usFile:
        return includeFragment ? GetFileURL() + GetFragment() : GetFileURL();
    case usMailto:
        return GetMailtoURL();
    case usJavaScript:
        return GetJavaScriptURL();
    default:
        break;
    }
    std::string out;
    if (includePath && !includeUserInfo && !includeHost) {
        out.reserve(URLPath.size() + ExtraInfo.size() + GetFragment().size());
        out += URLPath;
        if (includeExtraInfo)
            out += ExtraInfo;
        if (includeFragment)
            out += GetFragment();
        return out;
    }
    if (!FindScheme(Scheme))
        return out;
    out.reserve(16 + HostName.size() + URLPath.size() + ExtraInfo.size() + GetFragment().size() +
                (includeUserInfo ? 3 * (GetUserName().size() + GetPassword().size()) : 0));
    AppendAbsolute(out, includeUserInfo, includeHost, includeFragment, includeExtraInfo, includePath);
    if (out.size() > kMaxBuiltURL) {
        LogCallFailure(errc::InternetInvalidUrl, "InternetCreateUrl " + HostName + URLPath, "GetURL");
        return std::string();
    }
    return out;
}

std::string TURL::GetFullURL() const
{
    return GetURL(true, true, true, true, true);
}

std::string TURL::GetURLWithoutUserInfo() const
{
    return GetURL(false, true, false, true, true);
}

std::string TURL::GetPathExtension() const
{
    size_t dot = URLPath.rfind('.');
    if (dot == std::string::npos || URLPath.find('/', dot) != std::string::npos)
        return std::string();
    return URLPath.substr(dot);
}

bool TURL::IsHTML(std::string_view mimeType) const
{
    if (EqualsNoCase(MediaTypeOf(mimeType), "text/html"))
        return true;
    const std::string ext = GetPathExtension();
    return EqualsNoCase(ext, ".htm") || EqualsNoCase(ext, ".html");
}

bool TURL::IsCSS(std::string_view mimeType) const
{
    return EqualsNoCase(MediaTypeOf(mimeType), "text/css") || EqualsNoCase(GetPathExtension(), ".css");
}

std::string TURL::GetMailtoAddress() const
{
    std::string_view s = GetMailtoURL();
    if (StartsWithNoCase(s, "mailto:"))
        s.remove_prefix(7);
    s = s.substr(0, s.find('?'));
    return std::string(TrimTextView(s));
}

bool TURL::IsSupportedScheme() const
{
    return Scheme == usFTP || Scheme == usHTTP || Scheme == usHTTPS || Scheme == usFile;
}

bool TURL::IsDownloadableScheme() const
{
    return Scheme == usFTP || Scheme == usHTTP || Scheme == usHTTPS;
}

void TURL::SetUserAndPassword(std::string_view user, std::string_view password)
{
    SetRare(&TOtherParts::UserName, std::string(user));
    SetRare(&TOtherParts::Password, std::string(password));
}

void TURL::ClearUserInfo()
{
    if (!rare_ || !rare_->Others)
        return;
    rare_->Others->UserName.clear();
    rare_->Others->Password.clear();
}

void TURL::DropIncompleteUserInfo()
{
    if (GetUserName().empty() != GetPassword().empty())
        ClearUserInfo();
}

std::string TURL::URLToLocalFileName(std::string_view destination, bool recreateFolderStructure,
                                     bool assumeWWW) const
{
    if (!Valid || destination.empty())
        return std::string();
    std::string_view folder = destination;
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    if (folder == "/")
        folder = {};
    std::string name;
    switch (Scheme) {
    case usFile:
        name = FileAddressToLocalName(folder);
        break;
    case usFTP:
    case usHTTP:
    case usHTTPS:
        name = AddressToLocalName(folder, recreateFolderStructure, assumeWWW);
        break;
    default:
        return std::string();
    }
    if (name.empty() && TApplicationTraceLog::Instance())
        LogEvent(etWarning, "Unsafe local file name refused for " + GetURLWithoutUserInfo(), "URLToLocalFileName",
                 kUnit);
    return name;
}

std::string TURL::FileAddressToLocalName(std::string_view folder) const
{
    std::string path = GetFileURL();
    if (StartsWithNoCase(path, "file:///"))
        path.erase(0, 7);
    std::replace(path.begin(), path.end(), '\\', '/');
    // A drive ("C:/", "C|/") stands for the root.
    size_t d = (!path.empty() && path[0] == '/') ? 1 : 0;
    if (path.size() >= d + 3 && IsAlpha(path[d]) && (path[d + 1] == ':' || path[d + 1] == '|') && path[d + 2] == '/')
        path.erase(0, d + 2);
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return std::string();
    if (!folder.empty() && folder[0] != '/')
        return std::string();
    std::string name, root;
    bool endsInFolder = false;
    if (!AppendResolved(name, 0, path, endsInFolder) || !AppendResolved(root, 0, folder, endsInFolder))
        return std::string();
    if (name.size() <= root.size() + 1 || name.compare(0, root.size(), root) != 0 || name[root.size()] != '/')
        return std::string();
    // A name the limits of every other local name would not let through names no file: room
    // is kept for the endings a download or a rewrite adds.
    if (name.size() > kMaxWholeName)
        return std::string();
    if (!ForEachSegment(name, 1, [](std::string_view seg, bool last) { return seg.size() <= ComponentLimit(last); }))
        return std::string();
    return name;
}

std::string TURL::AddressToLocalName(std::string_view folder, bool recreateFolderStructure, bool assumeWWW) const
{
    std::string rel;
    if (recreateFolderStructure) {
        rel.reserve(HostName.size() + URLPath.size() + ExtraInfo.size() + 16);
        if (assumeWWW && std::count(HostName.begin(), HostName.end(), '.') == 1)
            rel = "www.";
        rel += HostName;
        // Another port is another site: "host+port" (default ports keep the plain host).
        if (const TSchemeInfo* info = FindScheme(Scheme); info && Port != info->defaultPort) {
            rel += '+';
            rel += std::to_string(Port);
        }
        // Host names fold case; paths and queries keep theirs.
        for (char& c : rel)
            c = AsciiLower(c);
        rel += URLPath;
    } else {
        rel = URLPath.substr(URLPath.rfind('/') + 1);
    }
    rel += ExtraInfo;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    if (rel.empty() || rel.back() == '/')
        rel += "index.html";
    DecodeSelectedEscapes(rel);
    std::replace_if(rel.begin(), rel.end(), IsInvalidFileNameChar, '_');
    // A "#" left in a query (the fragment is from the last one) would make a working file's name.
    std::replace(rel.begin(), rel.end(), kWorkingNameMark, '_');

    std::string name;
    name.reserve(folder.size() + rel.size() + 12);
    name = folder;
    bool endsInFolder = false;
    if (!AppendResolved(name, folder.size(), rel, endsInFolder))
        return std::string();
    if (endsInFolder || name.size() == folder.size())
        name += "/index.html";
    if (!FitLocalName(name, folder.size()))
        return std::string();
    return name;
}

std::string_view MediaTypeOf(std::string_view mimeType)
{
    return TrimTextView(mimeType.substr(0, mimeType.find(';')));
}

std::string CaseDistinctLocalName(const std::string& name)
{
    const size_t slash = name.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view last = std::string_view(name).substr(start);
    const std::string_view ext = KeptExtension(last);
    const std::string_view stem = last.substr(0, last.size() - ext.size());
    const size_t room = kMaxFileComponent - kHashTagSize - ext.size();
    std::string out = name.substr(0, start);
    out += stem.substr(0, Utf8CutPoint(stem, std::min(room, stem.size())));
    out += HashTag(name);
    out += ext;
    return out;
}

bool IsValidURL(std::string_view text)
{
    try {
        TURL url;
        return url.SetFullURL(text);
    } catch (const std::exception&) {
        return false;
    }
}

bool IsDownloadableURL(std::string_view text)
{
    try {
        TURL url;
        return url.SetFullURL(text) && url.IsDownloadableScheme();
    } catch (const std::exception&) {
        return false;
    }
}

bool IsInvalidFileNameChar(char c)
{
    switch (c) {
    case '"': case '*': case ':': case '<': case '>': case '?': case '|': case '\0':
        return true;
    default:
        return false;
    }
}
